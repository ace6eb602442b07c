#pragma once

#include <stdlib.h> // mkdtemp

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace zerin::test {

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it afterwards.
class TempFolder {
public:
    TempFolder() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/zerin-presets-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        mPath = pattern;
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(mPath, ec);
    }
    const std::filesystem::path& path() const { return mPath; }
    std::filesystem::path store() const { return mPath / "preferences.json"; }

private:
    std::filesystem::path mPath;
};

inline std::string readText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeText(const std::filesystem::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
}

// The copies the store kept of damaged files, and any other file beside the store that
// is neither the store nor its lock.
inline std::vector<std::filesystem::path> filesBesideStore(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> others;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name != "preferences.json" && name != "preferences.json.lock")
            others.push_back(entry.path());
    }
    return others;
}

} // namespace zerin::test
