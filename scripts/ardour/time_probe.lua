-- The time measurement: what Ardour tells each plug-in format about time in
-- one session. Arguments: work folder, seconds, tempo (quarter notes per
-- minute), meter beats, meter unit, tempo marker note value, then optionally
-- a frame and a second tempo for a tempo change.
--   Two tracks, the VST time probe (the one Linux VST in WORK/vst) on one and
--   the LV2 time probe on the other, an export from frame 0; the probes write
--   their logs when they are removed (DRIFTON_PROBE_DIR).
local check = require ("common")

local work, seconds, tempo = arg[1], tonumber (arg[2]), tonumber (arg[3])
local beats, unit, note = tonumber (arg[4]), tonumber (arg[5]), tonumber (arg[6])
local change_frame, tempo2 = tonumber (arg[7]), tonumber (arg[8])
if not (work and seconds and tempo and beats and unit and note) then
	check.fail ("usage: time_probe.lua WORK SECONDS TEMPO BEATS UNIT NOTE [CHANGE_FRAME TEMPO2]")
end
local rate = 48000

check.start_engine (rate)
if create_session (work .. "/session", "drifton-probe", rate) == nil then
	check.fail ("could not create the session in " .. work .. "/session")
end
check.stage ("session created")
check.set_tempo_map (tempo, beats, unit, change_frame, tempo2, note)

local kinds = { "vst", "lv2" }
local where = { vst = work .. "/vst", lv2 = "urn:kq-drifton:test:time-probe" }
local tracks = Session:new_audio_track (2, 2, nil, 2, "Probe", ARDOUR.PresentationInfo.max_order,
	ARDOUR.TrackMode.Normal, true)
local list = {}
for track in tracks:iter () do list[#list + 1] = track end
tracks = nil
for i, kind in ipairs (kinds) do
	local proc = check.new_plugin (check.find_plugin (kind, where[kind]))
	if list[i]:add_processor_by_index (proc, 0, nil, true) ~= 0 then
		check.fail ("could not add the " .. kind .. " probe")
	end
end
check.stage ("plug-in added")

check.export (work .. "/export", math.floor (seconds * rate))

for i, kind in ipairs (kinds) do
	check.remove_plugin (list[i], check.plugin_insert (list[i], kind))
end
check.collect ()
check.stage ("plug-in closed")
list = nil
check.collect ()
close_session ()
check.stage ("session closed")
