#pragma once

#include <string>
#include <utility>

namespace zerin {

// Outcome of a preference-store operation. The editor may ignore it (its storage failures
// stay silent to the user); the command line prints `message`, which names the file and
// what went wrong.
struct StoreResult {
    bool ok = true;
    std::string message;

    static StoreResult success() { return {}; }
    static StoreResult failure(std::string message) { return {false, std::move(message)}; }
    explicit operator bool() const { return ok; }
};

} // namespace zerin
