#pragma once

// What the unit hands its editor to draw: one value per FFT bin of the audio it heard, with
// the rate that audio ran at, so the editor puts each bin at the frequency the kernel gives
// it whatever the rate, and a number that tells frames apart. Every way the editor reaches a
// unit (in the same process, through LV2 messages) delivers this one type.

#include "dsp/constants.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <vector>

namespace zerin {

// What the values of a frame are. Each kind has its own scale; the editor draws each its way.
enum class DisplayFrameKind : std::uint8_t {
    classification, // channel 0's ratings, 0 transient .. 1 tonal
    levels,         // four rows of a value per bin, dBFS: input, output, input peak, output peak
};

inline constexpr DisplayFrameKind kDisplayFrameKinds[] = {DisplayFrameKind::classification,
                                                          DisplayFrameKind::levels};
inline constexpr std::size_t kDisplayFrameKindCount = std::size(kDisplayFrameKinds);

// How many rows of a value per bin a frame of `kind` holds.
constexpr std::size_t rowsOf(DisplayFrameKind kind) noexcept {
    return kind == DisplayFrameKind::levels ? 4 : 1;
}

// The rows of the largest kind: what a buffer for a frame of any kind holds.
constexpr std::size_t mostFrameRows() noexcept {
    std::size_t most = 0;
    for (const DisplayFrameKind kind : kDisplayFrameKinds)
        most = rowsOf(kind) > most ? rowsOf(kind) : most;
    return most;
}

// What a frame says of itself besides its values: the rate of the audio they were measured
// in, the frame's number among those the unit made (0: none given), and the size of the
// frames it was measured in. Plain, so the render thread and the plug-in's messages carry it
// without allocating.
struct FrameStamp {
    double sampleRate = 0.0; // Hz
    std::uint64_t sequence = 0;
    std::int32_t fftSize = kFFTSize;
    friend bool operator==(const FrameStamp&, const FrameStamp&) = default;
};

struct DisplayFrame {
    DisplayFrameKind kind = DisplayFrameKind::classification;
    // One value per bin: bin k lies at k * stamp.sampleRate / fftSize Hz, as the kernel
    // analyses it.
    std::vector<float> values;
    // The sequence counts the frames the unit made, from 1; a later frame has a larger
    // number, and a gap says frames were made that never reached the editor.
    FrameStamp stamp;
    int fftSize = kFFTSize;

    friend bool operator==(const DisplayFrame&, const DisplayFrame&) = default;
};

// The rates a frame may give: far beyond any audio interface either way, yet ones a float
// holds and divides by.
inline constexpr double kMinFrameRate = 1.0;
inline constexpr double kMaxFrameRate = 1e8;

// Whether `frame` can be drawn: values to draw, and a rate and FFT size that place them.
inline bool isPlaceable(const DisplayFrame& frame) noexcept {
    return !frame.values.empty() && frame.fftSize > 0 && frame.stamp.sampleRate >= kMinFrameRate &&
           frame.stamp.sampleRate <= kMaxFrameRate;
}

// The index of the value that describes `hz` in a row: the bin at or below it, within the
// row. Only for a placeable frame.
inline std::size_t binAt(const DisplayFrame& frame, float hz) noexcept {
    const std::size_t perRow = frame.values.size() / rowsOf(frame.kind);
    const float lastBin = static_cast<float>(perRow - 1);
    const float bin =
        hz * static_cast<float>(frame.fftSize) / static_cast<float>(frame.stamp.sampleRate);
    return static_cast<std::size_t>(std::fmin(std::fmax(bin, 0.0f), lastBin));
}

} // namespace zerin
