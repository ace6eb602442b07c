#include "platform/au/au_audio_unit.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>

namespace zerin {

AUAudioUnit::AUAudioUnit(const AudioComponentDescription& description)
    : mDescription(description) {}

AUAudioUnit::~AUAudioUnit() = default;

bool AUAudioUnit::allocateRenderResources(AUError* /*error*/) {
    mAllocated = true;
    return true;
}

void AUAudioUnit::deallocateRenderResources() {
    mAllocated = false;
}

std::optional<AUAudioUnitPreset> AUAudioUnit::currentPreset() const {
    std::lock_guard<std::mutex> lock(mPresetMutex);
    return mCurrentPreset;
}

void AUAudioUnit::setCurrentPreset(std::optional<AUAudioUnitPreset> preset) {
    std::lock_guard<std::mutex> lock(mPresetMutex);
    mCurrentPreset = std::move(preset);
}

nlohmann::json AUAudioUnit::fullState() const {
    nlohmann::json state = nlohmann::json::object();
    state["formatVersion"] = kFullStateFormatVersion;
    state["type"] = fourCharText(mDescription.componentType);
    state["subtype"] = fourCharText(mDescription.componentSubType);
    state["manufacturer"] = fourCharText(mDescription.componentManufacturer);
    nlohmann::json values = nlohmann::json::object();
    if (mParameterTree)
        for (const AUParameter* p : mParameterTree->parameters())
            if ((p->flags() & kAudioUnitParameterFlag_IsWritable) != 0) // not what it reports
                values[p->identifier()] = p->value();
    state["parameters"] = std::move(values);
    return state;
}

bool isNewerStateFormat(const nlohmann::json& state) {
    if (!state.is_object()) return false;
    const auto version = state.find("formatVersion");
    if (version == state.end()) return false;
    // A parsed whole number above 0 is unsigned, one set in code signed.
    if (version->is_number_unsigned())
        return version->get<std::uint64_t>() > std::uint64_t{kFullStateFormatVersion};
    return version->is_number_integer() &&
           version->get<std::int64_t>() > std::int64_t{kFullStateFormatVersion};
}

void AUAudioUnit::setFullState(const nlohmann::json* state) {
    if (state == nullptr || !state->is_object() || !mParameterTree) return;
    if (isNewerStateFormat(*state)) return;
    const auto values = state->find("parameters");
    if (values == state->end() || !values->is_object()) return;
    bool changed = false;
    for (AUParameter* p : mParameterTree->parameters()) {
        if ((p->flags() & kAudioUnitParameterFlag_IsWritable) == 0) continue;
        const auto entry = values->find(p->identifier());
        if (entry == values->end() || !entry->is_number()) continue;
        const double v = entry->get<double>();
        if (!std::isfinite(v)) continue;
        const double clamped = std::clamp(v, double(p->minValue()), double(p->maxValue()));
        p->setValue(static_cast<AUValue>(clamped));
        changed = true;
    }
    if (changed) notifyAllParameterValuesChanged();
}

std::uint64_t AUAudioUnit::observeAllParameterValues(ValuesObserver observer) {
    std::lock_guard<std::mutex> lock(mValuesObserverMutex);
    mValuesObservers.emplace_back(mNextValuesToken, std::move(observer));
    return mNextValuesToken++;
}

void AUAudioUnit::removeAllParameterValuesObserver(std::uint64_t token) {
    std::lock_guard<std::mutex> lock(mValuesObserverMutex);
    std::erase_if(mValuesObservers, [token](const auto& e) { return e.first == token; });
}

void AUAudioUnit::notifyAllParameterValuesChanged() {
    std::vector<ValuesObserver> targets;
    {
        std::lock_guard<std::mutex> lock(mValuesObserverMutex);
        for (const auto& entry : mValuesObservers)
            targets.push_back(entry.second);
    }
    for (const auto& observer : targets)
        observer();
}

} // namespace zerin
