ardour {
	["type"]    = "dsp",
	name        = "Drifton Test Tone",
	category    = "Utility",
	license     = "MIT",
	author      = "K'q Drifton",
	description = [[A steady 1 kHz sine at half scale on both outputs, replacing the input.]]
}

function dsp_ioconfig ()
	return { { audio_in = 2, audio_out = 2 } }
end

local rate = 48000
local phase = 0
-- One table for every cycle, so the realtime thread creates no garbage.
local tone = {}

function dsp_init (r)
	rate = r
	for s = 1, 8192 do tone[s] = 0 end
end

function dsp_run (ins, outs, n_samples)
	local step = 1000 / rate
	for s = 1, n_samples do
		tone[s] = 0.5 * math.sin (2 * math.pi * phase)
		phase = phase + step
		if phase >= 1 then phase = phase - 1 end
	end
	for c = 1, #outs do
		outs[c]:set_table (tone, n_samples)
	end
end
