#include "presets/preset_manager.h"
#include "presets/user_presets.h"
#include "temp_folder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <map>
#include <optional>
#include <thread>

namespace zerin {
namespace {

namespace fs = std::filesystem;
using nlohmann::ordered_json;

const std::vector<CurveControlPoint> kCurve{{Uuid::random(), 440.0f, 40.0f}};

std::string presetText(const char* name) {
    return toJson(presetOfDelayCurve(name, kCurve)).dump();
}

// "w-n", built so as not to trip GCC 12's -Wrestrict false positive on "x" + string.
std::string nth(char writer, int n) {
    return std::string{writer, '-'}.append(std::to_string(n));
}

// Saves w-0, w-1, ... for writer w; true when every save succeeded and the manager's list
// then held all of its own presets so far.
bool saveMany(PresetManager& manager, char writer, int count) {
    const auto mine = [&](const Preset& p) { return p.name[0] == writer; };
    for (int i = 0; i < count; ++i)
        if (!manager.savePreset(nth(writer, i), setOfDelayCurve(kCurve)) ||
            std::ranges::count_if(manager.userPresets(), mine) != i + 1)
            return false;
    return true;
}

TEST(PreferenceStore, ADamagedStoreIsKeptAsideOnceAndLosesOnlyWhatCannotBeRead) {
    const std::string presets = R"({"VeskUserPresets": [)" + presetText("A");
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases{
        {presets, {}},                                         // cut short
        {R"([{"VeskUserPresets": []}])", {}},                  // not an object
        {"{\"VeskUserPresets\": [{\"name\": \"\xff\"}]}", {}}, // not UTF-8
        {presets + "]}" + std::string(16 << 20, ' '), {}},     // too large
        {R"({"VeskUserPresets": "[]"})", {}},                  // not an array
        // As a newer version might write it: one preset with a field this one cannot read.
        {presets + R"(, {"id": "00000000-0000-4000-8000-000000000001", "name": "B",)" +
             R"( "curve": {}, "isFactory": false}, )" + presetText("C") + "]}",
         {"A", "C"}},
    };
    for (const auto& [stored, salvaged] : cases) {
        SCOPED_TRACE(stored.substr(0, 60));
        test::TempFolder folder;
        test::writeText(folder.store, stored);
        PresetManager manager{PreferenceStore(folder.path)};
        EXPECT_EQ(test::namesOf(manager.userPresets()), salvaged);
        EXPECT_NE(manager.loadResult().message.find(folder.store.string()), std::string::npos);
        EXPECT_TRUE(test::readText(folder.store) == stored) << "loading wrote";

        testing::internal::CaptureStderr();
        ASSERT_TRUE(manager.savePreset("New", setOfDelayCurve(kCurve)));
        ASSERT_TRUE(manager.savePreset("Newer", setOfDelayCurve(kCurve)));
        const std::string report = testing::internal::GetCapturedStderr();
        const auto copies = test::filesBesideStore(folder.path);
        ASSERT_EQ(copies.size(), 1u);
        EXPECT_TRUE(copies[0].filename().string().starts_with("preferences.unreadable-"));
        EXPECT_TRUE(test::readText(copies[0]) == stored) << "the copy changed";
        EXPECT_NE(report.find(copies[0].string()), std::string::npos) << report;
        EXPECT_EQ(report.find('\n'), report.size() - 1) << "one report: " << report;

        PresetManager reopened{PreferenceStore(folder.path)};
        EXPECT_TRUE(reopened.loadResult()) << reopened.loadResult().message;
        auto names = salvaged;
        names.insert(names.end(), {"New", "Newer"});
        EXPECT_EQ(test::namesOf(reopened.userPresets()), names);
    }
}

TEST(PreferenceStore, AWriteKeepsOtherKeysInOrderAndClearsLeftoverTemporaries) {
    test::TempFolder folder;
    const ordered_json before = ordered_json::parse(
        R"({"windowSize": [900, 600], "VeskUserPresets": [], "zeta": {"b": 1, "a": "\u00e9"}})");
    test::writeText(folder.store, before.dump(2));
    // What a writer killed before its rename leaves: not the store, and not to be read.
    test::writeText(folder.path / "preferences.json.tmp-a1B2c3", R"({"VeskUserPresets": [{"i)");
    PresetManager manager{PreferenceStore(folder.path)};
    EXPECT_TRUE(manager.loadResult());
    ASSERT_TRUE(manager.savePreset("Mine", setOfDelayCurve(kCurve)));
    ordered_json after = ordered_json::parse(test::readText(folder.store));
    EXPECT_EQ(after["VeskUserPresets"], presetListToJson(manager.userPresets()));
    after["VeskUserPresets"] = ordered_json::array();
    EXPECT_EQ(after, before);
    EXPECT_TRUE(test::filesBesideStore(folder.path).empty());
}

TEST(PreferenceStore, AFailedSaveChangesNothingAndNeverReplacesAStoreItCannotRead) {
    for (const bool fifo : {true, false}) {
        test::TempFolder folder;
        if (fifo) {
            ASSERT_EQ(::mkfifo(folder.store.c_str(), 0600), 0); // nor may opening it hang
        }
        PresetManager manager{PreferenceStore(folder.path)};
        EXPECT_EQ(manager.loadResult().ok, !fifo);
        manager.updateDirtyState(setOfDelayCurve(kCurve));
        const StoreResult result =
            manager.savePreset(fifo ? "Lost" : "not UTF-8 \xff", setOfDelayCurve(kCurve));
        EXPECT_FALSE(result);
        EXPECT_NE(result.message.find(folder.store.string()), std::string::npos);
        EXPECT_TRUE(manager.isDirty() && manager.userPresets().empty());
        EXPECT_EQ(manager.currentPresetName(), "Init");
        EXPECT_TRUE(fifo ? fs::is_fifo(folder.store) : !fs::exists(folder.store));
    }
}

TEST(PreferenceStore, FindsItsFolderFromTheEnvironment) {
    std::vector<std::pair<const char*, std::optional<std::string>>> saved;
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "ZERIN_CONFIG_DIR"}) {
        const char* value = std::getenv(name);
        saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
    }
    ::setenv("HOME", "/home/musician", 1);
    ::setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    ::unsetenv("ZERIN_CONFIG_DIR");
    EXPECT_EQ(PreferenceStore::defaultDirectory(), "/home/musician/.config/zerin");
    ::setenv("XDG_CONFIG_HOME", "/xdg", 1);
    EXPECT_EQ(PreferenceStore().file(), "/xdg/zerin/preferences.json");
    for (const auto& [name, value] : saved)
        value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
}

