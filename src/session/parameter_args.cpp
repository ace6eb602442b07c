#include "session/parameter_args.h"

#include "dsp/constants.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace zerin::session {

namespace {

std::string lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string withoutSpaces(std::string s) {
    std::erase(s, ' ');
    return s;
}

std::string trim(std::string_view s) {
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string_view::npos) return {};
    const auto e = s.find_last_not_of(" \t");
    return std::string(s.substr(b, e - b + 1));
}

std::optional<double> parseNumber(std::string_view text) {
    const std::string s = trim(text);
    if (s.empty()) return std::nullopt;
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

bool settable(const ParameterSpec& spec) {
    return (spec.flags & kAudioUnitParameterFlag_IsWritable) != 0;
}

std::string validIdentifiers() {
    std::string list;
    for (const ParameterSpec* p : allParameterSpecs())
        if (settable(*p)) list += (list.empty() ? "" : ", ") + p->identifier;
    return list;
}

std::string rangeText(const ParameterSpec& spec) {
    std::string text = number(spec.minValue) + " to " + number(spec.maxValue);
    if (spec.valueStrings) {
        text += " (";
        for (std::size_t i = 0; i < spec.valueStrings->size(); ++i)
            text += (i ? ", " : "") + std::to_string(i) + " " + lower((*spec.valueStrings)[i]);
        text += ")";
    }
    if (spec.units == kAudioUnitParameterUnit_Boolean) text += " (off or on)";
    return text;
}

} // namespace

const ParameterSpec* findParameter(std::string_view identifier, std::string* error) {
    const ParameterSpec* spec = parameterSpec(std::string(identifier));
    if (spec != nullptr && settable(*spec)) return spec;
    *error = spec != nullptr ? spec->identifier + " is read only: the unit reports it"
                             : "unknown parameter \"" + std::string(identifier) +
                                   "\" (valid: " + validIdentifiers() + ")";
    return nullptr;
}

std::optional<float> checkValue(const ParameterSpec& spec, double value, std::string* error) {
    if (!std::isfinite(value) || value < spec.minValue || value > spec.maxValue) {
        *error = spec.identifier + " = " + number(value) + " is out of range: " + rangeText(spec);
        return std::nullopt;
    }
    return static_cast<float>(value);
}

std::optional<ParameterSetting> parseSetting(std::string_view text, std::string* error) {
    const auto eq = text.find('=');
    if (eq == std::string_view::npos) {
        *error = std::string(1, '"').append(text).append("\" is not ID=VALUE");
        return std::nullopt;
    }
    const ParameterSpec* spec = findParameter(trim(text.substr(0, eq)), error);
    if (spec == nullptr) return std::nullopt;
    const std::string valueText = lower(trim(text.substr(eq + 1)));

    // A choice's name first, spaces aside ("10s" is "10 s"): a name may be a number that is
    // not its index.
    std::optional<double> value;
    if (spec->valueStrings) {
        for (std::size_t i = 0; i < spec->valueStrings->size(); ++i)
            if (withoutSpaces(lower((*spec->valueStrings)[i])) == withoutSpaces(valueText))
                value = static_cast<double>(i);
    }
    if (!value) value = parseNumber(valueText);
    if (!value && spec->units == kAudioUnitParameterUnit_Boolean) {
        if (valueText == "on" || valueText == "true") value = 1.0;
        if (valueText == "off" || valueText == "false") value = 0.0;
    }
    if (!value) {
        *error =
            spec->identifier + ": \"" + valueText + "\" is not a value (" + rangeText(*spec) + ")";
        return std::nullopt;
    }
    const auto checked = checkValue(*spec, *value, error);
    if (!checked) return std::nullopt;
    return ParameterSetting{spec, *checked};
}

std::optional<CurvePoints> parseCurve(std::string_view text, std::string* error, CurveKind kind) {
    const bool feedback = kind == CurveKind::feedback;
    CurvePoints points;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string_view item = text.substr(start, comma - start);
        const auto colon = item.find(':');
        const auto freq =
            colon == std::string_view::npos ? std::nullopt : parseNumber(item.substr(0, colon));
        const auto delay =
            colon == std::string_view::npos ? std::nullopt : parseNumber(item.substr(colon + 1));
        if (!freq || !delay) {
            *error = "curve point \"" + std::string(item) + "\" is not " +
                     (feedback ? "HZ:PCT" : "HZ:MS");
            return std::nullopt;
        }
        // Checked as stored: 1e-50 Hz is above 0 as typed but 0 as a float.
        const auto hz = static_cast<float>(*freq);
        const auto ms = static_cast<float>(*delay);
        if (!(hz > 0.0f) || hz > 1.0e9f) {
            *error = "curve point \"" + std::string(item) +
                     "\": the frequency must be above 0 Hz and at most 1e9 Hz";
            return std::nullopt;
        }
        if (!feedback && !(std::fabs(ms) <= 1.0e9f)) {
            *error = "curve point \"" + std::string(item) + "\": the delay must be within 1e9 ms";
            return std::nullopt;
        }
        if (feedback && !(ms >= 0.0f && ms <= kMaxCurveFeedbackPercent)) {
            *error =
                "curve point \"" + std::string(item) + "\": the feedback must be within 0 to 100 %";
            return std::nullopt;
        }
        points.push_back({hz, ms});
        start = comma + 1;
    }
    if (points.empty()) {
        *error = "the curve has no points";
        return std::nullopt;
    }
    if (points.size() > static_cast<std::size_t>(kMaxCurvePoints)) {
        *error = "the curve has " + std::to_string(points.size()) + " points; at most " +
                 std::to_string(kMaxCurvePoints) + " are allowed";
        return std::nullopt;
    }
    // The unit reads a curve in ascending frequency, as the editor keeps it.
    std::stable_sort(points.begin(), points.end(),
                     [](const CurvePoint& a, const CurvePoint& b) { return a.freq < b.freq; });
    return points;
}

std::string parameterTable() {
    std::string out;
    char line[256];
    std::snprintf(line, sizeof line, "%-18s %-14s %-48s %-8s %s\n", "id", "name", "range",
                  "default", "unit");
    out += line;
    for (const ParameterSpec* p : allParameterSpecs()) {
        const std::string unit = unitLabel(p->units) + (settable(*p) ? "" : ", read only");
        std::snprintf(line, sizeof line, "%-18s %-14s %-48s %-8s %s\n", p->identifier.c_str(),
                      p->name.c_str(), rangeText(*p).c_str(), number(p->defaultValue).c_str(),
                      unit.c_str());
        out += line;
    }
    return out;
}

} // namespace zerin::session
