-- Second session of an edition's check. Arguments: work folder, kind (vst or
-- lv2). Loads the session the first one saved in WORK/<kind>-check/session and
-- reads back the plug-in's control values into WORK/<kind>.reload.results.
local check = require ("common")

local work, kind = arg[1], arg[2]
if not (work and kind) then check.fail ("usage: reload.lua WORK KIND") end
local write = check.open_results (work .. "/" .. kind .. ".reload.results")

check.start_engine (48000)
if load_session (work .. "/" .. kind .. "-check/session", "drifton-check") == nil then
	check.fail ("could not load the session in " .. work .. "/" .. kind .. "-check/session")
end
check.stage ("session loaded")

local track = Session:route_by_name ("Drifton")
if track:isnil () then check.fail ("the session has no track Drifton") end
local proc = check.plugin_insert (track, kind)
write ("shown.name", proc:to_insert ():plugin (0):name ())
check.read_parameters (proc, write, "reloaded")

check.remove_plugin (track, proc)
proc = nil
track = nil
check.collect ()
check.stage ("plug-in closed")
close_session ()
check.stage ("session closed")
