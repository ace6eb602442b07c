#pragma once

// The user presets as kept in the preference store: a JSON array of presets under
// "VeskUserPresets". Reading salvages every preset that decodes; a change re-reads the
// stored list under the store's lock so that no other editor's save or delete is lost.

#include "presets/preference_store.h"
#include "presets/preset.h"
#include "presets/store_result.h"

#include <functional>
#include <string_view>
#include <vector>

namespace zerin {

inline constexpr std::string_view kUserPresetsKey = "VeskUserPresets";

struct UserPresetsRead {
    std::vector<Preset> presets; // every stored preset that decodes, in stored order
    StoreResult result;          // fails when the file or some presets could not be read
};

UserPresetsRead readUserPresets(const PreferenceStore& store);

// Applies `change` to the list as stored now and stores the outcome. On success `stored`
// is the list as it now stands in the store, other editors' changes included; on failure
// `stored` is left alone and nothing is written.
StoreResult changeUserPresets(PreferenceStore& store,
                              const std::function<void(std::vector<Preset>&)>& change,
                              std::vector<Preset>& stored);

} // namespace zerin
