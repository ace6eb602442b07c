#include "platform/json/preset_name.h"

#include <cstring>

namespace zerin {

namespace {

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0u) == 0x80u;
}

// The length of the well-formed UTF-8 sequence starting at `at`, 0 when there is none (stray
// continuation bytes, overlong forms, surrogates, code points beyond U+10FFFF).
std::size_t sequenceLength(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80u) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80u, high = 0xBFu; // the range of the second byte
    if (lead >= 0xC2u && lead <= 0xDFu) {
        length = 2;
    } else if (lead >= 0xE0u && lead <= 0xEFu) {
        length = 3;
        if (lead == 0xE0u) low = 0xA0u;
        if (lead == 0xEDu) high = 0x9Fu;
    } else if (lead >= 0xF0u && lead <= 0xF4u) {
        length = 4;
        if (lead == 0xF0u) low = 0x90u;
        if (lead == 0xF4u) high = 0x8Fu;
    } else {
        return 0;
    }
    if (at + length > text.size() || byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (!isContinuation(byte(i))) return 0;
    return length;
}

} // namespace

std::size_t cleanPresetName(std::string_view name, char* out) noexcept {
    std::size_t kept = 0;
    for (std::size_t at = 0; at < name.size();) {
        const std::size_t length = sequenceLength(name, at);
        if (length == 0) {
            ++at;
            continue;
        }
        if (kept + length > kMaxPresetNameBytes) break;
        std::memcpy(out + kept, name.data() + at, length);
        kept += length;
        at += length;
    }
    out[kept] = '\0';
    return kept;
}

} // namespace zerin
