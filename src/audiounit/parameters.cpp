#include "audiounit/parameters.h"

#include "dsp/constants.h"
#include "dsp/curve.h"
#include "dsp/modes.h"
#include "dsp/note_values.h"
#include "dsp/parameters.h"

#include <cmath>
#include <cstdio>
#include <iterator>
#include <span>
#include <string_view>

namespace zerin {

namespace {

constexpr AudioUnitParameterOptions kReadWrite =
    kAudioUnitParameterFlag_IsReadable | kAudioUnitParameterFlag_IsWritable;

// What the host shows of each kernel parameter; ranges and defaults come from the kernel's
// own table, so the two cannot drift apart.
struct Definition {
    parameter::Address address;
    std::string_view identifier; // stable: saved states and sessions use it
    std::string_view name;
    AudioUnitParameterUnit units;
};

struct GroupDefinition {
    std::string_view identifier;
    std::string_view name;
    std::span<const Definition> parameters;
};

constexpr auto dB = kAudioUnitParameterUnit_Decibels;
constexpr auto percent = kAudioUnitParameterUnit_Percent;
constexpr Definition kInOut[] = {{parameter::inputGain, "inputGain", "Input", dB},
                                 {parameter::outputGain, "outputGain", "Output", dB}};
constexpr Definition kMix[] = {
    {parameter::dryWet, "dryWet", "Mix", percent},
    {parameter::feedback, "feedback", "Feedback", percent},
    {parameter::sourceSensitivity, "sourceSensitivity", "Source", percent},
    {parameter::fftSize, "fftSize", "FFT Size", kAudioUnitParameterUnit_Indexed},
    {parameter::listen, "listen", "Listen", kAudioUnitParameterUnit_Indexed}};
constexpr Definition kStereo[] = {
    {parameter::stereoSpread, "stereoSpread", "Stereo Spread", percent},
    {parameter::pingPong, "pingPong", "Ping Pong", kAudioUnitParameterUnit_Boolean}};
constexpr Definition kModulation[] = {
    {parameter::lfoRate, "lfoRate", "LFO Rate", kAudioUnitParameterUnit_Hertz},
    {parameter::lfoDepth, "lfoDepth", "LFO Depth", percent},
    {parameter::tempoSync, "tempoSync", "Tempo Sync", kAudioUnitParameterUnit_Boolean}};
constexpr Definition kScatter[] = {
    {parameter::scatterSpeed, "scatterSpeed", "Scatter Speed", percent},
    {parameter::mode, "mode", "Mode", kAudioUnitParameterUnit_Indexed},
    {parameter::freezeStyle, "freezeStyle", "Freeze Style", kAudioUnitParameterUnit_Indexed}};
constexpr Definition kCurve[] = {
    {parameter::morph, "morph", "Morph", percent},
    {parameter::curveScale, "curveScale", "Curve Scale", percent},
    {parameter::curveShift, "curveShift", "Curve Shift", kAudioUnitParameterUnit_RelativeSemiTones},
    {parameter::delaySync, "delaySync", "Delay Sync", kAudioUnitParameterUnit_Boolean},
    {parameter::delayRange, "delayRange", "Delay Range", kAudioUnitParameterUnit_Indexed}};
constexpr Definition kFreeze[] = {
    {parameter::freeze, "freeze", "Freeze", kAudioUnitParameterUnit_Boolean},
    {parameter::freezeFade, "freezeFade", "Freeze Fade", kAudioUnitParameterUnit_Milliseconds},
    {parameter::freezeNote, "freezeNote", "Freeze Note", kAudioUnitParameterUnit_MIDINoteNumber}};
// What the unit reports: read only, never saved.
constexpr Definition kReports[] = {
    {parameter::noteHold, "noteHold", "Note Hold", kAudioUnitParameterUnit_Boolean},
    {parameter::tempo, "tempo", "Tempo", kAudioUnitParameterUnit_BPM}};
constexpr GroupDefinition kGroups[] = {{"io", "I/O", kInOut},
                                       {"mix", "Mix", kMix},
                                       {"stereo", "Stereo", kStereo},
                                       {"modulation", "Modulation", kModulation},
                                       {"scatter", "Scatter", kScatter},
                                       {"curve", "Curve", kCurve},
                                       {"freeze", "Freeze", kFreeze},
                                       {"reports", "Reports", kReports}};
constexpr std::string_view kFreezeStyleNames[] = {"Classic", "Smooth"};
constexpr std::string_view kDelayRangeNames[] = {"2 s", "10 s"};
constexpr std::string_view kFFTSizeNames[] = {"512", "1024", "2048", "4096", "8192"};
constexpr std::string_view kListenNames[] = {"Mix", "Wet", "Spared"};

// Every kernel parameter is shown exactly once.
constexpr bool coversEveryAddressOnce() {
    int seen[parameter::kCount] = {};
    for (const GroupDefinition& g : kGroups)
        for (const Definition& d : g.parameters)
            ++seen[d.address];
    for (int count : seen)
        if (count != 1) return false;
    return true;
}
static_assert(coversEveryAddressOnce(), "the host table must show every kernel parameter once");
static_assert(std::size(kSpectralModeNames) ==
                  static_cast<std::size_t>(parameter::kRanges[parameter::mode].max) + 1,
              "one name per mode");
static_assert(std::size(kFreezeStyleNames) ==
                  static_cast<std::size_t>(parameter::kRanges[parameter::freezeStyle].max) + 1,
              "one name per freeze style");
static_assert(std::size(kDelayRangeNames) == kDelayRangeCount &&
                  kDelayRangeCount ==
                      static_cast<int>(parameter::kRanges[parameter::delayRange].max) + 1,
              "one name per delay range");
static_assert(std::size(kFFTSizeNames) == kFFTSizeCount &&
                  kFFTSizeCount == static_cast<int>(parameter::kRanges[parameter::fftSize].max) + 1,
              "one name per frame size");
static_assert(std::size(kListenNames) ==
                  static_cast<std::size_t>(parameter::kRanges[parameter::listen].max) + 1,
              "one name per way of listening");

ParameterSpec specOf(const Definition& d) {
    const parameter::Range& range = parameter::kRanges[d.address];
    ParameterSpec p;
    p.identifier = std::string(d.identifier);
    p.name = std::string(d.name);
    p.address = d.address;
    p.minValue = range.min;
    p.maxValue = range.max;
    p.defaultValue = range.defaultValue;
    p.units = d.units;
    p.flags = parameter::isOutput(static_cast<int>(d.address)) ? kAudioUnitParameterFlag_IsReadable
                                                               : kReadWrite;
    if (d.address == parameter::mode)
        p.valueStrings =
            std::vector<std::string>(std::begin(kSpectralModeNames), std::end(kSpectralModeNames));
    if (d.address == parameter::freezeStyle)
        p.valueStrings =
            std::vector<std::string>(std::begin(kFreezeStyleNames), std::end(kFreezeStyleNames));
    if (d.address == parameter::delayRange)
        p.valueStrings =
            std::vector<std::string>(std::begin(kDelayRangeNames), std::end(kDelayRangeNames));
    if (d.address == parameter::fftSize)
        p.valueStrings =
            std::vector<std::string>(std::begin(kFFTSizeNames), std::end(kFFTSizeNames));
    if (d.address == parameter::listen)
        p.valueStrings = std::vector<std::string>(std::begin(kListenNames), std::end(kListenNames));
    return p;
}

ParameterTreeSpec makeTable() {
    ParameterTreeSpec spec;
    for (const GroupDefinition& g : kGroups) {
        ParameterGroupSpec group{std::string(g.identifier), std::string(g.name), {}};
        for (const Definition& d : g.parameters)
            group.children.push_back(NodeSpec{specOf(d)});
        spec.children.push_back(NodeSpec{std::move(group)});
    }
    return spec;
}

void flatten(const std::vector<NodeSpec>& nodes, std::vector<const ParameterSpec*>& out) {
    for (const NodeSpec& n : nodes) {
        if (const auto* p = std::get_if<ParameterSpec>(&n.node))
            out.push_back(p);
        else
            flatten(std::get<ParameterGroupSpec>(n.node).children, out);
    }
}

std::vector<std::shared_ptr<AUParameterNode>> convert(const std::vector<NodeSpec>& nodes) {
    std::vector<std::shared_ptr<AUParameterNode>> out;
    for (const NodeSpec& n : nodes) {
        if (const auto* p = std::get_if<ParameterSpec>(&n.node)) {
            out.push_back(AUParameterTree::createParameter(*p));
        } else {
            const auto& g = std::get<ParameterGroupSpec>(n.node);
            out.push_back(AUParameterTree::createGroup(g.identifier, g.name, convert(g.children)));
        }
    }
    return out;
}

std::string format(const char* pattern, double value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

// A MIDI note as musicians name it, middle C (60) as "C4"; below 0, any note.
std::string noteText(double v) {
    if (v < -0.5) return "Any";
    if (!(v < 127.5)) return format("%.0f", v);
    return midiNoteName(std::lround(v));
}

} // namespace

const ParameterTreeSpec& parameterTreeSpec() {
    static const ParameterTreeSpec spec = makeTable();
    return spec;
}

const std::vector<const ParameterSpec*>& allParameterSpecs() {
    static const std::vector<const ParameterSpec*> all = [] {
        std::vector<const ParameterSpec*> out;
        flatten(parameterTreeSpec().children, out);
        return out;
    }();
    return all;
}

const ParameterSpec* parameterSpec(const std::string& identifier) {
    for (const ParameterSpec* p : allParameterSpecs())
        if (p->identifier == identifier) return p;
    return nullptr;
}

const ParameterSpec* parameterSpec(AUParameterAddress address) {
    for (const ParameterSpec* p : allParameterSpecs())
        if (p->address == address) return p;
    return nullptr;
}

std::shared_ptr<AUParameterTree> buildParameterTree(const ParameterTreeSpec& spec) {
    return AUParameterTree::createTreeWithChildren(convert(spec.children));
}

std::string displayText(AudioUnitParameterUnit unit,
                        const std::optional<std::vector<std::string>>& valueStrings,
                        const AUValue* value) {
    if (value == nullptr) return "-";
    const double v = static_cast<double>(*value) + 0.0; // -0 reads as 0: "+0.0 dB", not "+-0.0 dB"
    switch (unit) {
        case kAudioUnitParameterUnit_Decibels:
            return format(v >= 0.0 ? "+%.1f dB" : "%.1f dB", v);
        case kAudioUnitParameterUnit_Percent:
            return format("%.0f%%", v);
        case kAudioUnitParameterUnit_Hertz:
            return v >= 1000.0 ? format("%.2f kHz", v / 1000.0) : format("%.2f Hz", v);
        case kAudioUnitParameterUnit_RelativeSemiTones:
            return format(v > 0.0 ? "+%.1f st" : "%.1f st", v);
        case kAudioUnitParameterUnit_Boolean:
            return v >= 0.5 ? "On" : "Off";
        case kAudioUnitParameterUnit_Milliseconds:
            return format("%.0f ms", v);
        case kAudioUnitParameterUnit_BPM:
            return format("%.1f BPM", v);
        case kAudioUnitParameterUnit_MIDINoteNumber:
            return noteText(v);
        case kAudioUnitParameterUnit_Indexed:
            // Truncation, not rounding: 1.9 is still the second value. A value that cannot be
            // an index (NaN, out of range) shows as a number.
            if (valueStrings) {
                const double index = std::trunc(v);
                if (index >= 0.0 && index < static_cast<double>(valueStrings->size()))
                    return (*valueStrings)[static_cast<std::size_t>(index)];
            }
            return format("%.0f", v);
        default:
            return format("%.2f", v);
    }
}

std::string unitLabel(AudioUnitParameterUnit unit) {
    switch (unit) {
        case kAudioUnitParameterUnit_Decibels:
            return "dB";
        case kAudioUnitParameterUnit_Percent:
            return "%";
        case kAudioUnitParameterUnit_Hertz:
            return "Hz";
        case kAudioUnitParameterUnit_RelativeSemiTones:
            return "st";
        case kAudioUnitParameterUnit_Boolean:
            return "on/off";
        case kAudioUnitParameterUnit_Milliseconds:
            return "ms";
        case kAudioUnitParameterUnit_BPM:
            return "BPM";
        case kAudioUnitParameterUnit_MIDINoteNumber:
            return "note";
        case kAudioUnitParameterUnit_Indexed:
            return "index";
        default:
            return "";
    }
}

} // namespace zerin
