-- Builds a session with one stereo track through Zerin, records `frames` samples of silence
-- so the track has a take (there is no headless import), and saves it. With ZERIN_AUTOMATION
-- set to "PORT_INDEX SECONDS VALUE [SECONDS VALUE]...", that control port plays those points;
-- with ZERIN_PROBE naming an Ardour DSP script as well, that script runs after Zerin and its
-- first control plays the same points.
--   ardour7-lua -- make.lua DIR NAME URI PRESET FRAMES [PARAM_INDEX VALUE]...
local dir, name, uri, preset = arg[1], arg[2], arg[3], arg[4]
local frames = tonumber(arg[5])
ARDOUR.config():set_hide_dummy_backend(false)
AudioEngine:set_backend("None (Dummy)", "", "")
AudioEngine:start()
local s = create_session(dir, name, 48000)
assert(s, "cannot create the session")
local t = s:new_audio_track(2, 2, nil, 1, "T1", ARDOUR.PresentationInfo.max_order,
                            ARDOUR.TrackMode.Normal, true):front()
local p = ARDOUR.LuaAPI.new_plugin(s, uri, ARDOUR.PluginType.LV2, preset)
assert(not p:isnil(), "cannot load the plug-in")
t:add_processor_by_index(p, 0, nil, true)
for i = 6, #arg - 1, 2 do
  assert(ARDOUR.LuaAPI.set_processor_param(p, tonumber(arg[i]), tonumber(arg[i + 1])),
         "cannot set parameter " .. arg[i])
end
-- Control `port` of processor `proc` plays the points of `words` (seconds, value, ...).
local function automate(proc, port, words)
  local id = Evoral.Parameter(ARDOUR.AutomationType.PluginAutomation, 0, port)
  local ac = proc:to_insert():to_automatable():automation_control(id, false)
  assert(not ac:isnil(), "no automation for port " .. port)
  local list = ac:alist()
  for i = 2, #words - 1, 2 do
    list:add(Temporal.timepos_t(math.floor(words[i] * 48000)), words[i + 1], false, false)
  end
  ac:set_automation_state(ARDOUR.AutoState.Play)
end

local automation = os.getenv("ZERIN_AUTOMATION")
if automation and automation ~= "" then
  local words = {}
  for w in automation:gmatch("%S+") do words[#words + 1] = tonumber(w) end
  automate(p, words[1], words)
  local probe_name = os.getenv("ZERIN_PROBE")
  if probe_name and probe_name ~= "" then
    local probe = ARDOUR.LuaAPI.new_luaproc(s, probe_name)
    assert(not probe:isnil(), "cannot load the DSP script " .. probe_name)
    t:add_processor_by_index(probe, 1, nil, true)
    automate(probe, 0, words)
  end
end

t:rec_enable_control():set_value(1, PBD.GroupControlDisposition.NoGroup)
s:maybe_enable_record(false)
s:request_roll(ARDOUR.TransportRequestSource.TRS_UI)
local waited = 0
while s:transport_sample() < frames and waited < 600 do
  ARDOUR.LuaAPI.usleep(50000)
  waited = waited + 1
end
s:request_stop(false, false, ARDOUR.TransportRequestSource.TRS_UI)
-- The take is complete once the transport has stopped and the track holds it as a region:
-- wait for that, not for a set time.
local function recorded()
  return not s:transport_rolling() and t:playlist():n_regions() > 0
end
waited = 0
while not recorded() and waited < 600 do
  ARDOUR.LuaAPI.usleep(50000)
  waited = waited + 1
end
assert(recorded(), "the take was not recorded")
t:rec_enable_control():set_value(0, PBD.GroupControlDisposition.NoGroup)
s:save_state("", false, false, false, false, false)
close_session()
print("recorded up to", frames)
