#pragma once

// Preset names as every part of Zerin keeps them: well-formed UTF-8 only (so any state that
// holds one encodes as JSON and loads again), at most kMaxPresetNameBytes long, never cut
// inside a character. The audio unit, the plug-in's DSP and its editor all clean names
// where they come in with the one function here; it allocates nothing, so the plug-in can
// use it on the audio thread.

#include <cstddef>
#include <string>
#include <string_view>

namespace zerin {

// The longest preset name kept, in bytes (terminator excluded).
inline constexpr std::size_t kMaxPresetNameBytes = 256;

// Copies the well-formed UTF-8 characters of `name` into `out` (kMaxPresetNameBytes + 1
// bytes) and terminates it: stray, overlong and surrogate bytes are dropped, and copying
// stops before the first character that would not fit. Returns the length written.
std::size_t cleanPresetName(std::string_view name, char* out) noexcept;

// The same, as a string.
inline std::string boundedPresetName(std::string_view name) {
    char kept[kMaxPresetNameBytes + 1];
    const std::size_t length = cleanPresetName(name, kept);
    return {kept, length};
}

} // namespace zerin
