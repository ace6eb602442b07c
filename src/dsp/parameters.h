#pragma once

// The kernel's parameters: their addresses, which hosts keep in sessions and automation for
// ever, and the range and default of each value in host units (dB, percent, Hz, 0/1, mode
// index). The host-facing table (identifiers, names, units, groups) is built on these, and
// so are the plug-in's ports: nothing here is written a second time anywhere.

#include <cstdint>

namespace zerin::parameter {

enum Address : std::uint64_t {
    inputGain = 0,
    outputGain = 1,
    dryWet = 2,
    feedback = 3,
    lfoRate = 4,
    lfoDepth = 5,
    tempoSync = 6,
    scatterSpeed = 7,
    mode = 8,
    sourceSensitivity = 9,
    // Added with the curve set; hosts that saved sessions before it know only the ten above.
    morph = 10,
    curveScale = 11,
    curveShift = 12,
    delaySync = 13,
    // Added with the smooth freeze.
    freezeStyle = 14,
    // Added with the playable freeze.
    freeze = 15,
    freezeFade = 16,
    freezeNote = 17,
    // What the unit tells its editor, read only: outputs of the plug-in.
    noteHold = 18,
    tempo = 19,
    // Added with delays as long as 10 s.
    delayRange = 20,
    // Added with the frame size you choose.
    fftSize = 21,
    // Added with stereo width and listening to what Source spares.
    stereoSpread = 22,
    pingPong = 23,
    listen = 24,
};
inline constexpr int kCount = 25;
// The parameters of the first release, whose plug-in ports come before the host's switches.
inline constexpr int kFirstReleaseCount = 10;

// How the kernel reads a value in host units.
enum class Scale : std::uint8_t {
    plain,    // as it stands (Hz, ms, semitones)
    percent,  // as a fraction: 50 % is 0.5
    decibels, // as a linear gain
    toggle,   // on from 0.5 up
    choice,   // a whole number: the nearest one, halves away from zero
};

struct Range {
    float min;
    float max;
    float defaultValue;
    Scale scale;
    // What the unit reports rather than takes: never set, saved or automated.
    bool output = false;
};

// Indexed by address.
inline constexpr Range kRanges[kCount] = {
    {-24.0f, 12.0f, 0.0f, Scale::decibels},      // inputGain
    {-24.0f, 12.0f, 0.0f, Scale::decibels},      // outputGain
    {0.0f, 100.0f, 50.0f, Scale::percent},       // dryWet
    {0.0f, 100.0f, 30.0f, Scale::percent},       // feedback
    {0.01f, 20.0f, 1.0f, Scale::plain},          // lfoRate, Hz
    {0.0f, 100.0f, 20.0f, Scale::percent},       // lfoDepth
    {0.0f, 1.0f, 0.0f, Scale::toggle},           // tempoSync
    {0.0f, 100.0f, 50.0f, Scale::percent},       // scatterSpeed
    {0.0f, 2.0f, 0.0f, Scale::choice},           // mode: a SpectralMode
    {0.0f, 100.0f, 0.0f, Scale::percent},        // sourceSensitivity
    {0.0f, 100.0f, 0.0f, Scale::percent},        // morph, from slot A to slot B
    {0.0f, 200.0f, 100.0f, Scale::percent},      // curveScale, of every delay
    {-24.0f, 24.0f, 0.0f, Scale::plain},         // curveShift, semitones
    {0.0f, 1.0f, 0.0f, Scale::toggle},           // delaySync
    {0.0f, 1.0f, 0.0f, Scale::choice},           // freezeStyle: classic, smooth
    {0.0f, 1.0f, 0.0f, Scale::toggle},           // freeze: hold the input spectrum
    {0.0f, 2000.0f, 50.0f, Scale::plain},        // freezeFade, ms
    {-1.0f, 127.0f, -1.0f, Scale::choice},       // freezeNote: -1 any note, else the one that holds
    {0.0f, 1.0f, 0.0f, Scale::toggle, true},     // noteHold: notes hold the freeze now
    {1.0f, 1000.0f, 120.0f, Scale::plain, true}, // tempo, BPM: what synced delays and LFO follow
    {0.0f, 1.0f, 0.0f, Scale::choice},           // delayRange: the longest delay, 2 s or 10 s
    {0.0f, 4.0f, 2.0f, Scale::choice},           // fftSize: 512, 1024, 2048, 4096, 8192
    {0.0f, 100.0f, 0.0f, Scale::percent},        // stereoSpread: left shorter, right longer
    {0.0f, 1.0f, 0.0f, Scale::toggle},           // pingPong: feedback crosses to the other side
    {0.0f, 2.0f, 0.0f, Scale::choice},           // listen: a ListenMode
};

constexpr bool isOutput(int a) {
    return kRanges[a].output;
}

constexpr float defaultValue(Address a) {
    return kRanges[a].defaultValue;
}

} // namespace zerin::parameter