TEST(PreferenceStore, EditorsOnThreadsAndInProcessesOneKilledMidWriteLoseNothing) {
    test::TempFolder folder;
    PresetManager seed{PreferenceStore(folder.path)};
    ASSERT_TRUE(saveMany(seed, 'o', 20));
    // Six open editors, all loaded before any of them writes.
    std::deque<PresetManager> editors;
    for (int i = 0; i < 6; ++i)
        editors.emplace_back(seed.store());
    // Writers a and b in processes, c in a process that is killed, d and e on threads, and
    // f deleting every preset it loaded.
    std::vector<pid_t> children; // forked before any thread starts
    for (int i = 0; i < 3; ++i)
        if (children.emplace_back(::fork()) == 0)
            ::_exit(saveMany(editors[i], static_cast<char>('a' + i), i < 2 ? 25 : 5000) ? 0 : 1);
    std::vector<std::thread> threads;
    for (int i = 3; i < 5; ++i)
        threads.emplace_back([&, i] { EXPECT_TRUE(saveMany(editors[i], 'a' + i, 25)); });
    threads.emplace_back([&] {
        for (const Preset& p : std::vector<Preset>(editors[5].userPresets()))
            EXPECT_TRUE(editors[5].deletePreset(p));
    });
    for (auto& t : threads)
        t.join();
    int status = 0;
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(::waitpid(children[i], &status, 0), children[i]);
        EXPECT_EQ(status, 0);
    }
    // Kill the last writer wherever it is: reading, writing its temporary, syncing, renaming.
    while (std::ranges::count(test::namesOf(readUserPresets(seed.store()).presets), "c-4") == 0) {
        ASSERT_EQ(::waitpid(children[2], &status, WNOHANG), 0) << "the writer failed on its own";
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ::kill(children[2], SIGKILL);
    ASSERT_EQ(::waitpid(children[2], &status, 0), children[2]);

    PresetManager survivor{PreferenceStore(folder.path)};
    EXPECT_TRUE(survivor.loadResult()) << survivor.loadResult().message;
    std::map<char, int> saves; // each writer's saves in order, the killed one's without a gap
    for (const std::string& name : test::namesOf(survivor.userPresets()))
        EXPECT_EQ(name, nth(name[0], saves[name[0]]++));
    EXPECT_GE(saves['c'], 5);
    EXPECT_EQ(saves, (std::map<char, int>{{'a', 25},
                                          {'b', 25},
                                          {'c', saves['c']},
                                          {'d', 25},
                                          {'e', 25}})); // and nothing deleted came back
    ASSERT_TRUE(survivor.savePreset("after", setOfDelayCurve(kCurve))) << "the lock was left held";
    EXPECT_TRUE(test::filesBesideStore(folder.path).empty()) << "a temporary was left behind";
}

} // namespace
} // namespace zerin
