#include "editor/canvas_input.h"

#include "dsp/note_values.h"
#include "editor/curve_geometry.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace zerin {

std::string formatTooltip(float freq, float delay) {
    return formatTooltip(freq, delay, CurveKind::delay);
}

std::string formatCurveValue(float value, CurveAxis axis, double syncTempo) {
    char text[64];
    if (axis.kind == CurveKind::feedback) {
        std::snprintf(text, sizeof text, "%.0f %%", static_cast<double>(value));
        return text;
    }
    if (!(syncTempo > 0.0)) {
        std::snprintf(text, sizeof text, "%.0f ms", static_cast<double>(value));
        return text;
    }
    const NoteValue& note = noteValues()[nearestNoteValue(value, syncTempo, axis.top)];
    // Whole milliseconds, rounded down as a musician reads 562.5 off a delay chart.
    std::snprintf(text, sizeof text, " | %.0f ms", std::floor(note.ms(syncTempo)));
    return noteValueName(note) + text;
}

std::string formatTooltip(float freq, float value, CurveAxis axis, double syncTempo) {
    char text[32];
    const double f = freq;
    if (freq >= 1000.0f)
        std::snprintf(text, sizeof text, "%.1fk Hz | ", f / 1000.0);
    else
        std::snprintf(text, sizeof text, "%.0f Hz | ", f);
    return text + formatCurveValue(value, axis, syncTempo);
}

std::optional<std::size_t> hitTest(const std::vector<CurveControlPoint>& points, Point location,
                                   Size canvas, CurveAxis axis, const FrequencyView& view) {
    const Rect plot = plotRect(canvas);
    // Half a point of slack for the rounding of the ends of the whole axis.
    constexpr double kEdge = 0.5;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const Point p = screenPoint(points[i], canvas, axis, view);
        if (p.x < plot.x - kEdge || p.x > plot.maxX() + kEdge) continue;
        if (std::hypot(p.x - location.x, p.y - location.y) < kHitRadius) return i;
    }
    return std::nullopt;
}

std::string formatFrequencyNote(float hz) {
    char text[96];
    const double f = hz;
    if (!(f > 0.0) || !std::isfinite(f)) return "-";
    const double midi = 69.0 + 12.0 * std::log2(f / 440.0);
    const auto note = static_cast<long>(std::lround(midi));
    const auto cents = static_cast<long>(std::lround((midi - static_cast<double>(note)) * 100.0));
    const std::string name = midiNoteName(note);
    // A real minus sign, as the musical readouts print it.
    const char* sign = cents < 0 ? "\u2212" : "+";
    if (f >= 1000.0)
        std::snprintf(text, sizeof text, "%.2f kHz \u00b7 %s %s%ld ct", f / 1000.0, name.c_str(),
                      sign, std::labs(cents));
    else
        std::snprintf(text, sizeof text, "%.0f Hz \u00b7 %s %s%ld ct", f, name.c_str(), sign,
                      std::labs(cents));
    return text;
}

namespace {

std::string decibels(float db) {
    if (!(db > -120.0f)) return "\u2212\u221e";
    char text[32];
    const long whole = std::lround(db);
    std::snprintf(text, sizeof text, "%s%ld", whole < 0 ? "\u2212" : "", std::labs(whole));
    return text;
}

} // namespace

std::string formatReadout(float hz, const std::optional<HeardAt>& heard, CurveAxis delayAxis,
                          double syncTempo, const std::optional<HeardLevels>& levels) {
    std::string text = formatFrequencyNote(hz);
    if (heard) {
        char feedback[32];
        std::snprintf(feedback, sizeof feedback, " | fb %.0f %%",
                      static_cast<double>(heard->feedbackPercent));
        const std::string delay =
            heard->sidesMs ? "L " + formatCurveValue(heard->sidesMs->first, delayAxis) +
                                 " \u00b7 R " + formatCurveValue(heard->sidesMs->second, delayAxis)
                           : formatCurveValue(heard->delayMs, delayAxis, syncTempo);
        text += " | " + delay + feedback;
    }
    if (levels)
        text += " | in " + decibels(levels->inputDb) + " \u00b7 out " + decibels(levels->outputDb) +
                " dB";
    return text;
}

bool isInDeleteBand(Point location, Size canvas) {
    return location.y > canvas.height - kDeleteBandHeight;
}

// --- typed values ---

namespace {

// `value` with at most `decimals` decimals, without trailing zeros: "1.25", "440", "61.7".
std::string trimmedNumber(double value, int decimals) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    std::string number(text);
    if (number.find('.') != std::string::npos) {
        while (number.back() == '0')
            number.pop_back();
        if (number.back() == '.') number.pop_back();
    }
    return number;
}

// Lower case, without spaces, a comma as a decimal point.
std::string normalised(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == ' ' || c == '\t') continue;
        if (c == ',')
            out.push_back('.');
        else if (c >= 'A' && c <= 'Z')
            out.push_back(static_cast<char>(c - 'A' + 'a'));
        else
            out.push_back(c);
    }
    return out;
}

