#pragma once

// The note values a synced delay snaps to: 1/64 to four whole notes, straight, dotted and
// triplet, and which of them lies nearest a delay at a tempo.

#include <cstdint>

namespace zerin {

enum class NoteFeel : std::uint8_t { straight, dotted, triplet };

struct NoteValue {
    int numerator;   // 1, or 2 and 4 for two and four whole notes
    int denominator; // 1, 2, 4, ... 64
    NoteFeel feel;

    // Length in quarter notes (beats).
    constexpr double beats() const {
        const double straight = 4.0 * numerator / denominator;
        return feel == NoteFeel::dotted    ? straight * 1.5
               : feel == NoteFeel::triplet ? straight * 2.0 / 3.0
                                           : straight;
    }
    constexpr double ms(double bpm) const { return beats() * 60000.0 / bpm; }
};

inline constexpr int kNoteValueCount = 27; // nine lengths, three feels each

// Every note value, from the shortest length up, each length as triplet, straight, dotted.
const NoteValue* noteValues() noexcept;

// The index of the note value nearest `ms` at `bpm` (first among equals) of those no longer
// than `longestMs`; the shortest when none is that short. `bpm` must be positive.
int nearestNoteValue(float ms, double bpm, float longestMs) noexcept;

} // namespace zerin
