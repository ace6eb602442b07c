#pragma once

// Zerin's preference store: one JSON object per user at
// $ZERIN_CONFIG_DIR/preferences.json, else $XDG_CONFIG_HOME/zerin/preferences.json, else
// ~/.config/zerin/preferences.json. Keys not ours are kept as they are.
//
// Nothing stored is ever overwritten unread. When the file cannot be read (not JSON, not an
// object, over 16 MiB) or a value in it is damaged (say a user preset this version cannot
// decode), the next write first keeps the file exactly as it was beside the store, as
//     preferences.unreadable-<UTC time, e.g. 20250314T101500Z>.json
// and says so once on stderr, naming the copy. To get its contents back: close every Zerin
// editor, then either copy the kept file over preferences.json (presets saved since the copy
// are then lost; a newer Zerin that wrote it can read it again), or repair the entries in it
// and move them into the "VeskUserPresets" array of preferences.json with a text editor.
// Damaged presets are kept out of the live list; the readable ones stay in it.

#include "presets/store_result.h"

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>

namespace zerin {

// What the store's file looked like at one moment: enough to tell that some writer replaced it
// since. Every write renames a new file over the old one, so the inode changes with the
// times; a file that is not there has no stamp.
struct StoreStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modified = 0; // ns since the epoch
    std::int64_t changed = 0;  // ns since the epoch (the inode's change time)

    friend bool operator==(const StoreStamp&, const StoreStamp&) = default;
};

class PreferenceStore {
public:
    // The folder named above; empty when no home folder can be found.
    static std::filesystem::path defaultDirectory();

    PreferenceStore() : PreferenceStore(defaultDirectory()) {}
    explicit PreferenceStore(std::filesystem::path directory);

    const std::filesystem::path& file() const { return mFile; }

    // Shows `reader` the value under `key`, or nullptr when there is none or the file cannot
    // be read. Takes no lock: writes replace the file by rename, so a reader sees the old
    // or the new document, whole. Creates nothing. The result fails when the file exists
    // but cannot be read or decoded.
    using Reader = std::function<void(const nlohmann::ordered_json* value)>;
    StoreResult read(std::string_view key, const Reader& reader) const;

    // One change to the value under `key`: with every other writer (other threads, other
    // editor processes) shut out by a lock beside the store, re-reads the file, lets
    // `editor` change the value as it is now (null when absent) and writes the document
    // back atomically. The editor returns why the value it found is damaged, if it is;
    // the file is then kept aside first, as is an unreadable file. Nothing is written when
    // the copy or the encoding fails.
    using Editor = std::function<std::string(nlohmann::ordered_json& value)>;
    StoreResult update(std::string_view key, const Editor& editor);

    // The file as it stands now; nullopt when it is missing (or there is no folder). Take it
    // before a read: a stamp that still matches later means nobody has written since.
    std::optional<StoreStamp> stamp() const;

private:
    std::filesystem::path mDirectory;
    std::filesystem::path mFile;
};

} // namespace zerin