// The number `text` starts with, and what follows it in `rest`.
std::optional<double> leadingNumber(std::string_view text, std::string_view& rest) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || !std::isfinite(value)) return std::nullopt;
    rest = text.substr(static_cast<std::size_t>(end - text.data()));
    return value;
}

std::optional<long> leadingInteger(std::string_view text, std::string_view& rest) {
    long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc()) return std::nullopt;
    rest = text.substr(static_cast<std::size_t>(end - text.data()));
    return value;
}

// "a4", "c#3", "eb2", "f#-1": a note's frequency, A4 = 440 Hz.
std::optional<double> noteFrequency(std::string_view text) {
    constexpr int kSemitones[7] = {9, 11, 0, 2, 4, 5, 7}; // a b c d e f g above C
    if (text.empty() || text.front() < 'a' || text.front() > 'g') return std::nullopt;
    int semitone = kSemitones[text.front() - 'a'];
    text.remove_prefix(1);
    if (!text.empty() && (text.front() == '#' || text.front() == 'b')) {
        semitone += text.front() == '#' ? 1 : -1;
        text.remove_prefix(1);
    }
    std::string_view rest;
    const std::optional<long> octave = leadingInteger(text, rest);
    if (!octave || !rest.empty() || *octave < -2 || *octave > 10) return std::nullopt;
    const double midi = 12.0 * static_cast<double>(*octave + 1) + semitone;
    return 440.0 * std::exp2((midi - 69.0) / 12.0);
}

// "1/8", "1/8dotted", "1/8d", "1/8.", "1/4triplet", "1/4t": a note value's length in ms at `bpm`.
std::optional<double> noteValueMs(std::string_view text, double bpm) {
    std::string_view rest;
    const std::optional<long> numerator = leadingInteger(text, rest);
    if (!numerator || rest.empty() || rest.front() != '/') return std::nullopt;
    const std::optional<long> denominator = leadingInteger(rest.substr(1), rest);
    if (!denominator || *numerator <= 0 || *denominator <= 0) return std::nullopt;
    double beats = 4.0 * static_cast<double>(*numerator) / static_cast<double>(*denominator);
    if (rest == "dotted" || rest == "d" || rest == ".")
        beats *= 1.5;
    else if (rest == "triplet" || rest == "t")
        beats *= 2.0 / 3.0;
    else if (!rest.empty())
        return std::nullopt;
    return beats * 60000.0 / bpm;
}

float clampedTo(double value, float low, float high) {
    return clampOrLow(static_cast<float>(std::clamp(value, -1e9, 1e9)), low, high);
}

} // namespace

std::string formatFrequencyField(float hz) {
    const double f = hz;
    if (f >= 1000.0) return trimmedNumber(f / 1000.0, 2) + " kHz";
    return trimmedNumber(f, f < 100.0 ? 1 : 0) + " Hz";
}

std::string formatCurveValueField(float value, CurveAxis axis, double syncTempo) {
    if (axis.kind == CurveKind::feedback) return trimmedNumber(value, 0) + " %";
    if (syncTempo > 0.0)
        return noteValueName(noteValues()[nearestNoteValue(value, syncTempo, axis.top)]);
    return trimmedNumber(value, 0) + " ms";
}

std::optional<float> parseFrequency(std::string_view typed) {
    namespace C = ZerinCurveConstants;
    const std::string text = normalised(typed);
    std::optional<double> hz = noteFrequency(text);
    if (!hz) {
        std::string_view rest;
        hz = leadingNumber(text, rest);
        if (!hz) return std::nullopt;
        if (rest == "k" || rest == "khz")
            *hz *= 1000.0;
        else if (!rest.empty() && rest != "hz")
            return std::nullopt;
    }
    return clampedTo(*hz, C::minFreq, C::maxFreq);
}

std::optional<float> parseCurveValue(std::string_view typed, CurveAxis axis, double syncTempo) {
    std::string text = normalised(typed);
    std::string_view rest;
    if (axis.kind == CurveKind::feedback) {
        const std::optional<double> percent = leadingNumber(text, rest);
        if (!percent || !(rest.empty() || rest == "%")) return std::nullopt;
        return clampedTo(*percent, 0.0f, axis.top);
    }
    // What the tooltip shows: the note, then its length.
    if (const std::size_t bar = text.find('|'); bar != std::string::npos) text.resize(bar);
    if (text.find('/') != std::string::npos) {
        if (!(syncTempo > 0.0)) return std::nullopt;
        const std::optional<double> ms = noteValueMs(text, syncTempo);
        if (!ms) return std::nullopt;
        return clampedTo(*ms, 0.0f, axis.top);
    }
    std::optional<double> ms = leadingNumber(text, rest);
    if (!ms) return std::nullopt;
    if (rest == "s" || rest == "sec")
        *ms *= 1000.0;
    else if (!rest.empty() && rest != "ms")
        return std::nullopt;
    return clampedTo(*ms, 0.0f, axis.top);
}

} // namespace zerin
