#include "presets/user_presets.h"

#include <nlohmann/json.hpp>

#include <string>

namespace zerin {
namespace {

struct Salvaged {
    std::vector<Preset> presets;
    std::string damage; // empty when every stored preset decoded
};

// Unlike presetListFromJson, one bad element costs only itself: the readable presets stay
// usable and the damage is reported so that the store keeps the original aside.
Salvaged salvage(const nlohmann::ordered_json* value, const std::string& file) {
    Salvaged result;
    if (value == nullptr || value->is_null()) return result;
    if (!value->is_array()) {
        result.damage = "the user presets in " + file + " are not a JSON array";
        return result;
    }
    std::size_t unreadable = 0;
    for (const auto& element : *value) {
        if (auto preset = presetFromJson(element))
            result.presets.push_back(std::move(*preset));
        else
            ++unreadable;
    }
    if (unreadable > 0)
        result.damage = std::to_string(unreadable) + " of " + std::to_string(value->size()) +
                        " user presets in " + file + " cannot be read";
    return result;
}

} // namespace

UserPresetsRead readUserPresets(const PreferenceStore& store) {
    UserPresetsRead read;
    std::string damage;
    read.result = store.read(kUserPresetsKey, [&](const nlohmann::ordered_json* value) {
        Salvaged salvaged = salvage(value, store.file().string());
        read.presets = std::move(salvaged.presets);
        damage = std::move(salvaged.damage);
    });
    if (read.result && !damage.empty())
        read.result = StoreResult::failure(damage + "; the file will be kept aside before the "
                                                    "store is next written");
    return read;
}

StoreResult changeUserPresets(PreferenceStore& store,
                              const std::function<void(std::vector<Preset>&)>& change,
                              std::vector<Preset>& stored) {
    std::vector<Preset> changed;
    StoreResult result = store.update(kUserPresetsKey, [&](nlohmann::ordered_json& value) {
        Salvaged salvaged = salvage(&value, store.file().string());
        changed = std::move(salvaged.presets);
        change(changed);
        value = presetListToJson(changed);
        return std::move(salvaged.damage);
    });
    if (result) stored = std::move(changed);
    return result;
}

} // namespace zerin
