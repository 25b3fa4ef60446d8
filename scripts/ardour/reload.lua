-- Second session of the Ardour check. Argument: work folder. Loads the
-- session the first one saved and reads back the plug-in's parameter values.
local check = require ("common")

local work = arg[1]
if not work then check.fail ("usage: reload.lua WORK") end
local write = check.open_results (work .. "/reload.results")

check.start_engine (48000)
if load_session (work .. "/session", "drifton-check") == nil then
	check.fail ("could not load the session in " .. work .. "/session")
end
check.stage ("session loaded")

local track = Session:route_by_name ("Drifton")
if track:isnil () then check.fail ("the session has no track Drifton") end
local proc = check.vst_insert (track)
write ("shown.name", proc:to_insert ():plugin (0):name ())
check.read_parameters (proc, write, "reloaded")

check.remove_plugin (track, proc)
proc = nil
track = nil
check.collect ()
check.stage ("plug-in closed")
close_session ()
check.stage ("session closed")
