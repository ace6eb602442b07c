#include "session/state_file.h"

#include "audiounit/parameters.h"
#include "platform/files/atomic_file.h"
#include "platform/files/kept_aside.h"
#include "platform/json/bounded_json.h"

#include <cmath>
#include <filesystem>

namespace zerin::session {

namespace {

namespace fs = std::filesystem;

// Keys of `from` that `into` lacks, added; objects both hold, merged the same way. What
// `into` holds wins: it is what the unit plays now.
void keepUnknownKeys(const nlohmann::json& from, nlohmann::json& into) {
    if (!from.is_object() || !into.is_object()) return;
    for (const auto& [key, value] : from.items()) {
        const auto there = into.find(key);
        if (there == into.end())
            into[key] = value;
        else
            keepUnknownKeys(value, *there);
    }
}

bool sameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    return fs::equivalent(a, b, ec);
}

// Parameter values the unit cannot take as they stand: not a number, or out of range (the
// unit takes the nearest value it can).
void parameterWarnings(const nlohmann::json& state, std::vector<std::string>& warnings) {
    const auto values = state.find("parameters");
    if (values == state.end() || !values->is_object()) return;
    for (const ParameterSpec* spec : allParameterSpecs()) {
        if ((spec->flags & kAudioUnitParameterFlag_IsWritable) == 0) continue; // never read
        const auto entry = values->find(spec->identifier);
        if (entry == values->end()) continue;
        const std::string name = "parameters." + spec->identifier;
        const double v = entry->is_number() ? entry->get<double>() : std::nan("");
        if (!std::isfinite(v))
            warnings.push_back(name + " is " + entry->dump() + ", not a number: it is ignored");
        else if (v < spec->minValue || v > spec->maxValue)
            warnings.push_back(name + " is " + entry->dump() + ", out of its range: the " +
                               "nearest value in range is used");
    }
}

} // namespace

std::vector<std::string> stateWarnings(const nlohmann::json& state) {
    CurveSet scratch{};
    std::vector<std::string> warnings;
    const StateCurves curves = curveSetFromState(state, scratch);
    for (const std::string& curve : curves.dropped)
        warnings.push_back(curve + " has no usable point: that curve stays as it was");
    for (const std::string& curve : curves.partial)
        warnings.push_back(curve + " cannot be used: the rest of that curve is");
    parameterWarnings(state, warnings);
    return warnings;
}

std::optional<StateFile> readStateFile(const std::string& path, std::string* error) {
    std::optional<nlohmann::json> read = readJsonFile(path, error);
    if (!read) return std::nullopt;
    if (const std::string problem = savedStateProblem(*read); !problem.empty()) {
        if (error != nullptr) *error = path + ": " + problem;
        return std::nullopt;
    }
    StateFile file{path, std::move(*read), {}, false};
    file.warnings = stateWarnings(file.read);
    return file;
}

nlohmann::json stateToWriteBack(const nlohmann::json& read, nlohmann::json written) {
    // Only inside these: a top-level key Zerin does not write is refused on reading, and an
    // earlier format's "spectralCurve" lives on in the "curveSet" written for it.
    for (const char* key : {"parameters", "curveSet"}) {
        const auto from = read.find(key);
        const auto into = written.find(key);
        if (from != read.end() && into != written.end()) keepUnknownKeys(*from, *into);
    }
    return written;
}

bool writeUnitState(const ZerinExtensionAudioUnit& unit, const std::string& path, StateFile* origin,
                    std::string* notice, std::string* error) {
    nlohmann::json state = unit.fullState();
    if (origin != nullptr) {
        state = stateToWriteBack(origin->read, std::move(state));
        if (!origin->warnings.empty() && !origin->keptAside && sameFile(path, origin->path)) {
            std::string failure;
            const auto copy = keepAside(origin->path, "damaged", failure);
            if (!copy) {
                if (error != nullptr)
                    *error = failure + "; " + path + " was not written, so nothing of it is lost";
                return false;
            }
            origin->keptAside = true;
            if (notice != nullptr)
                *notice =
                    path + " held parts Zerin could not use: kept as it was in " + copy->string();
        }
    }
    return writeFileAtomically(path, state.dump(2) + "\n", error);
}

} // namespace zerin::session
