-- Shared by the Ardour check's sessions: engine start-up, finding our
-- plug-in on its track, the results file and stage markers.
local M = {}

io.stdout:setvbuf ("line")

-- Results go to a file as "key<TAB>value" lines, written as they are known.
function M.open_results (path)
	local file = assert (io.open (path, "w"))
	file:setvbuf ("line")
	return function (key, value)
		file:write (key, "\t", tostring (value), "\n")
	end
end

-- A stage marker on standard output, so the caller can tell where a crash
-- happened (for example after the plug-in was already closed).
function M.stage (name)
	print ("stage: " .. name)
end

function M.fail (message)
	print ("error: " .. message)
	os.exit (1)
end

-- The Dummy backend: no sound card, no display. Rate and block size are set
-- explicitly, so every run processes in the same blocks. The block size
-- matters to Ardour 7.3's own export, which corrupts its heap in a share of
-- runs with or without our plug-in on the track. Measured here: 1024 frames
-- 51 of 190 sessions, 512 8 of 20, 256 11 of 154, 128 1 of 20.
function M.start_engine (rate)
	local backend = AudioEngine:set_backend ("None (Dummy)", "", "")
	if backend == nil then
		M.fail ("the Dummy audio backend is not available")
	end
	backend:set_sample_rate (rate)
	backend:set_buffer_size (256)
	if AudioEngine:start (false) ~= 0 then
		M.fail ("the audio engine did not start")
	end
end

-- Plug-in kinds by the names the scripts take as arguments.
M.kinds = { vst = ARDOUR.PluginType.LXVST, lv2 = ARDOUR.PluginType.LV2 }

local function kind_of (name)
	local kind = M.kinds[name]
	if not kind then M.fail ("unknown plug-in kind " .. tostring (name) .. " (vst or lv2)") end
	return kind
end

-- The plug-in as Ardour lists it: for "vst" the one Linux VST its scanner
-- found in the folder `where`, for "lv2" the plug-in with the URI `where`
-- (found through LV2_PATH, which Ardour reads at start-up).
function M.find_plugin (name, where)
	local kind, found = kind_of (name), nil
	for info in ARDOUR.LuaAPI.list_plugins ():iter () do
		if info.type == kind then
			local match
			if name == "vst" then
				match = info.path:find (where .. "/", 1, true) == 1
			else
				match = info.unique_id == where
			end
			if match then
				if found then M.fail ("more than one " .. name .. " plug-in matches " .. where) end
				found = info
			end
		end
	end
	if not found then M.fail ("Ardour lists no " .. name .. " plug-in for " .. where) end
	return found
end

-- A new instance of a listed plug-in.
function M.new_plugin (info)
	local proc = ARDOUR.LuaAPI.new_plugin (Session, info.unique_id, info.type, "")
	if proc:isnil () then M.fail ("Ardour could not instantiate " .. info.name) end
	return proc
end

-- The first insert of the kind on a track (the test signal is a plug-in too).
function M.plugin_insert (track, name)
	local kind, i = kind_of (name), 0
	while true do
		local proc = track:nth_plugin (i)
		if proc:isnil () then
			M.fail ("no " .. name .. " plug-in on track " .. track:name ())
		end
		if proc:to_insert ():type () == kind then
			return proc
		end
		i = i + 1
	end
end

-- The control inputs as the host holds them: normalised 0..1 for a VST, the
-- plug-in's own units for an LV2 plug-in. Both are counted 0..n-1 here.
function M.read_parameters (proc, write, prefix)
	local plugin = proc:to_insert ():plugin (0)
	local count = 0
	for index = 0, plugin:parameter_count () - 1 do
		if plugin:parameter_is_input (index) and plugin:parameter_is_control (index) then
			local value = ARDOUR.LuaAPI.get_processor_param (proc, count, true)
			write (string.format ("%s.%d.name", prefix, count), plugin:parameter_label (index))
			write (string.format ("%s.%d.value", prefix, count), string.format ("%.9g", value))
			count = count + 1
		end
	end
	write (prefix .. ".count", count)
end

-- The session's tempo map: `tempo` quarter notes per minute from the start
-- in a meter of `beats`/`unit`, then, when `change_frame` is given, `tempo2`
-- from that frame on. `note` is the note value the tempo marker counts (4 for
-- quarter notes, Ardour's default; 8 for eighths, then the tempo is given to
-- it in eighths per minute, the same speed).
function M.set_tempo_map (tempo, beats, unit, change_frame, tempo2, note)
	note = note or 4
	local function marker (quarters_per_minute)
		local per_minute = quarters_per_minute * note / 4
		return Temporal.Tempo (per_minute, per_minute, note)
	end
	local map = Temporal.TempoMap.fetch_writable ()
	map:set_tempo (marker (tempo), Temporal.timepos_t (0))
	map:set_meter (Temporal.Meter (beats, unit), Temporal.timepos_t (0))
	if change_frame then
		map:set_tempo (marker (tempo2), Temporal.timepos_t (change_frame))
	end
	Temporal.TempoMap.update (map)
end

-- Exports the master bus from frame 0 for `frames` frames as 32-bit float WAV
-- into `folder`, with stage markers around it.
function M.export (folder, frames)
	local export = Session:simple_export ()
	export:set_name ("drifton")
	export:set_folder (folder)
	export:set_range (0, frames)
	if not export:set_preset ("e47a878a-619a-433f-8647-ca6f30e221ea") then
		M.fail ("the export preset of the check was not found")
	end
	if not export:check_outputs () then M.fail ("the export has no outputs") end
	M.stage ("export started")
	if not export:run_export () then M.fail ("the export failed") end
	M.stage ("export done")
end

-- Takes the plug-in off its track. The caller then drops its own reference
-- and collects garbage, so that the plug-in is closed before the session is.
function M.remove_plugin (track, proc)
	if track:remove_processor (proc, nil, true) ~= 0 then
		M.fail ("could not remove the plug-in from track " .. track:name ())
	end
end

-- Runs Lua's collector to the end, twice (finalisers may free more).
function M.collect ()
	collectgarbage ()
	collectgarbage ()
end

return M
