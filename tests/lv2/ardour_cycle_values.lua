-- An Ardour DSP script for tests/lv2/ardour_test.sh: placed after Zerin, with its control
-- automated as one of Zerin's is, it shows in the export what Zerin was given, and when.
--
-- Ardour splits no cycle at an automation point for a plug-in with a MIDI input, as Zerin's
-- control port is: Zerin gets, in each run(), the value the automation has at the start of
-- the cycle. This script is split at every point (it has no MIDI input), so it takes its value
-- only in the run that starts a cycle (offset 0) and holds it for the whole cycle, as Zerin
-- does. It leaves the left channel alone and writes the held value into the right one,
-- divided by 1024: inside full scale for every value of the control, and exact in a float.
-- (Were Zerin to lose its MIDI input, Ardour would give it each value on its own sample and
-- the comparison would fail: the script would then have to take its value in every run.)
ardour {
	["type"]    = "dsp",
	name        = "Zerin test: cycle values",
	category    = "Utility",
	license     = "GPL-3.0-or-later",
	author      = "Zerin",
	description = [[Left channel through; in the right one, the control's value at the start of each cycle, divided by 1024]]
}

function dsp_ioconfig ()
	return { { audio_in = 2, audio_out = 2 } }
end

function dsp_params ()
	return { { ["type"] = "input", name = "Value", min = -1024, max = 1024, default = 0 } }
end

local outs

function dsp_configure (ins, configured_outs)
	outs = configured_outs
end

local held = 0

function dsp_runmap (bufs, in_map, out_map, n_samples, offset)
	if offset == 0 then
		held = CtrlPorts:array ()[1]
	end
	ARDOUR.DSP.process_map (bufs, outs, in_map, out_map, n_samples, offset)
	local right = out_map:get (ARDOUR.DataType ("audio"), 1)
	if right ~= ARDOUR.ChanMapping.Invalid then
		ARDOUR.DSP.memset (bufs:get_audio (right):data (offset), held / 1024, n_samples)
	end
end
