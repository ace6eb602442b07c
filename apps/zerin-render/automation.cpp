#include "automation.h"

#include "platform/json/bounded_json.h"
#include "session/parameter_args.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>

namespace zerin::render {

using namespace zerin::session;

namespace {

// Far beyond any file (about 6,500 years at 44.1 kHz), and exact in a double.
constexpr double kLastSample = 9.0e15;

} // namespace

std::optional<std::vector<AutomationEvent>> readAutomation(const std::string& path,
                                                           double sampleRate, std::string* error) {
    const auto doc = readJsonFile(path, error);
    if (!doc) return std::nullopt;
    return parseAutomation(*doc, sampleRate, path, error);
}

std::optional<std::vector<AutomationEvent>> parseAutomation(const nlohmann::json& doc,
                                                            double sampleRate,
                                                            const std::string& path,
                                                            std::string* error) {
    if (!doc.is_array()) {
        *error = path + ": expected a JSON array of events";
        return std::nullopt;
    }
    std::vector<AutomationEvent> events;
    for (std::size_t i = 0; i < doc.size(); ++i) {
        const nlohmann::json& e = doc[i];
        const std::string where = path + ": event " + std::to_string(i) + ": ";
        if (!e.is_object()) {
            *error = where + "not an object";
            return std::nullopt;
        }
        const auto id = e.find("id");
        const auto value = e.find("value");
        if (id == e.end() || !id->is_string() || value == e.end() || !value->is_number()) {
            *error = where + "needs \"id\" (a string) and \"value\" (a number)";
            return std::nullopt;
        }
        std::string why;
        const ParameterSpec* spec = findParameter(id->get<std::string>(), &why);
        if (spec == nullptr) {
            *error = where + why;
            return std::nullopt;
        }
        const auto checked = checkValue(*spec, value->get<double>(), &why);
        if (!checked) {
            *error = where + why;
            return std::nullopt;
        }
        const auto time = e.find("time");
        const auto sample = e.find("sample");
        double position;
        if (sample != e.end() && sample->is_number_integer()) {
            position = sample->get<double>();
        } else if (time != e.end() && time->is_number()) {
            position = std::round(time->get<double>() * sampleRate);
        } else {
            *error = where + "needs \"time\" (seconds) or \"sample\" (an integer)";
            return std::nullopt;
        }
        if (!(position >= 0.0)) {
            *error = where + "its time must not be negative";
            return std::nullopt;
        }
        if (position > kLastSample) {
            *error = where + "its time is too large (at most 9e15 samples)";
            return std::nullopt;
        }
        events.push_back({static_cast<std::int64_t>(position), spec->address, *checked});
    }
    std::stable_sort(events.begin(), events.end(),
                     [](const auto& a, const auto& b) { return a.sample < b.sample; });
    return events;
}

} // namespace zerin::render
