#pragma once

#include "model/uuid.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace zerin::test {

// A fresh folder for one store, removed with its contents afterwards.
struct TempFolder {
    TempFolder() { std::filesystem::create_directory(path); }
    ~TempFolder() { std::filesystem::remove_all(path, ignored); }
    std::error_code ignored;
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("zerin-" + Uuid::random().text());
    const std::filesystem::path store = path / "preferences.json";
};

inline std::string readText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeText(const std::filesystem::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

// Whatever lies beside the store other than its lock: kept-aside copies, leftovers.
inline std::vector<std::filesystem::path> filesBesideStore(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> others;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (const auto name = entry.path().filename();
            name != "preferences.json" && name != "preferences.json.lock")
            others.push_back(entry.path());
    return others;
}

inline std::vector<std::string> namesOf(const auto& presets) {
    std::vector<std::string> names;
    for (const auto& preset : presets)
        names.push_back(preset.name);
    return names;
}

} // namespace zerin::test
