#include "lv2/turtle.h"

#include "audiounit/parameters.h"
#include "dsp/factory_curves.h"
#include "dsp/parameters.h"
#include "lv2/ports.h"
#include "lv2/uris.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <sstream>
#include <vector>

namespace zerin::lv2 {

namespace {

constexpr const char* kPrefixes = R"(@prefix atom: <http://lv2plug.in/ns/ext/atom#> .
@prefix doap: <http://usefulinc.com/ns/doap#> .
@prefix foaf: <http://xmlns.com/foaf/0.1/> .
@prefix log: <http://lv2plug.in/ns/ext/log#> .
@prefix lv2: <http://lv2plug.in/ns/lv2core#> .
@prefix midi: <http://lv2plug.in/ns/ext/midi#> .
@prefix opts: <http://lv2plug.in/ns/ext/options#> .
@prefix patch: <http://lv2plug.in/ns/ext/patch#> .
@prefix pset: <http://lv2plug.in/ns/ext/presets#> .
@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .
@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .
@prefix rsz: <http://lv2plug.in/ns/ext/resize-port#> .
@prefix state: <http://lv2plug.in/ns/ext/state#> .
@prefix time: <http://lv2plug.in/ns/ext/time#> .
@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .
@prefix units: <http://lv2plug.in/ns/extensions/units#> .
@prefix urid: <http://lv2plug.in/ns/ext/urid#> .
@prefix xsd: <http://www.w3.org/2001/XMLSchema#> .

)";

// A float as Turtle reads it back exactly: the shortest text that round-trips, with a point
// so that it reads as a number with decimals rather than an integer.
std::string number(float value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    std::string s(text, result.ptr);
    if (s.find_first_of(".e") == std::string::npos) s += ".0";
    return s;
}

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

const char* unitTerm(AudioUnitParameterUnit unit) {
    switch (unit) {
        case kAudioUnitParameterUnit_Decibels:
            return "units:db";
        case kAudioUnitParameterUnit_Percent:
            return "units:pc";
        case kAudioUnitParameterUnit_Hertz:
            return "units:hz";
        case kAudioUnitParameterUnit_RelativeSemiTones:
            return "units:semitone12TET";
        case kAudioUnitParameterUnit_Milliseconds:
            return "units:ms";
        case kAudioUnitParameterUnit_MIDINoteNumber:
            return "units:midiNote";
        case kAudioUnitParameterUnit_BPM:
            return "units:bpm";
        default:
            return nullptr;
    }
}

void audioPorts(std::ostringstream& out, const PortLayout& l) {
    const bool stereo = l.channels == 2;
    const char* suffix[2] = {stereo ? "_l" : "", "_r"};
    const char* label[2] = {stereo ? " L" : "", " R"};
    for (int c = 0; c < l.channels; ++c)
        out << "    [ a lv2:AudioPort, lv2:InputPort ; lv2:index " << l.audioIn + c
            << " ; lv2:symbol \"in" << suffix[c] << "\" ; lv2:name \"In" << label[c] << "\" ] ,\n";
    for (int c = 0; c < l.channels; ++c)
        out << "    [ a lv2:AudioPort, lv2:OutputPort ; lv2:index " << l.audioOut + c
            << " ; lv2:symbol \"out" << suffix[c] << "\" ; lv2:name \"Out" << label[c]
            << "\" ] ,\n";
}

void controlPort(std::ostringstream& out, const PortLayout& l, const ParameterSpec& p) {
    // What the unit reports is an output: hosts show it, the editor follows it.
    const bool output = parameter::isOutput(static_cast<int>(p.address));
    out << "    [ a " << (output ? "lv2:OutputPort" : "lv2:InputPort")
        << ", lv2:ControlPort ; lv2:index " << l.controlPort(static_cast<int>(p.address))
        << " ; lv2:symbol " << quoted(p.identifier) << " ; lv2:name " << quoted(p.name)
        << " ;\n      lv2:default " << number(p.defaultValue) << " ; lv2:minimum "
        << number(p.minValue) << " ; lv2:maximum " << number(p.maxValue);
    if (const char* unit = unitTerm(p.units)) out << " ; units:unit " << unit;
    if (p.units == kAudioUnitParameterUnit_Boolean) out << " ; lv2:portProperty lv2:toggled";
    if (p.units == kAudioUnitParameterUnit_MIDINoteNumber)
        out << " ;\n      lv2:portProperty lv2:integer ;\n      lv2:scalePoint [ rdfs:label "
               "\"Any\" ; "
               "rdf:value -1 ]";
    if (p.valueStrings) {
        out << " ;\n      lv2:portProperty lv2:integer, lv2:enumeration";
        for (std::size_t i = 0; i < p.valueStrings->size(); ++i)
            out << " ;\n      lv2:scalePoint [ rdfs:label " << quoted((*p.valueStrings)[i])
                << " ; rdf:value " << i << " ]";
    }
    out << " ]";
}

void plugin(std::ostringstream& out, const char* uri, const char* name, const PortLayout& l,
            const BundleFiles& files) {
    out << "<" << uri << ">\n    a lv2:Plugin, lv2:DelayPlugin, doap:Project ;\n    doap:name "
        << quoted(name)
        << " ;\n    doap:license <https://spdx.org/licenses/GPL-3.0-or-later> ;\n"
        // Hosts file a plug-in under its maintainer's name (Audacity says "n/a" without one).
        << "    doap:maintainer [ foaf:name \"Zerin\" ; foaf:homepage <" << kHomepage << "> ] ;\n"
        << "    lv2:minorVersion " << ZERIN_VERSION_MINOR << " ;\n    lv2:microVersion "
        << ZERIN_VERSION_MICRO << " ;\n"
        << "    lv2:optionalFeature lv2:hardRTCapable, urid:map ;\n"
        << "    lv2:extensionData state:interface ;\n";
    if (!files.uiBinary.empty()) out << "    ui:ui <" << kUiUri << "> ;\n";
    out << "    lv2:port\n";
    audioPorts(out, l);
    // In index order: the first release's parameters, the host's ports, the later ones.
    std::vector<const ParameterSpec*> specs = allParameterSpecs();
    std::sort(specs.begin(), specs.end(), [](const ParameterSpec* a, const ParameterSpec* b) {
        return a->address < b->address;
    });
    for (const ParameterSpec* p : specs)
        if (p->address < parameter::kFirstReleaseCount) {
            controlPort(out, l, *p);
            out << " ,\n";
        }
    out << "    [ a lv2:InputPort, lv2:ControlPort ; lv2:index " << l.enabled
        << " ; lv2:symbol \"enabled\" ; lv2:name \"Enabled\" ;\n"
        << "      lv2:designation lv2:enabled ; lv2:portProperty lv2:toggled ;\n"
        << "      lv2:default 1 ; lv2:minimum 0 ; lv2:maximum 1 ] ,\n"
        << "    [ a lv2:OutputPort, lv2:ControlPort ; lv2:index " << l.latency
        << " ; lv2:symbol \"latency\" ; lv2:name \"Latency\" ;\n"
        << "      lv2:designation lv2:latency ;\n"
        << "      lv2:portProperty lv2:reportsLatency, lv2:integer ; units:unit units:frame ] ,\n"
        << "    [ a lv2:InputPort, atom:AtomPort ; lv2:index " << l.control
        << " ; lv2:symbol \"control\" ; lv2:name \"Control\" ;\n"
        << "      atom:bufferType atom:Sequence ; atom:supports patch:Message, time:Position, "
           "midi:MidiEvent ;\n"
        << "      lv2:designation lv2:control ; lv2:portProperty lv2:connectionOptional ] ,\n"
        << "    [ a lv2:OutputPort, atom:AtomPort ; lv2:index " << l.notify
        << " ; lv2:symbol \"notify\" ; lv2:name \"Notify\" ;\n"
        << "      atom:bufferType atom:Sequence ; atom:supports patch:Message ;\n"
        << "      rsz:minimumSize " << kNotifyBufferBytes
        << " ; lv2:portProperty lv2:connectionOptional ]";
    for (const ParameterSpec* p : specs)
        if (p->address >= parameter::kFirstReleaseCount) {
            out << " ,\n";
            controlPort(out, l, *p);
        }
    out << " .\n\n";
}

// The editor: it watches every control and the notify port of either plug-in.
void userInterface(std::ostringstream& out) {
    out << "<" << kUiUri << ">\n    a ui:X11UI ;\n"
        << "    lv2:requiredFeature urid:map, ui:parent, ui:idleInterface ;\n"
        << "    lv2:optionalFeature ui:resize, ui:touch, opts:options, log:log ;\n"
        << "    lv2:extensionData ui:idleInterface, ui:resize ;\n    ui:portNotification";
    const char* separator = "\n";
    for (const char* uri : {kStereoUri, kMonoUri}) {
        out << separator << "        [ ui:plugin <" << uri
            << "> ; lv2:symbol \"notify\" ; ui:protocol atom:eventTransfer ]";
        separator = " ,\n";
        for (const ParameterSpec* p : allParameterSpecs())
            out << separator << "        [ ui:plugin <" << uri << "> ; lv2:symbol "
                << quoted(p->identifier) << " ; ui:protocol ui:floatProtocol ]";
    }
    out << " .\n";
}

} // namespace

