-- First session of an edition's check. Arguments: work folder, kind (vst or
-- lv2), where to find it (the folder Ardour's VST scanner indexed, or the LV2
-- URI), tempo (beats per minute), seconds to render, then the four control
-- values to set (normalised for the VST edition, plain units for the LV2 one).
--   Creates a session at the tempo with a stereo track (test tone, then the
--   plug-in), reads the plug-in's name, vendor and controls as Ardour holds
--   them, sets the values, saves the session and exports the master bus as
--   32-bit float WAV. Files: WORK/<kind>.render.results, WORK/<kind>-check/session,
--   WORK/<kind>-check/export.
local check = require ("common")

local work, kind, where = arg[1], arg[2], arg[3]
local tempo, seconds = tonumber (arg[4]), tonumber (arg[5])
local values = { tonumber (arg[6]), tonumber (arg[7]), tonumber (arg[8]), tonumber (arg[9]) }
if not (work and kind and where and tempo and seconds and values[4]) then
	check.fail ("usage: render_and_save.lua WORK KIND WHERE TEMPO SECONDS PERIOD TYPE WIDTH PHASESHIFT")
end
local write = check.open_results (work .. "/" .. kind .. ".render.results")
local rate = 48000

check.start_engine (rate)
if create_session (work .. "/" .. kind .. "-check/session", "drifton-check", rate) == nil then
	check.fail ("could not create the session in " .. work .. "/" .. kind .. "-check/session")
end
check.stage ("session created")

local found = check.find_plugin (kind, where)
write ("listed.name", found.name)
write ("listed.vendor", found.creator)
write ("listed.id", found.unique_id)
write ("listed.inputs", found.n_inputs:n_audio ())
write ("listed.outputs", found.n_outputs:n_audio ())

check.set_tempo_map (tempo, 4, 4)

local tracks = Session:new_audio_track (2, 2, nil, 1, "Drifton", ARDOUR.PresentationInfo.max_order,
	ARDOUR.TrackMode.Normal, true)
local track = tracks:front ()
tracks = nil
local tone = ARDOUR.LuaAPI.new_luaproc (Session, "Drifton Test Tone")
if tone:isnil () then check.fail ("the test-tone script is not installed") end
local proc = check.new_plugin (found)
if track:add_processor_by_index (tone, 0, nil, true) ~= 0 or
		track:add_processor_by_index (proc, 1, nil, true) ~= 0 then
	check.fail ("could not add the tone and the plug-in to the track")
end
tone = nil
check.stage ("plug-in added")

local plugin = proc:to_insert ():plugin (0)
write ("shown.name", plugin:name ())
write ("shown.vendor", plugin:maker ())
check.read_parameters (proc, write, "default")
plugin = nil

for i, value in ipairs (values) do
	if not ARDOUR.LuaAPI.set_processor_param (proc, i - 1, value) then
		check.fail ("could not set control " .. (i - 1))
	end
end
check.read_parameters (proc, write, "set")

-- Saved before the export: Ardour itself sometimes crashes when saving
-- right after an export.
Session:save_state ("", false, false, false, false, false)
check.stage ("session saved")

check.export (work .. "/" .. kind .. "-check/export", math.floor (seconds * rate))
write ("export.rate", rate)

check.remove_plugin (track, proc)
proc = nil
check.collect ()
check.stage ("plug-in closed")
track = nil
check.collect ()
close_session ()
check.stage ("session closed")
