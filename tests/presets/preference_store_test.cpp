#include "presets/preset_manager.h"
#include "presets/user_presets.h"
#include "temp_folder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <unistd.h>

namespace zerin {
namespace {

namespace fs = std::filesystem;
using nlohmann::ordered_json;

std::string presetText(const char* name) {
    return toJson(Preset{Uuid::random(), name, {{Uuid::random(), 100.0f, 10.0f}}, false}).dump();
}

const CurveControlPoint kPoint{Uuid::random(), 440.0f, 40.0f};

// Loads a manager over `stored`, checks what it salvaged without touching the file, then
// saves once and twice more: the damaged original must be kept aside exactly once, with
// one report naming the copy, and the live store must then read cleanly.
void expectKeptAsideOnFirstSave(const std::string& stored, std::vector<std::string> salvaged) {
    test::TempFolder folder;
    test::writeText(folder.store(), stored);
    PresetManager manager{PreferenceStore(folder.path())};
    std::vector<std::string> names;
    for (const Preset& p : manager.userPresets())
        names.push_back(p.name);
    EXPECT_EQ(names, salvaged);
    EXPECT_FALSE(manager.loadResult());
    EXPECT_NE(manager.loadResult().message.find(folder.store().string()), std::string::npos);
    EXPECT_EQ(test::readText(folder.store()), stored) << "loading must not write";

    testing::internal::CaptureStderr();
    ASSERT_TRUE(manager.savePreset("New", {kPoint}));
    ASSERT_TRUE(manager.savePreset("Newer", {kPoint}));
    const std::string report = testing::internal::GetCapturedStderr();

    const auto copies = test::filesBesideStore(folder.path());
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_TRUE(copies[0].filename().string().starts_with("preferences.unreadable-"));
    EXPECT_EQ(copies[0].extension(), ".json");
    EXPECT_EQ(test::readText(copies[0]), stored);
    EXPECT_NE(report.find(copies[0].string()), std::string::npos) << report;
    EXPECT_EQ(report.find('\n'), report.size() - 1) << "one report: " << report;

    salvaged.insert(salvaged.end(), {"New", "Newer"});
    PresetManager reopened{PreferenceStore(folder.path())};
    EXPECT_TRUE(reopened.loadResult()) << reopened.loadResult().message;
    EXPECT_EQ(reopened.userPresets(), manager.userPresets());
    EXPECT_EQ(reopened.userPresets().size(), salvaged.size());
}

TEST(PreferenceStore, AnUnreadableFileIsKeptAsideBeforeItIsReplaced) {
    for (const std::string& stored : std::vector<std::string>{
             std::string("{\"VeskUserPresets\": [") + presetText("Lost?"), // cut short
             "[" + presetText("A") + "]",                                  // not an object
             "{\"VeskUserPresets\": [{\"name\": \"\xff\"}]}",              // not UTF-8
             "{\"deep\": " + std::string(5000, '[') + std::string(5000, ']') + "}",
         }) {
        SCOPED_TRACE(stored.substr(0, 60));
        expectKeptAsideOnFirstSave(stored, {});
    }
}

TEST(PreferenceStore, ADamagedValueLosesOnlyWhatCannotBeRead) {
    // As a newer version might write it: one preset with a field this one cannot read.
    const std::string oneBad = R"({"VeskUserPresets": [)" + presetText("A") +
                               R"(, {"id": "00000000-0000-4000-8000-000000000001", "name": "B",)"
                               R"( "curve": {}, "isFactory": false}, )" +
                               presetText("C") + "]}";
    expectKeptAsideOnFirstSave(oneBad, {"A", "C"});
    expectKeptAsideOnFirstSave(R"({"VeskUserPresets": "[]"})", {});
}

TEST(PreferenceStore, AFileOverTheSizeLimitIsKeptAsideUnread) {
    test::TempFolder folder;
    {
        const int fd = ::open(folder.store().c_str(), O_WRONLY | O_CREAT, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, (16 << 20) + 1), 0); // sparse: costs no disk
        ::close(fd);
    }
    PresetManager manager{PreferenceStore(folder.path())};
    EXPECT_FALSE(manager.loadResult());
    testing::internal::CaptureStderr();
    ASSERT_TRUE(manager.savePreset("New", {}));
    testing::internal::GetCapturedStderr();
    const auto copies = test::filesBesideStore(folder.path());
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(fs::file_size(copies[0]), (16u << 20) + 1);
    EXPECT_EQ(PresetManager{PreferenceStore(folder.path())}.userPresets().size(), 1u);
}

TEST(PreferenceStore, OtherKeysSurviveInTheirOrder) {
    test::TempFolder folder;
    const ordered_json before = ordered_json::parse(
        R"({"windowSize": [900, 600], "VeskUserPresets": [], "zeta": {"b": 1, "a": "\u00e9"}})");
    test::writeText(folder.store(), before.dump(2));
    PresetManager manager{PreferenceStore(folder.path())};
    ASSERT_TRUE(manager.savePreset("Mine", {kPoint}));
    ASSERT_TRUE(manager.deletePreset(manager.userPresets()[0]));
    ASSERT_TRUE(manager.savePreset("Again", {kPoint}));

    ordered_json after = ordered_json::parse(test::readText(folder.store()));
    ASSERT_EQ(after["VeskUserPresets"].size(), 1u);
    after["VeskUserPresets"] = ordered_json::array();
    EXPECT_EQ(after.dump(), before.dump());
    EXPECT_TRUE(test::filesBesideStore(folder.path()).empty());
}

TEST(PreferenceStore, AStoreThatCannotBeReadIsNeverReplaced) {
    test::TempFolder folder;
    fs::create_directory(folder.store()); // preferences.json is a folder
    PreferenceStore store(folder.path());
    const UserPresetsRead read = readUserPresets(store);
    EXPECT_FALSE(read.result);
    std::vector<Preset> stored;
    const StoreResult result = changeUserPresets(
        store, [](auto&) {}, stored);
    EXPECT_FALSE(result);
    EXPECT_NE(result.message.find(folder.store().string()), std::string::npos);
    EXPECT_TRUE(fs::is_directory(folder.store()));
}

// Restores an environment variable when the test ends.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value) : mName(name) {
        if (const char* old = std::getenv(name)) mOld = old;
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~ScopedEnvironment() { mOld ? ::setenv(mName, mOld->c_str(), 1) : ::unsetenv(mName); }

private:
    const char* mName;
    std::optional<std::string> mOld;
};

TEST(PreferenceStore, FindsItsFolderFromTheEnvironment) {
    ScopedEnvironment home("HOME", "/home/musician");
    ScopedEnvironment xdg("XDG_CONFIG_HOME", "relative/ignored");
    ScopedEnvironment own("ZERIN_CONFIG_DIR", nullptr);
    EXPECT_EQ(PreferenceStore::defaultDirectory(), "/home/musician/.config/zerin");
    ::setenv("XDG_CONFIG_HOME", "/xdg", 1);
    EXPECT_EQ(PreferenceStore::defaultDirectory(), "/xdg/zerin");
    ::setenv("ZERIN_CONFIG_DIR", "/tmp/elsewhere", 1);
    EXPECT_EQ(PreferenceStore().file(), "/tmp/elsewhere/preferences.json");
}

} // namespace
} // namespace zerin
