#pragma once

// Which MIDI notes are down, for a freeze played from a keyboard: a held note holds the
// freeze, the last one let go releases it. Whole MIDI messages come in one at a time (as LV2
// events and JACK MIDI carry them); anything that is not a note on, a note off or an "all
// notes off" is ignored, so a flood of SysEx, clock or data bytes costs a test each and
// changes nothing. Render thread; never allocates.

#include <cstddef>
#include <cstdint>

namespace zerin {

class FreezeNotes {
public:
    // One message: its bytes, status first. Any channel counts.
    void take(const std::uint8_t* data, std::size_t size) noexcept;
    // Whether a note that counts is down: any note for `note` < 0, else that note number.
    bool held(int note) const noexcept;
    // Lets every note go, as "all notes off" does.
    void releaseAll() noexcept { mDown[0] = mDown[1] = 0; }

private:
    std::uint64_t mDown[2] = {0, 0}; // bit n: note n is down
};

} // namespace zerin
