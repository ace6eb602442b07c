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
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

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

class AtomicFiles : public ::testing::TestWithParam<AtomicFile::Kind> {
protected:
    Folder folder;
    std::string error;
};

TEST_P(AtomicFiles, AppearWholeInPlaceOfAnEarlierFileOnlyWhenCommitted) {
    std::ofstream(folder.path / "out.txt") << "earlier";
    const std::string longName = std::string(255, 'n');
    for (const std::string& name : {std::string("out.txt"), longName}) {
        AtomicFile file(GetParam());
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
        ASSERT_TRUE(file.open((folder.path / "out.txt").string(), &error));
        file.write("lost", 4);
        if (explicitly) file.discard();
    }
    EXPECT_EQ(folder.read("out.txt"), "new text");
    EXPECT_EQ(folder.names(), (std::set<std::string>{"out.txt", longName}));
}

TEST_P(AtomicFiles, AWriteErrorFailsTheCommitNamingTheFileAndChangesNothing) {
    std::ofstream(folder.path / "out.txt") << "earlier";
    // A file-size limit fails writes past it as a full disk would.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, saved.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limit);
    AtomicFile file(GetParam());
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
    fs::create_directory(folder.path / "takes");
    AtomicFile file(GetParam());
    ASSERT_TRUE(file.open((folder.path / "takes" / "out.txt").string(), &error));
    file.write("take", 4);
    fs::rename(folder.path / "takes", folder.path / "renamed");
    ASSERT_TRUE(file.commit(&error)) << error;
    EXPECT_EQ(folder.read("renamed/out.txt"), "take");
    EXPECT_EQ(folder.names(), std::set<std::string>{"renamed"});
}

// Whatever sits at the target, a writer replaces only a regular file: a FIFO, a folder or a
// link to nothing is refused by name and left as it was, a link to a regular file is written
// through and stays a link, and the file written keeps the earlier one's mode and owner.
TEST_P(AtomicFiles, ReplaceOnlyRegularFilesWriteThroughLinksAndKeepModeAndOwner) {
    const fs::path& at = folder.path;
    ASSERT_EQ(::mkfifo((at / "fifo").c_str(), 0644), 0);
    fs::create_directory(at / "folder");
    fs::create_directory(at / "real");
    std::ofstream(at / "real" / "state.json") << "earlier";
    fs::create_symlink("real/state.json", at / "link");
    fs::create_symlink("real/absent.json", at / "dangling");
    fs::create_symlink("fifo", at / "linkToFifo");
    fs::create_symlink("folder", at / "linkToFolder");
    const std::set<std::string> start = folder.names();
    for (const std::string name : {"fifo", "folder", "dangling", "linkToFifo", "linkToFolder"}) {
        SCOPED_TRACE(name);
        AtomicFile file(GetParam());
        std::string error;
        const bool opened = file.open((at / name).string(), &error);
        if (opened) {
            file.write("new", 3);
            EXPECT_FALSE(file.commit(&error));
        }
        EXPECT_NE(error.find(name), std::string::npos) << error;
    }
    EXPECT_EQ(folder.names(), start);
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(at / "fifo")));
    EXPECT_TRUE(fs::is_directory(fs::symlink_status(at / "folder")));
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(at / "dangling")));
    EXPECT_FALSE(fs::exists(at / "real" / "absent.json"));

    ASSERT_TRUE(writeFileAtomically((at / "link").string(), "through the link", &error)) << error;
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(at / "link")));
    EXPECT_EQ(folder.read("real/state.json"), "through the link");
    EXPECT_EQ(folder.names(), start);
    for (const auto& entry : fs::directory_iterator(at / "real"))
        EXPECT_EQ(entry.path().filename(), "state.json");

    std::ofstream(at / "private.json") << "earlier";
    fs::permissions(at / "private.json", fs::perms::owner_read | fs::perms::owner_write);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown((at / "private.json").c_str(), 4321, 8765), 0);
    }
    ASSERT_TRUE(writeFileAtomically((at / "private.json").string(), "secret", &error)) << error;
    EXPECT_EQ(folder.read("private.json"), "secret");
    struct stat info {};
    ASSERT_EQ(::stat((at / "private.json").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    if (root) {
        EXPECT_EQ(info.st_uid, 4321u);
        EXPECT_EQ(info.st_gid, 8765u);
    }
}

// A writer killed between naming its file and renaming it leaves the hidden name: the next
// write into the folder removes it once its writer is gone, and only then. Names that are
// not ours, links and the files of running writers stay.
TEST_P(AtomicFiles, RemoveTheLeftoversOfWritersThatNoLongerRun) {
    const pid_t gone = ::fork();
    if (gone == 0) ::_exit(0);
    ASSERT_EQ(::waitpid(gone, nullptr, 0), gone);
    const std::string dead = ".zerin-" + std::to_string(gone) + "-";
    const std::string alive = ".zerin-" + std::to_string(::getpid()) + "-";
    for (const std::string& name : std::vector<std::string>{
             dead + "aB3xY9", alive + "aB3xY9", dead + "abc", dead + "abcdefg", ".zerin-aB3xY9"})
        std::ofstream(folder.path / name) << "left over";
    std::ofstream(folder.path / "kept") << "kept";
    fs::create_symlink("kept", folder.path / (dead + "link00"));
    fs::create_directory(folder.path / (dead + "fold00"));

    AtomicFile file(GetParam());
    ASSERT_TRUE(file.open((folder.path / "out.txt").string(), &error)) << error;
    if (GetParam() == AtomicFile::Kind::named) { // the hidden name says who writes it
        std::size_t ours = 0;
        for (const std::string& name : folder.names())
            ours += name.rfind(alive, 0) == 0 && name != alive + "aB3xY9";
        EXPECT_EQ(ours, 1u);
    }
    file.write("new", 3);
    ASSERT_TRUE(file.commit(&error)) << error;
    EXPECT_EQ(
        folder.names(),
        (std::set<std::string>{"out.txt", "kept", alive + "aB3xY9", dead + "abc", dead + "abcdefg",
                               ".zerin-aB3xY9", dead + "link00", dead + "fold00"}));
    EXPECT_EQ(folder.read("kept"), "kept");
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
