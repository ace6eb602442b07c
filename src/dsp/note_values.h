#pragma once

// The note values a synced delay snaps to: 1/64 to four whole notes, straight, dotted and
// triplet, and which of them lies nearest a delay at a tempo.

#include "dsp/curve.h"

#include <cstdint>
#include <string>

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

// "1/8", "1/8 dotted", "1/4 triplet", "2/1": how the editor names a note value.
std::string noteValueName(const NoteValue& note);

// "C4", "F#-1": a MIDI note (any integer) as musicians name it, middle C (60) as C4.
std::string midiNoteName(long note);

// The index of the note value nearest `ms` at `bpm` (first among equals) of those no longer
// than `longestMs`; the shortest when none is that short. `bpm` must be positive.
int nearestNoteValue(float ms, double bpm, float longestMs) noexcept;

// A delay curve as a synced delay hears it: each point's value moved to the nearest note value
// at `bpm` no longer than `longestMs` (the delay range's). The kernel and the editor's
// drawing share it.
void snapToNotes(CurveData& curve, double bpm, float longestMs) noexcept;

} // namespace zerin
