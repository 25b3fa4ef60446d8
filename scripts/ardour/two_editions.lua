-- The two editions side by side. Arguments: work folder, the VST folder
-- Ardour's scanner indexed, the LV2 URI, seconds, tempo (quarter notes per
-- minute), meter beats and unit, a frame and a second tempo for a tempo
-- change, then four control values for the VST edition (normalised) and four
-- for the LV2 edition (plain units); optionally the note value the tempo
-- markers count (4, Ardour's default, or 8).
--   The session is WORK/pair with quarter-note markers, WORK/pair-8 with
--   eighth-note ones (results in WORK/pair.results, WORK/pair-8.results).
--   One session: two stereo tracks, each a constant level and then one
--   edition, routed to their own pair of the master bus's four channels
--   (the master's panner bypassed); exported from frame 0 as 32-bit float
--   WAV into WORK/<session>/export: channels 1-2 the VST edition, 3-4 the LV2 one.
local check = require ("common")

local work, vst_folder, lv2_uri = arg[1], arg[2], arg[3]
local seconds, tempo, beats, unit = tonumber (arg[4]), tonumber (arg[5]), tonumber (arg[6]), tonumber (arg[7])
local change_frame, tempo2 = tonumber (arg[8]), tonumber (arg[9])
local values = { vst = {}, lv2 = {} }
for i = 1, 4 do
	values.vst[i] = tonumber (arg[9 + i])
	values.lv2[i] = tonumber (arg[13 + i])
end
if not (work and vst_folder and lv2_uri and seconds and tempo and beats and unit and change_frame and tempo2
		and values.vst[4] and values.lv2[4]) then
	check.fail ("usage: two_editions.lua WORK VST_FOLDER LV2_URI SECONDS TEMPO BEATS UNIT CHANGE_FRAME TEMPO2"
		.. " VST_VALUES(4) LV2_VALUES(4)")
end
local note = tonumber (arg[18]) or 4
local name = note == 4 and "pair" or ("pair-" .. note)
local write = check.open_results (work .. "/" .. name .. ".results")
local rate = 48000

check.start_engine (rate)
if create_session (work .. "/" .. name .. "/session", "drifton-" .. name, rate) == nil then
	check.fail ("could not create the session in " .. work .. "/" .. name .. "/session")
end
check.stage ("session created")
check.set_tempo_map (tempo, beats, unit, change_frame, tempo2, note)

local master = Session:master_out ()
-- Adding an input port to the master bus may add its output port too.
for _, io in ipairs ({ master:input (), master:output () }) do
	while io:n_ports ():n_audio () < 4 do
		if io:add_port ("", nil, ARDOUR.DataType ("audio")) ~= 0 and io:n_ports ():n_audio () < 4 then
			check.fail ("could not give the master bus four channels")
		end
	end
end
if master:input ():n_ports ():n_audio () ~= 4 or master:output ():n_ports ():n_audio () ~= 4 then
	check.fail ("the master bus has not four inputs and outputs")
end
master:panner_shell ():set_bypassed (true)
write ("master.channels", master:output ():n_ports ():n_audio ())

local kinds = { "vst", "lv2" }
local where = { vst = vst_folder, lv2 = lv2_uri }
local tracks = Session:new_audio_track (2, 2, nil, 2, "Drifton", ARDOUR.PresentationInfo.max_order,
	ARDOUR.TrackMode.Normal, true)
local list = {}
for track in tracks:iter () do list[#list + 1] = track end
tracks = nil
for i, kind in ipairs (kinds) do
	local track = list[i]
	local level = ARDOUR.LuaAPI.new_luaproc (Session, "Drifton Test Level")
	if level:isnil () then check.fail ("the test-level script is not installed") end
	local proc = check.new_plugin (check.find_plugin (kind, where[kind]))
	if track:add_processor_by_index (level, 0, nil, true) ~= 0 or
			track:add_processor_by_index (proc, 1, nil, true) ~= 0 then
		check.fail ("could not add the level and the " .. kind .. " edition to track " .. track:name ())
	end
	for j, value in ipairs (values[kind]) do
		if not ARDOUR.LuaAPI.set_processor_param (proc, j - 1, value) then
			check.fail ("could not set control " .. (j - 1) .. " of the " .. kind .. " edition")
		end
	end
	check.read_parameters (proc, write, kind)
	track:output ():disconnect_all (nil)
	for c = 0, 1 do
		if track:output ():nth (c):connect (master:input ():nth (2 * (i - 1) + c):name ()) ~= 0 then
			check.fail ("could not route track " .. track:name () .. " to the master bus")
		end
	end
end
master = nil
check.stage ("plug-in added")

check.export (work .. "/" .. name .. "/export", math.floor (seconds * rate))

for i, kind in ipairs (kinds) do
	check.remove_plugin (list[i], check.plugin_insert (list[i], kind))
end
check.collect ()
check.stage ("plug-in closed")
list = nil
check.collect ()
close_session ()
check.stage ("session closed")
