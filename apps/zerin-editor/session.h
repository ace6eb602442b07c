#pragma once

// The unit's setup from the command line and the state file it is saved back to.

#include "audiounit/zerin_audio_unit.h"
#include "editor_options.h"
#include "session/state_file.h"
#include "session/unit_setup.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

namespace zerin::editor {

// Everything the options name, read and checked before a unit or a window exists.
struct SessionPlan {
    std::optional<session::StateFile> state; // none: no --state, or a file to be created on save
    std::optional<session::PresetSelection> preset;
};

// Reads the state file (a missing one starts fresh, as long as its folder exists) and finds
// the preset. Returns the exit status of the first problem, with the message printed.
std::optional<int> planSession(const EditorOptions& options, SessionPlan& plan);

// Applies the state, the settings, the preset and the curve, in that order, to a fresh unit.
void applyChoices(const EditorOptions& options, const SessionPlan& plan,
                  ZerinExtensionAudioUnit& unit);

// Writes the unit's full state to `path` in one piece, keeping what the state it came from
// (in `plan`) holds beyond it. False with `error` naming the file; `notice` says what was kept
// aside first.
bool saveState(const ZerinExtensionAudioUnit& unit, const std::string& path, SessionPlan& plan,
               std::string* notice, std::string* error);

} // namespace zerin::editor
