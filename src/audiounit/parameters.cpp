#include "audiounit/parameters.h"

#include <cmath>
#include <cstdio>

namespace zerin {

namespace {

constexpr AudioUnitParameterOptions kReadWrite =
    kAudioUnitParameterFlag_IsReadable | kAudioUnitParameterFlag_IsWritable;

ParameterSpec parameter(std::string identifier, std::string name, AUParameterAddress address,
                        AUValue min, AUValue max, AUValue def, AudioUnitParameterUnit units,
                        std::optional<std::vector<std::string>> valueStrings = std::nullopt) {
    ParameterSpec p;
    p.identifier = std::move(identifier);
    p.name = std::move(name);
    p.address = address;
    p.minValue = min;
    p.maxValue = max;
    p.defaultValue = def;
    p.units = units;
    p.flags = kReadWrite;
    p.valueStrings = std::move(valueStrings);
    return p;
}

NodeSpec group(std::string identifier, std::string name, std::vector<ParameterSpec> params) {
    ParameterGroupSpec g{std::move(identifier), std::move(name), {}};
    for (auto& p : params)
        g.children.push_back(NodeSpec{std::move(p)});
    return NodeSpec{std::move(g)};
}

ParameterTreeSpec makeTable() {
    constexpr auto dB = kAudioUnitParameterUnit_Decibels;
    constexpr auto percent = kAudioUnitParameterUnit_Percent;
    ParameterTreeSpec spec;
    spec.children.push_back(group("io", "I/O",
                                  {parameter("inputGain", "Input", 0, -24.0f, 12.0f, 0.0f, dB),
                                   parameter("outputGain", "Output", 1, -24.0f, 12.0f, 0.0f, dB)}));
    spec.children.push_back(
        group("mix", "Mix",
              {parameter("dryWet", "Mix", 2, 0.0f, 100.0f, 50.0f, percent),
               parameter("feedback", "Feedback", 3, 0.0f, 100.0f, 30.0f, percent),
               parameter("sourceSensitivity", "Source", 9, 0.0f, 100.0f, 0.0f, percent)}));
    spec.children.push_back(group(
        "modulation", "Modulation",
        {parameter("lfoRate", "LFO Rate", 4, 0.01f, 20.0f, 1.0f, kAudioUnitParameterUnit_Hertz),
         parameter("lfoDepth", "LFO Depth", 5, 0.0f, 100.0f, 20.0f, percent),
         parameter("tempoSync", "Tempo Sync", 6, 0.0f, 1.0f, 0.0f,
                   kAudioUnitParameterUnit_Boolean)}));
    spec.children.push_back(
        group("scatter", "Scatter",
              {parameter("scatterSpeed", "Scatter Speed", 7, 0.0f, 100.0f, 50.0f, percent),
               parameter("mode", "Mode", 8, 0.0f, 2.0f, 0.0f, kAudioUnitParameterUnit_Indexed,
                         std::vector<std::string>{"Delay", "Freeze", "Scatter"})}));
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
            auto parameter = AUParameterTree::createParameter(
                {p->identifier, p->name, p->address, p->minValue, p->maxValue, p->units,
                 p->unitName, p->flags, p->valueStrings, p->dependentParameters});
            parameter->setValue(p->defaultValue);
            out.push_back(std::move(parameter));
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
        case kAudioUnitParameterUnit_Boolean:
            return v >= 0.5 ? "On" : "Off";
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
        case kAudioUnitParameterUnit_Boolean:
            return "on/off";
        case kAudioUnitParameterUnit_Indexed:
            return "index";
        default:
            return "";
    }
}

} // namespace zerin
