ardour {
	["type"]    = "dsp",
	name        = "Drifton Test Level",
	category    = "Utility",
	license     = "MIT",
	author      = "K'q Drifton",
	description = [[A constant 0.5 on both outputs, replacing the input: the same on every track from the first frame, whenever it was added.]]
}

function dsp_ioconfig ()
	return { { audio_in = 2, audio_out = 2 } }
end

-- One table for every cycle, so the realtime thread creates no garbage.
local level = {}

function dsp_init (rate)
	for s = 1, 8192 do level[s] = 0.5 end
end

function dsp_run (ins, outs, n_samples)
	for c = 1, #outs do
		outs[c]:set_table (level, n_samples)
	end
end
