#pragma once

// Port indices of the two plug-ins, made from the parameter table: audio, then one control
// per parameter in address order (addresses never change, so neither do these indices), then
// the host's bypass switch, the latency report and the two message ports.

#include "dsp/parameters.h"

#include <cstdint>

namespace zerin::lv2 {

struct PortLayout {
    int channels;
    int audioIn;      // first audio input
    int audioOut;     // first audio output
    int firstControl; // parameter address a lives at firstControl + a
    int enabled;
    int latency;
    int control; // atom input: patch messages, time:Position
    int notify;  // atom output: patch messages to the UI
    int count;
};

constexpr PortLayout portLayout(int channels) {
    const int first = 2 * channels;
    const int enabled = first + parameter::kCount;
    return {channels,    0,           channels,    first,      enabled,
            enabled + 1, enabled + 2, enabled + 3, enabled + 4};
}

inline constexpr PortLayout kStereoPorts = portLayout(2);
inline constexpr PortLayout kMonoPorts = portLayout(1);

// The latency the plug-in reports, in samples: the wet path's lag, which the dry path shares.
inline constexpr float kLatencySamples = 2047.0f;

// Room the notify port needs for one cycle's messages: a classification vector (1025 floats)
// with its rate and number, and the curve and name replies, with headers.
inline constexpr std::uint32_t kNotifyBufferBytes = 16384;

} // namespace zerin::lv2
