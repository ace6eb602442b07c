#pragma once

// Port indices of the two plug-ins, made from the parameter table: audio, then one control
// per parameter of the first release in address order, then the host's bypass switch, the
// latency report and the two message ports, then one control per later parameter in address
// order. Addresses never change and later ports only ever come at the end, so no index a
// session or a host has kept ever moves.

#include "dsp/parameters.h"

#include <cstdint>

namespace zerin::lv2 {

struct PortLayout {
    int channels;
    int audioIn;      // first audio input
    int audioOut;     // first audio output
    int firstControl; // the first release's parameter a lives at firstControl + a
    int enabled;
    int latency;
    int control;      // atom input: patch messages, time:Position
    int notify;       // atom output: patch messages to the UI
    int laterControl; // a later parameter a lives at laterControl + a - kFirstReleaseCount
    int count;

    // The port of parameter address `a`.
    constexpr int controlPort(int a) const {
        return a < parameter::kFirstReleaseCount ? firstControl + a
                                                 : laterControl + a - parameter::kFirstReleaseCount;
    }
    // The parameter address of port `index`, or -1 if it is not a parameter's.
    constexpr int addressOfPort(int index) const {
        if (index >= firstControl && index < firstControl + parameter::kFirstReleaseCount)
            return index - firstControl;
        if (index >= laterControl && index < count)
            return index - laterControl + parameter::kFirstReleaseCount;
        return -1;
    }
};

constexpr PortLayout portLayout(int channels) {
    const int first = 2 * channels;
    const int enabled = first + parameter::kFirstReleaseCount;
    const int later = enabled + 4;
    return {channels,    0,
            channels,    first,
            enabled,     enabled + 1,
            enabled + 2, enabled + 3,
            later,       later + parameter::kCount - parameter::kFirstReleaseCount};
}

inline constexpr PortLayout kStereoPorts = portLayout(2);
inline constexpr PortLayout kMonoPorts = portLayout(1);

// The latency the plug-in reports at the default frame size, in samples: the wet path's lag,
// which the dry path shares. The port reports the size running: the size less one.
inline constexpr float kLatencySamples = 2047.0f;

// Room the notify port needs for one cycle's messages: a classification vector (up to 4097
// floats at the largest frame size) and the analyser's levels (up to 16388 bytes), each with
// its rate and number, and the curve and name replies, with headers.
inline constexpr std::uint32_t kNotifyBufferBytes = 65536;

} // namespace zerin::lv2
