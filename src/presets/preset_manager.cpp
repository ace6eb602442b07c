#include "presets/preset_manager.h"

#include "model/curve_model.h"
#include "presets/factory_presets.h"
#include "presets/user_presets.h"

#include <algorithm>
#include <cmath>

namespace zerin {

std::string userPresetName(std::string_view name) {
    for (const Preset& factory : factoryPresetList())
        if (factory.name == name) return std::string(name) + " (User)";
    return std::string(name);
}

PresetManager::PresetManager(PreferenceStore store)
    : mStore(std::move(store)),
      mSnapshotPoints(setOfDelayCurve(ZerinCurveConstants::defaultCurve())) {
    readUserList();
}

// The stamp first: a writer that replaces the file between the two leaves a stamp that no
// longer matches, so its presets are read at the next reloadIfChanged rather than missed.
void PresetManager::readUserList() {
    mReadStamp = mStore.stamp();
    mReadStampKnown = true;
    UserPresetsRead read = readUserPresets(mStore);
    mLoadResult = std::move(read.result);
    // A file that could not be read at all tells nothing about what is stored: the list
    // shown stays.
    if (!mLoadResult && read.presets.empty() && !mUserPresets.empty()) return;
    setUserPresets(std::move(read.presets));
}

bool PresetManager::reloadIfChanged() {
    if (mReadStampKnown && mStore.stamp() == mReadStamp) return false;
    readUserList();
    return true;
}

const Preset* PresetManager::userPresetNamed(std::string_view storedName) const {
    const auto found = std::find_if(mUserPresets.begin(), mUserPresets.end(),
                                    [&](const Preset& p) { return p.name == storedName; });
    return found == mUserPresets.end() ? nullptr : &*found;
}

void PresetManager::setCurrentPresetName(std::string name) {
    if (name == mCurrentPresetName) return;
    mCurrentPresetName = std::move(name);
    mChanges.notify();
}

void PresetManager::setIsDirty(bool dirty) {
    if (dirty == mIsDirty) return;
    mIsDirty = dirty;
    mChanges.notify();
}

void PresetManager::setSnapshotPoints(CurveSetPoints points) {
    if (points == mSnapshotPoints) return;
    mSnapshotPoints = std::move(points);
    mChanges.notify();
}

void PresetManager::setUserPresets(std::vector<Preset> presets) {
    if (presets == mUserPresets) return;
    mUserPresets = std::move(presets);
    mChanges.notify();
}

void PresetManager::loadPreset(const Preset& preset, CurveSetPoints& curves) {
    CurveSetPoints fresh = preset.curves;
    for (auto& slot : fresh.curves)
        for (ControlCurve& curve : slot)
            for (CurveControlPoint& p : curve)
                p.id = Uuid::random();
    curves = fresh;
    setCurrentPresetName(preset.name);
    setSnapshotPoints(std::move(fresh));
    setIsDirty(false);
}

void PresetManager::restorePreset(std::string name, CurveSetPoints snapshotPoints) {
    setCurrentPresetName(std::move(name));
    setSnapshotPoints(std::move(snapshotPoints));
}

void PresetManager::updateDirtyState(const CurveSetPoints& curves) {
    setIsDirty(!sameCurves(curves, mSnapshotPoints));
}

bool sameCurve(const ControlCurve& a, const ControlCurve& b) {
    constexpr float tolerance = PresetManager::dirtyTolerance;
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const CurveControlPoint& p, const CurveControlPoint& q) {
                          return std::fabs(p.freq - q.freq) <= tolerance &&
                                 std::fabs(p.value - q.value) <= tolerance;
                      });
}

bool sameCurves(const CurveSetPoints& a, const CurveSetPoints& b) {
    for (int s = 0; s < kCurveSlotCount; ++s)
        for (int k = 0; k < kCurveKindCount; ++k)
            if (!sameCurve(a.curves[s][k], b.curves[s][k])) return false;
    return true;
}

StoreResult PresetManager::change(const std::function<void(std::vector<Preset>&)>& edit) {
    std::vector<Preset> stored;
    StoreResult result = changeUserPresets(mStore, edit, stored);
    // Whatever happened, the file may have changed since it was last read.
    mReadStampKnown = false;
    if (result) setUserPresets(std::move(stored));
    return result;
}

StoreResult PresetManager::savePreset(std::string_view name, const CurveSetPoints& curves) {
    std::string storedName = userPresetName(name);
    // Copied first: `curves` may hold our own snapshot.
    CurveSetPoints points = curves;
    StoreResult result = change([&](std::vector<Preset>& presets) {
        const auto existing = std::find_if(presets.begin(), presets.end(),
                                           [&](const Preset& p) { return p.name == storedName; });
        if (existing != presets.end())
            existing->curves = curves;
        else
            presets.push_back({Uuid::random(), storedName, curves, false});
    });
    if (!result) return result;
    setCurrentPresetName(std::move(storedName));
    setSnapshotPoints(std::move(points));
    setIsDirty(false);
    return result;
}

StoreResult PresetManager::deletePreset(const Preset& preset) {
    const Uuid id = preset.id; // `preset` may be an element of the list being replaced
    return change([id](std::vector<Preset>& presets) {
        std::erase_if(presets, [id](const Preset& p) { return p.id == id; });
    });
}

StoreResult PresetManager::restoreUserPreset(const Preset& preset, std::size_t index) {
    Preset restored = preset; // `preset` may be an element of the list being replaced
    restored.isFactory = false;
    return change([&restored, index](std::vector<Preset>& presets) {
        const bool taken = std::any_of(presets.begin(), presets.end(), [&](const Preset& p) {
            return p.id == restored.id || p.name == restored.name;
        });
        if (taken) return;
        const auto at =
            presets.begin() + static_cast<std::ptrdiff_t>(std::min(index, presets.size()));
        presets.insert(at, std::move(restored));
    });
}

} // namespace zerin
