// Files saved by earlier builds (full states, a preference store with user presets) play
// as they did when they were saved: each is rendered by the binary and compared with the
// render the build that saved it made, to the bit where this machine's FFT allows it.
// ZERIN_REGENERATE_GOLDEN=1 rewrites the renders instead, which is never fair for these:
// they stand for what users have kept.

#include "render_cli.h"
#include "support/render_reference.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace zerin::test {
namespace {

const fs::path kOldFiles = ZERIN_OLD_FILES;

class OldFiles : public RenderCli {
protected:
    // Renders the mixed input with `args` and compares it with renders/NAME.txt.
    void expectAsKept(const std::string& name, std::vector<std::string> args) {
        writeAudio(dir / "in.wav", mixedInput(2));
        args.insert(args.begin(), {"in.wav", "--tail", "1"});
        const Audio out = rendered(args);
        const RenderReference now = referenceOf(out.samples, out.channels, true);
        const fs::path path = kOldFiles / "renders" / (name + ".txt");
        if (regeneratingReferences()) {
            std::string command;
            for (const std::string& a : args)
                command.append(" ").append(fs::path(a).filename().string());
            writeReference(path, "zerin-render" + command + " (in.wav: mixedInput, 2 channels)",
                           now);
            return;
        }
        expectMatchesReference(readReference(path), now, name);
    }
};

// The first format's states, and those of later formats (old_files/states: the curve set,
// the frame size, the 10 s range).
TEST_F(OldFiles, SavedStatesPlayAsTheyDidWhenSaved) {
    int seen = 0;
    for (const fs::path& dir : {fs::path(ZERIN_SAVED_STATES), kOldFiles / "states"})
        for (const auto& entry : fs::directory_iterator(dir)) {
            SCOPED_TRACE(entry.path().string());
            expectAsKept("state-" + entry.path().stem().string(),
                         {"--state", entry.path().string()});
            ++seen;
        }
    EXPECT_GE(seen, 6);
}

TEST_F(OldFiles, UserPresetsOfAnOldPreferenceStorePlayAsTheyDid) {
    fs::create_directories(root / "config");
    fs::copy_file(kOldFiles / "preferences" / "preferences.json",
                  root / "config" / "preferences.json");
    const auto store =
        nlohmann::json::parse(readText(kOldFiles / "preferences" / "preferences.json"));
    int seen = 0;
    for (const auto& preset : store.at("VeskUserPresets")) {
        const std::string name = preset.at("name").get<std::string>();
        SCOPED_TRACE(name);
        std::string file = "preset-" + name;
        std::replace(file.begin(), file.end(), ' ', '-');
        expectAsKept(file, {"--preset", name});
        ++seen;
    }
    EXPECT_EQ(seen, 3);
}

} // namespace
} // namespace zerin::test
