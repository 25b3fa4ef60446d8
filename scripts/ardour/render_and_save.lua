-- First session of the Ardour check. Arguments: work folder, tempo (beats per
-- minute), seconds to render, then the four parameter values to set.
--   Finds the plug-in Ardour's scanner put in its cache, creates a session at
--   the tempo with a stereo track (test tone, then the plug-in), reads the
--   plug-in's name, vendor and parameters as Ardour holds them, sets the
--   values, saves the session and exports the master bus as 32-bit float WAV.
local check = require ("common")

local work, tempo, seconds = arg[1], tonumber (arg[2]), tonumber (arg[3])
local values = { tonumber (arg[4]), tonumber (arg[5]), tonumber (arg[6]), tonumber (arg[7]) }
if not (work and tempo and seconds and values[4]) then
	check.fail ("usage: render_and_save.lua WORK TEMPO SECONDS PERIOD TYPE WIDTH PHASESHIFT")
end
local write = check.open_results (work .. "/render.results")
local rate = 48000

check.start_engine (rate)
if create_session (work .. "/session", "drifton-check", rate) == nil then
	check.fail ("could not create the session in " .. work .. "/session")
end
check.stage ("session created")

-- The plug-in as Ardour's scanner described it: the one Linux VST in our folder.
local found
for info in ARDOUR.LuaAPI.list_plugins ():iter () do
	if info.type == ARDOUR.PluginType.LXVST and info.path:find (work .. "/vst/", 1, true) == 1 then
		if found then check.fail ("more than one plug-in in " .. work .. "/vst") end
		found = info
	end
end
if not found then
	check.fail ("Ardour lists no Linux VST plug-in from " .. work .. "/vst")
end
write ("listed.name", found.name)
write ("listed.vendor", found.creator)
write ("listed.id", found.unique_id)
write ("listed.inputs", found.n_inputs:n_audio ())
write ("listed.outputs", found.n_outputs:n_audio ())

-- Tempo for the whole session.
local map = Temporal.TempoMap.fetch_writable ()
map:set_tempo (Temporal.Tempo (tempo, tempo, 4), Temporal.timepos_t (0))
Temporal.TempoMap.update (map)
map = nil

local tracks = Session:new_audio_track (2, 2, nil, 1, "Drifton", ARDOUR.PresentationInfo.max_order,
	ARDOUR.TrackMode.Normal, true)
local track = tracks:front ()
tracks = nil
local tone = ARDOUR.LuaAPI.new_luaproc (Session, "Drifton Test Tone")
if tone:isnil () then check.fail ("the test-tone script is not installed") end
local proc = ARDOUR.LuaAPI.new_plugin (Session, found.unique_id, ARDOUR.PluginType.LXVST, "")
if proc:isnil () then check.fail ("Ardour could not instantiate " .. found.name) end
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
		check.fail ("could not set parameter " .. (i - 1))
	end
end
check.read_parameters (proc, write, "set")

-- Saved before the export: Ardour itself sometimes crashes when saving
-- right after an export.
Session:save_state ("", false, false, false, false, false)
check.stage ("session saved")

local export = Session:simple_export ()
export:set_name ("drifton")
export:set_folder (work .. "/export")
export:set_range (0, math.floor (seconds * rate))
if not export:set_preset ("e47a878a-619a-433f-8647-ca6f30e221ea") then
	check.fail ("the export preset of the check was not found")
end
if not export:check_outputs () then check.fail ("the export has no outputs") end
check.stage ("export started")
if not export:run_export () then check.fail ("the export failed") end
write ("export.rate", rate)
check.stage ("export done")

check.remove_plugin (track, proc)
proc = nil
check.collect ()
check.stage ("plug-in closed")
export = nil
track = nil
check.collect ()
close_session ()
check.stage ("session closed")
