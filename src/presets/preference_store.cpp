#include "presets/preference_store.h"

#include "platform/files/kept_aside.h"
#include "presets/json_text.h"
#include "presets/store_files.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace zerin {
namespace {

namespace fs = std::filesystem;

std::optional<fs::path> environmentPath(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    return fs::path(value);
}

std::optional<fs::path> homeDirectory() {
    if (auto home = environmentPath("HOME")) return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir && *found->pw_dir)
        return fs::path(found->pw_dir);
    return std::nullopt;
}

enum class DocumentState { missing, read, damaged, failed };

struct Document {
    DocumentState state = DocumentState::missing;
    nlohmann::ordered_json json = nlohmann::ordered_json::object();
    std::string problem; // when damaged or failed: names the file
};

Document loadDocument(const fs::path& file) {
    const auto contents = store_files::readBounded(file, kMaxJsonBytes);
    switch (contents.status) {
        case store_files::ReadStatus::missing:
            return {};
        case store_files::ReadStatus::failed:
            return {DocumentState::failed, nlohmann::ordered_json::object(), contents.error};
        case store_files::ReadStatus::tooLarge:
            return {DocumentState::damaged, nlohmann::ordered_json::object(),
                    file.string() + " is larger than 16 MiB"};
        case store_files::ReadStatus::read:
            break;
    }
    // An empty file holds nothing to lose: a crash on a file system that does not order the
    // data before the rename can leave one.
    if (contents.bytes.empty()) return {};
    std::string error;
    auto parsed = parseUntrustedOrderedJson(contents.bytes, &error);
    if (!parsed)
        return {DocumentState::damaged, nlohmann::ordered_json::object(),
                file.string() + " cannot be read: " + error};
    if (!parsed->is_object())
        return {DocumentState::damaged, nlohmann::ordered_json::object(),
                file.string() + " cannot be read: not a JSON object"};
    return {DocumentState::read, std::move(*parsed), {}};
}

std::int64_t nanoseconds(const timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

} // namespace

fs::path PreferenceStore::defaultDirectory() {
    if (auto folder = environmentPath("ZERIN_CONFIG_DIR")) return *folder;
    // The XDG rules ignore a relative XDG_CONFIG_HOME.
    if (auto config = environmentPath("XDG_CONFIG_HOME"); config && config->is_absolute())
        return *config / "zerin";
    if (auto home = homeDirectory()) return *home / ".config" / "zerin";
    return {};
}

PreferenceStore::PreferenceStore(fs::path directory)
    : mDirectory(std::move(directory)), mFile(mDirectory / "preferences.json") {}

StoreResult PreferenceStore::read(std::string_view key, const Reader& reader) const {
    if (mDirectory.empty()) {
        reader(nullptr);
        return StoreResult::success();
    }
    const Document document = loadDocument(mFile);
    const auto value = document.json.find(std::string(key));
    reader(value == document.json.end() ? nullptr : &*value);
    if (document.state == DocumentState::failed) return StoreResult::failure(document.problem);
    if (document.state == DocumentState::damaged)
        return StoreResult::failure(document.problem + "; it will be kept aside before the store "
                                                       "is next written");
    return StoreResult::success();
}

StoreResult PreferenceStore::update(std::string_view key, const Editor& editor) {
    if (mDirectory.empty())
        return StoreResult::failure(
            "no folder for the preference store: set HOME, XDG_CONFIG_HOME or ZERIN_CONFIG_DIR");
    std::error_code ec;
    fs::create_directories(mDirectory, ec);
    if (ec)
        return StoreResult::failure("cannot write " + mFile.string() + ": cannot create " +
                                    mDirectory.string() + ": " + ec.message());

    std::string error;
    const auto lock = store_files::Lock::acquire(mFile.string() + ".lock", error);
    if (!lock) return StoreResult::failure(error);
    store_files::removeStaleTemporaries(mFile);

    Document document = loadDocument(mFile);
    // A file we could not read at all is not ours to replace.
    if (document.state == DocumentState::failed) return StoreResult::failure(document.problem);

    std::string damage = editor(document.json[std::string(key)]);
    if (document.state == DocumentState::damaged) damage = document.problem;

    const auto text = json_text::dump(document.json, error);
    if (!text) return StoreResult::failure("cannot encode " + mFile.string() + ": " + error);

    if (!damage.empty()) {
        const auto copy = keepAside(mFile, "unreadable", error);
        if (!copy) return StoreResult::failure(error);
        std::cerr << "zerin: " << damage << "; kept the file as it was at " << copy->string()
                  << '\n';
    }
    return store_files::replaceAtomically(mFile, *text + '\n');
}

std::optional<StoreStamp> PreferenceStore::stamp() const {
    struct stat info {};
    if (mDirectory.empty() || ::stat(mFile.c_str(), &info) != 0) return std::nullopt;
    return StoreStamp{static_cast<std::uint64_t>(info.st_dev),
                      static_cast<std::uint64_t>(info.st_ino),
                      static_cast<std::int64_t>(info.st_size), nanoseconds(info.st_mtim),
                      nanoseconds(info.st_ctim)};
}

} // namespace zerin
