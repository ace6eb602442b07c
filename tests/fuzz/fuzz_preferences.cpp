// The preference store as anything may have left it, read and then saved into as the editor
// does: the save loads again, loses nothing readable, keeps the unreadable aside, or fails
// changing nothing.

#include "fuzz_check.h"

#include "platform/json/bounded_json.h"
#include "presets/preference_store.h"
#include "presets/preset_manager.h"
#include "presets/user_presets.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using zerin::fuzz::require;

constexpr char kName[] = "Fuzz";
constexpr char kUnreadablePrefix[] = "preferences.unreadable-";

// One private folder per process, as runs side by side (libFuzzer's -jobs) must not share one;
// removed at exit.
struct Folder {
    Folder() {
        char pattern[] = "/tmp/zerin-fuzz-preferences-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) zerin::fuzz::harnessFailure("mkdtemp", errno);
        path = pattern;
    }
    ~Folder() { fs::remove_all(path, ignored); }
    fs::path path;
    std::error_code ignored;
};

std::string readBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<fs::path> keptAside(const fs::path& dir) {
    std::vector<fs::path> copies;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().filename().string().starts_with(kUnreadablePrefix))
            copies.push_back(entry.path());
    return copies;
}

std::vector<zerin::CurveControlPoint> savedCurve() {
    const auto id = [](const char* text) { return *zerin::Uuid::parse(text); };
    return {{id("6F1C2B7E-0A4D-4E2B-9C51-2D8E4F0A1B01"), 60.0f, 900.0f},
            {id("6F1C2B7E-0A4D-4E2B-9C51-2D8E4F0A1B02"), 400.0f, 0.0f},
            {id("6F1C2B7E-0A4D-4E2B-9C51-2D8E4F0A1B03"), 5000.0f, 1200.0f}};
}

// The list a merge should leave: the first preset of our name gets our points, or ours is
// appended. Ids of new presets are random, so the appended one is compared without its id.
bool mergedAsExpected(const std::vector<zerin::Preset>& before,
                      const std::vector<zerin::Preset>& after, const zerin::CurveSetPoints& curve) {
    std::vector<zerin::Preset> expected = before;
    const auto ours = std::find_if(expected.begin(), expected.end(),
                                   [](const zerin::Preset& p) { return p.name == kName; });
    if (ours != expected.end()) {
        ours->curves = curve;
        return after == expected;
    }
    if (after.size() != expected.size() + 1) return false;
    const zerin::Preset& added = after.back();
    return std::equal(expected.begin(), expected.end(), after.begin()) && added.name == kName &&
           added.curves == curve && !added.isFactory;
}

// Every key but the user presets, as parsed; nullopt if the text is no JSON object.
std::optional<nlohmann::ordered_json> otherKeys(const std::string& text) {
    auto doc = zerin::parseUntrustedOrderedJson(text, nullptr);
    if (!doc || !doc->is_object()) return std::nullopt;
    doc->erase(std::string(zerin::kUserPresetsKey));
    return doc;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Folder folder;
    const fs::path& dir = folder.path;
    const fs::path store = dir / "preferences.json";
    const std::string original(zerin::fuzz::asText(data, size));
    {
        std::ofstream out(store, std::ios::binary | std::ios::trunc);
        out.write(original.data(), static_cast<std::streamsize>(original.size()));
        if (!out) zerin::fuzz::harnessFailure("write preferences.json");
    }

    zerin::PresetManager manager{zerin::PreferenceStore(dir)};
    const std::vector<zerin::Preset> before = manager.userPresets();
    const bool readable = manager.loadResult().ok;
    require(readable || !manager.loadResult().message.empty(),
            "a store that cannot be read in full says why");
    require(keptAside(dir).empty(), "reading the store writes nothing");

    const zerin::CurveSetPoints curve = zerin::setOfDelayCurve(savedCurve());
    const zerin::StoreResult saved = manager.savePreset(kName, curve);
    if (!saved) {
        require(!saved.message.empty(), "a failed save says why");
        require(readBytes(store) == original, "a failed save leaves the store as it was");
    } else {
        zerin::PresetManager reloaded{zerin::PreferenceStore(dir)};
        require(reloaded.loadResult().ok, "a store we saved loads without complaint");
        require(reloaded.userPresets() == manager.userPresets(),
                "the store holds the list the save reported");
        require(mergedAsExpected(before, reloaded.userPresets(), curve),
                "the save replaced or added our preset and kept every other readable one");

        const auto copies = keptAside(dir);
        // An empty file holds nothing to lose, and a readable one is merged into.
        if (readable || original.empty()) {
            require(copies.empty(), "a readable store is not kept aside");
            if (!original.empty())
                require(otherKeys(original) == otherKeys(readBytes(store)),
                        "keys that are not ours are kept as they were");
        } else {
            require(copies.size() == 1, "a damaged store is kept aside once");
            require(readBytes(copies.front()) == original,
                    "the copy kept aside is the damaged store byte for byte");
        }
    }
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        fs::remove_all(it->path(), ec);
    return 0;
}
