// Both kinds of out-of-sight file: the result appears whole or not at all, replaces an
// earlier file only when committed, and nothing else is left in the folder.

#include "platform/files/atomic_file.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sys/resource.h>

namespace zerin::test {
namespace {

namespace fs = std::filesystem;

struct Folder {
    Folder() {
        std::string pattern = (fs::temp_directory_path() / "zerin-files.XXXXXX").string();
        path = mkdtemp(pattern.data());
    }
    ~Folder() { fs::remove_all(path); }
    std::set<std::string> names() const {
        std::set<std::string> out;
        for (const auto& entry : fs::directory_iterator(path))
            out.insert(entry.path().filename().string());
        return out;
    }
    std::string read(const std::string& name) const {
        std::ifstream in(path / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    fs::path path;
};

class AtomicFiles : public ::testing::TestWithParam<AtomicFile::Kind> {};

TEST_P(AtomicFiles, AppearWholeInPlaceOfAnEarlierFileOnlyWhenCommitted) {
    Folder folder;
    std::ofstream(folder.path / "out.txt") << "earlier";
    const std::string longName = std::string(255, 'n');
    for (const std::string& name : {std::string("out.txt"), longName}) {
        AtomicFile file(GetParam());
        std::string error;
        ASSERT_TRUE(file.open((folder.path / name).string(), &error)) << error;
        EXPECT_TRUE(file.write("new ", 4));
        EXPECT_TRUE(file.write("text", 4));
        if (name == "out.txt") {
            EXPECT_EQ(folder.read(name), "earlier");
        }
        ASSERT_TRUE(file.commit(&error)) << error;
        EXPECT_EQ(folder.read(name), "new text");
    }
    EXPECT_EQ(folder.names(), (std::set<std::string>{"out.txt", longName}));
    // Discarded, or dropped unfinished: the earlier file stays and nothing is added.
    for (const bool explicitly : {true, false}) {
        AtomicFile file(GetParam());
        std::string error;
        ASSERT_TRUE(file.open((folder.path / "out.txt").string(), &error));
        file.write("lost", 4);
        if (explicitly) file.discard();
    }
    EXPECT_EQ(folder.read("out.txt"), "new text");
    EXPECT_EQ(folder.names(), (std::set<std::string>{"out.txt", longName}));
}

TEST_P(AtomicFiles, AWriteErrorFailsTheCommitNamingTheFileAndChangesNothing) {
    Folder folder;
    std::ofstream(folder.path / "out.txt") << "earlier";
    // A file-size limit fails writes past it as a full disk would.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, saved.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limit);
    AtomicFile file(GetParam());
    std::string error;
    ASSERT_TRUE(file.open((folder.path / "out.txt").string(), &error));
    const std::string block(3000, 'x');
    EXPECT_TRUE(file.write(block.data(), block.size()));
    EXPECT_FALSE(file.write(block.data(), block.size()));
    EXPECT_FALSE(file.write("more", 4)); // the first error stays
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(file.commit(&error));
    EXPECT_NE(error.find("out.txt"), std::string::npos) << error;
    EXPECT_EQ(folder.read("out.txt"), "earlier");
    EXPECT_EQ(folder.names(), std::set<std::string>{"out.txt"});
}

TEST_P(AtomicFiles, FollowTheirFolderWhenItIsRenamed) {
    Folder folder;
    fs::create_directory(folder.path / "takes");
    AtomicFile file(GetParam());
    std::string error;
    ASSERT_TRUE(file.open((folder.path / "takes" / "out.txt").string(), &error));
    file.write("take", 4);
    fs::rename(folder.path / "takes", folder.path / "renamed");
    ASSERT_TRUE(file.commit(&error)) << error;
    EXPECT_EQ(folder.read("renamed/out.txt"), "take");
    EXPECT_EQ(folder.names(), std::set<std::string>{"renamed"});
}

INSTANTIATE_TEST_SUITE_P(BothKinds, AtomicFiles,
                         ::testing::Values(AtomicFile::Kind::unnamedWherePossible,
                                           AtomicFile::Kind::named));

TEST(AtomicFile, ASignalHandlerCanRemoveTheNamedTemporaries) {
    Folder folder;
    AtomicFile file(AtomicFile::Kind::named);
    std::string error;
    ASSERT_TRUE(file.open((folder.path / "out.txt").string(), &error));
    EXPECT_EQ(folder.names().size(), 1u); // the hidden name the handler must know of
    AtomicFile::removePendingTemporaries();
    EXPECT_TRUE(folder.names().empty());
    EXPECT_FALSE(file.commit(&error)); // nothing left to put in place
    EXPECT_TRUE(folder.names().empty());
}

} // namespace
} // namespace zerin::test
