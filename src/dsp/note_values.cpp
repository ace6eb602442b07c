#include "dsp/note_values.h"

#include <cmath>

namespace zerin {

namespace {

constexpr NoteValue lengthOf(int numerator, int denominator, NoteFeel feel) {
    return {numerator, denominator, feel};
}

constexpr NoteValue kValues[kNoteValueCount] = {
#define ZERIN_LENGTH(n, d)                                                                         \
    lengthOf(n, d, NoteFeel::triplet), lengthOf(n, d, NoteFeel::straight),                         \
        lengthOf(n, d, NoteFeel::dotted)
    ZERIN_LENGTH(1, 64), ZERIN_LENGTH(1, 32), ZERIN_LENGTH(1, 16),
    ZERIN_LENGTH(1, 8),  ZERIN_LENGTH(1, 4),  ZERIN_LENGTH(1, 2),
    ZERIN_LENGTH(1, 1),  ZERIN_LENGTH(2, 1),  ZERIN_LENGTH(4, 1),
#undef ZERIN_LENGTH
};

} // namespace

const NoteValue* noteValues() noexcept {
    return kValues;
}

std::string midiNoteName(long note) {
    static constexpr const char* kNames[] = {"C",  "C#", "D",  "D#", "E",  "F",
                                             "F#", "G",  "G#", "A",  "A#", "B"};
    const long octave = (note >= 0 ? note / 12 : (note - 11) / 12) - 1;
    return std::string(kNames[((note % 12) + 12) % 12]) + std::to_string(octave);
}

std::string noteValueName(const NoteValue& note) {
    std::string name = std::to_string(note.numerator) + "/" + std::to_string(note.denominator);
    if (note.feel == NoteFeel::dotted) name += " dotted";
    if (note.feel == NoteFeel::triplet) name += " triplet";
    return name;
}

int nearestNoteValue(float ms, double bpm, float longestMs) noexcept {
    int best = 0;
    double bestDistance = INFINITY;
    for (int i = 0; i < kNoteValueCount; ++i) {
        const double length = kValues[i].ms(bpm);
        if (length > longestMs && i > 0) continue;
        const double distance = std::fabs(length - static_cast<double>(ms));
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}

void snapToNotes(CurveData& curve, double bpm, float longestMs) noexcept {
    for (int i = 0; i < curve.count; ++i) {
        const float ms = curve.points[i].value;
        const int note = nearestNoteValue(ms, bpm, longestMs);
        curve.points[i].value = static_cast<float>(noteValues()[note].ms(bpm));
    }
}

} // namespace zerin
