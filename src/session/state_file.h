#pragma once

// A state file named on a command line (zerin-render --state, zerin-editor --state): read and
// checked before it is used, and written back without losing what this build does not use.
// Keys it does not know inside "parameters" and "curveSet" (written by a later build, or by
// hand) stay where they were; a file with parts that cannot be used (a curve with no usable
// point, values out of range) is kept aside, once, before the first write over it.

#include "audiounit/zerin_audio_unit.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

namespace zerin::session {

struct StateFile {
    std::string path;
    nlohmann::json read;               // as the file held it
    std::vector<std::string> warnings; // what it holds that cannot be used, one line each
    bool keptAside = false;            // a copy of the damaged file has been made
};

// Reads `path` and checks that it is a saved state this build can restore and write back.
// None with `error` ("PATH: what is wrong") when it cannot be used at all.
std::optional<StateFile> readStateFile(const std::string& path, std::string* error);

// What a saved state holds but cannot be used, one warning each: the rest of it is used.
std::vector<std::string> stateWarnings(const nlohmann::json& state);

// The state to write for `unit`: its full state, with what `read` holds inside "parameters"
// and "curveSet" that the unit does not write kept as it was.
nlohmann::json stateToWriteBack(const nlohmann::json& read, nlohmann::json written);

// Writes the unit's state to `path` in one piece, keeping what `origin` (the state the unit
// was set up from; may be null) holds beyond it. When `path` is the origin's own file and it
// had parts that could not be used, the file is first kept aside and `notice` says where; if
// that fails, nothing is written. False with `error` naming the file.
bool writeUnitState(const ZerinExtensionAudioUnit& unit, const std::string& path, StateFile* origin,
                    std::string* notice, std::string* error);

} // namespace zerin::session
