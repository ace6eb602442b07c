#include "dsp/freeze_notes.h"

namespace zerin {

namespace {

constexpr std::uint8_t kNoteOff = 0x80;
constexpr std::uint8_t kNoteOn = 0x90;
constexpr std::uint8_t kControlChange = 0xB0;
constexpr std::uint8_t kAllSoundOff = 120;
constexpr std::uint8_t kAllNotesOff = 123;

} // namespace

void FreezeNotes::take(const std::uint8_t* data, std::size_t size) noexcept {
    // A message starts with its status byte and carries two data bytes below 128. One without
    // a status (running status, which events never need) or naming no note is dropped whole;
    // an off with a broken velocity still lets its note go, so that it cannot stick.
    if (data == nullptr || size < 3) return;
    const std::uint8_t status = data[0] & 0xF0;
    const std::uint8_t first = data[1];
    std::uint8_t second = data[2];
    if ((data[0] & 0x80) == 0 || first > 127) return;
    if (status == kNoteOff) second = 0;
    if (second > 127) return;
    const std::uint64_t bit = std::uint64_t{1} << (first & 63);
    std::uint64_t& word = mDown[first >> 6];
    if (status == kNoteOn && second > 0) {
        word |= bit;
    } else if (status == kNoteOff || status == kNoteOn) { // note on at velocity 0 is an off
        word &= ~bit;
    } else if (status == kControlChange && (first == kAllNotesOff || first == kAllSoundOff)) {
        releaseAll();
    }
}

bool FreezeNotes::held(int note) const noexcept {
    if (note < 0) return (mDown[0] | mDown[1]) != 0;
    if (note > 127) return false;
    return ((mDown[note >> 6] >> (note & 63)) & 1u) != 0;
}

} // namespace zerin
