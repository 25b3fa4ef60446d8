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

-- The Linux VST insert on a track (the test tone is a plug-in too).
function M.vst_insert (track)
	local i = 0
	while true do
		local proc = track:nth_plugin (i)
		if proc:isnil () then
			M.fail ("no Linux VST plug-in on track " .. track:name ())
		end
		if proc:to_insert ():type () == ARDOUR.PluginType.LXVST then
			return proc
		end
		i = i + 1
	end
end

-- Parameter values as the host holds them (normalised 0..1 for this kind).
function M.read_parameters (proc, write, prefix)
	local plugin = proc:to_insert ():plugin (0)
	local count = plugin:parameter_count ()
	write (prefix .. ".count", count)
	for i = 0, count - 1 do
		local value = ARDOUR.LuaAPI.get_processor_param (proc, i, true)
		write (string.format ("%s.%d.name", prefix, i), plugin:parameter_label (i))
		write (string.format ("%s.%d.value", prefix, i), string.format ("%.9g", value))
	end
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
