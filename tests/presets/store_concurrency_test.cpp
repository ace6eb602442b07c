#include "presets/preset_manager.h"
#include "presets/user_presets.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <thread>

namespace zerin {
namespace {

namespace fs = std::filesystem;

const std::vector<CurveControlPoint> kCurve{{Uuid::random(), 440.0f, 40.0f}};

// "prefix-n", built so as not to trip GCC 12's -Wrestrict false positive on "x" + string.
std::string label(std::string prefix, int n) {
    prefix += '-';
    prefix += std::to_string(n);
    return prefix;
}

std::set<std::string> storedNames(const fs::path& folder) {
    std::set<std::string> names;
    for (const Preset& p : readUserPresets(PreferenceStore(folder)).presets)
        names.insert(p.name);
    return names;
}

// Saves writer-i for i in [0, count); true when every save succeeded and this manager's
// list always held all of its own presets so far.
bool saveMany(const fs::path& folder, const std::string& writer, int count) {
    PresetManager manager{PreferenceStore(folder)};
    for (int i = 0; i < count; ++i) {
        if (!manager.savePreset(label(writer, i), kCurve)) return false;
        const auto mine =
            std::count_if(manager.userPresets().begin(), manager.userPresets().end(),
                          [&](const Preset& p) { return p.name.rfind(writer, 0) == 0; });
        if (mine != i + 1) return false;
    }
    return true;
}

TEST(StoreConcurrency, ManagersOnThreadsLoseNoSaveOrDelete) {
    test::TempFolder folder;
    {
        PresetManager seed{PreferenceStore(folder.path())};
        for (int i = 0; i < 20; ++i)
            ASSERT_TRUE(seed.savePreset(label("old", i), kCurve));
    }
    // Every manager loads before the others start writing, as open editors do.
    PresetManager deleter{PreferenceStore(folder.path())};
    const std::vector<Preset> doomed = deleter.userPresets();

    constexpr int kWriters = 3, kSaves = 25;
    std::vector<char> ok(kWriters + 1, 0);
    std::vector<std::thread> threads;
    for (int w = 0; w < kWriters; ++w)
        threads.emplace_back([&, w] { ok[w] = saveMany(folder.path(), label("t", w), kSaves); });
    threads.emplace_back([&] {
        bool all = true;
        for (const Preset& p : doomed)
            all = deleter.deletePreset(p).ok && all;
        ok[kWriters] = all;
    });
    for (auto& t : threads)
        t.join();

    EXPECT_EQ(ok, std::vector<char>(kWriters + 1, 1));
    const auto names = storedNames(folder.path());
    EXPECT_EQ(names.size(), std::size_t{kWriters * kSaves});
    for (const std::string& name : names)
        EXPECT_FALSE(name.starts_with("old-")) << name << " came back";
}

TEST(StoreConcurrency, ManagersInTwoProcessesLoseNoSave) {
    test::TempFolder folder;
    constexpr int kSaves = 30;
    std::vector<pid_t> children;
    for (const char* writer : {"p0", "p1"}) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) ::_exit(saveMany(folder.path(), writer, kSaves) ? 0 : 1);
        children.push_back(pid);
    }
    for (const pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(storedNames(folder.path()).size(), std::size_t{2 * kSaves});
}

TEST(StoreConcurrency, AStaleEditorNeitherResurrectsNorDrops) {
    test::TempFolder folder;
    PresetManager a{PreferenceStore(folder.path())};
    ASSERT_TRUE(a.savePreset("X", kCurve));
    PresetManager b{PreferenceStore(folder.path())};
    ASSERT_EQ(b.userPresets().size(), 1u);

    ASSERT_TRUE(b.deletePreset(b.userPresets()[0]));
    ASSERT_TRUE(a.savePreset("Y", kCurve)); // a still lists X
    EXPECT_EQ(a.userPresets().size(), 1u);
    EXPECT_EQ(a.userPresets()[0].name, "Y");
    ASSERT_TRUE(b.savePreset("Y", {})); // overwrites a's Y, keeping its id
    EXPECT_EQ(b.userPresets().size(), 1u);
    EXPECT_EQ(b.userPresets()[0].id, a.userPresets()[0].id);
    EXPECT_EQ(storedNames(folder.path()), (std::set<std::string>{"Y"}));
}

TEST(StoreConcurrency, ALeftoverTemporaryFileIsHarmlessAndCleanedUp) {
    test::TempFolder folder;
    PresetManager manager{PreferenceStore(folder.path())};
    ASSERT_TRUE(manager.savePreset("Before", kCurve));
    const fs::path leftover = folder.path() / "preferences.json.tmp-a1B2c3";
    test::writeText(leftover, R"({"VeskUserPresets": [{"id": "half)");

    PresetManager next{PreferenceStore(folder.path())};
    EXPECT_TRUE(next.loadResult());
    EXPECT_EQ(next.userPresets(), manager.userPresets());
    ASSERT_TRUE(next.savePreset("After", kCurve));
    EXPECT_FALSE(fs::exists(leftover));
    EXPECT_EQ(storedNames(folder.path()), (std::set<std::string>{"Before", "After"}));
}

TEST(StoreConcurrency, AWriterKilledAtAnyPointLeavesAReadableStore) {
    test::TempFolder folder;
    for (int round = 0; round < 3; ++round) {
        const std::string writer = label("k", round);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) ::_exit(saveMany(folder.path(), writer, 100000) ? 0 : 1);
        // Let it get some saves in, then kill it wherever it is: reading, writing the
        // temporary file, syncing or renaming.
        int status = 0;
        bool exited = false;
        while (!exited && !storedNames(folder.path()).contains(label(writer, 4))) {
            exited = ::waitpid(pid, &status, WNOHANG) == pid;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_FALSE(exited) << "the writer failed on its own";
        ::kill(pid, SIGKILL);
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);

        PresetManager survivor{PreferenceStore(folder.path())};
        EXPECT_TRUE(survivor.loadResult()) << survivor.loadResult().message;
        // The killed writer's saves are a gap-free run: none half-made, none lost.
        const std::string prefix = writer + '-';
        std::set<int> numbers;
        for (const Preset& p : survivor.userPresets())
            if (p.name.starts_with(prefix)) numbers.insert(std::stoi(p.name.substr(prefix.size())));
        ASSERT_FALSE(numbers.empty());
        EXPECT_EQ(*numbers.rbegin() + 1, static_cast<int>(numbers.size()));
        ASSERT_TRUE(survivor.savePreset(label("after", round), kCurve)) << "lock left held";
    }
    for (const fs::path& other : test::filesBesideStore(folder.path()))
        ADD_FAILURE() << "left behind: " << other;
}

} // namespace
} // namespace zerin