std::string presetSlug(const std::string& name) {
    std::string slug;
    for (char c : name) {
        if (std::isalnum(static_cast<unsigned char>(c)))
            slug += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        else if (!slug.empty() && slug.back() != '-')
            slug += '-';
    }
    while (!slug.empty() && slug.back() == '-')
        slug.pop_back();
    return slug;
}

std::string manifestTurtle(const BundleFiles& files) {
    std::ostringstream out;
    out << kPrefixes;
    for (const char* uri : {kStereoUri, kMonoUri})
        out << "<" << uri << "> a lv2:Plugin ;\n    lv2:binary <" << files.dspBinary
            << "> ;\n    rdfs:seeAlso <zerin.ttl> .\n\n";
    if (!files.uiBinary.empty())
        out << "<" << kUiUri << "> a ui:X11UI ;\n    ui:binary <" << files.uiBinary
            << "> ;\n    rdfs:seeAlso <zerin.ttl> .\n\n";
    for (const FactoryCurve& preset : kFactoryCurves)
        out << "<" << kPresetBase << presetSlug(std::string(preset.name))
            << "> a pset:Preset ;\n    lv2:appliesTo <" << kStereoUri << ">, <" << kMonoUri
            << "> ;\n    rdfs:seeAlso <presets.ttl> .\n\n";
    return out.str();
}

std::string pluginTurtle(const BundleFiles& files) {
    std::ostringstream out;
    out << kPrefixes;
    // The curve set: slot A's delay curve first, under the name it always had.
    constexpr const char* kLabels[2][2] = {{"Curve", "Feedback curve"},
                                           {"Curve B", "Feedback curve B"}};
    for (int s = 0; s < kCurveSlotCount; ++s)
        for (int k = 0; k < kCurveKindCount; ++k)
            out << "<" << kCurveSetUris[s][k] << ">\n    a lv2:Parameter ;\n    rdfs:label \""
                << kLabels[s][k] << "\" ;\n    rdfs:comment \"Frequency-to-"
                << (k == 0 ? "delay curve of slot " : "feedback curve of slot ")
                << (s == 0 ? "A" : "B") << ": (Hz, " << (k == 0 ? "ms" : "%")
                << ") pairs by rising frequency, at most 32.\" ;\n    rdfs:range atom:Vector .\n\n";
    out << "<" << kPresetNameUri << ">\n    a lv2:Parameter ;\n"
        << "    rdfs:label \"Preset name\" ;\n    rdfs:range atom:String .\n\n";
    plugin(out, kStereoUri, "Zerin", kStereoPorts, files);
    plugin(out, kMonoUri, "Zerin Mono", kMonoPorts, files);
    if (!files.uiBinary.empty()) userInterface(out);
    return out.str();
}

std::string presetsTurtle() {
    std::ostringstream out;
    out << kPrefixes;
    for (const FactoryCurve& preset : kFactoryCurves) {
        // A factory preset is its curves and its name; the knobs stay where they are. One of
        // a single delay curve holds that alone, as every preset did before the curve set.
        out << "<" << kPresetBase << presetSlug(std::string(preset.name))
            << ">\n    a pset:Preset ;\n    lv2:appliesTo <" << kStereoUri << ">, <" << kMonoUri
            << "> ;\n    rdfs:label " << quoted(std::string(preset.name))
            << " ;\n    state:state [\n        <" << kPresetNameUri << "> "
            << quoted(std::string(preset.name));
        const bool whole =
            !preset.feedback.empty() || !preset.pointsB.empty() || !preset.feedbackB.empty();
        const CurveSet set = factoryCurveSet(preset);
        for (int s = 0; s < kCurveSlotCount; ++s)
            for (int k = 0; k < kCurveKindCount; ++k) {
                if (!whole && (s != 0 || k != 0)) continue;
                const CurveData& curve = set.curves[s][k];
                out << " ;\n        <" << kCurveSetUris[s][k]
                    << "> [\n            a atom:Vector ;\n            atom:childType atom:Float ;\n"
                    << "            rdf:value (";
                for (int i = 0; i < curve.count; ++i)
                    out << "\n                \"" << number(curve.points[i].freq)
                        << "\"^^xsd:float \"" << number(curve.points[i].value) << "\"^^xsd:float";
                out << "\n            )\n        ]";
            }
        out << "\n    ] .\n\n";
    }
    return out.str();
}

} // namespace zerin::lv2
