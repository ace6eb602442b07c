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
    : mStore(std::move(store)), mSnapshotPoints(ZerinCurveConstants::defaultCurve()) {
    UserPresetsRead read = readUserPresets(mStore);
    mUserPresets = std::move(read.presets);
    mLoadResult = std::move(read.result);
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

void PresetManager::setSnapshotPoints(std::vector<CurveControlPoint> points) {
    if (points == mSnapshotPoints) return;
    mSnapshotPoints = std::move(points);
    mChanges.notify();
}

void PresetManager::setUserPresets(std::vector<Preset> presets) {
    if (presets == mUserPresets) return;
    mUserPresets = std::move(presets);
    mChanges.notify();
}

void PresetManager::loadPreset(const Preset& preset, std::vector<CurveControlPoint>& curve) {
    std::vector<CurveControlPoint> points;
    points.reserve(preset.points().size());
    for (const CurveControlPoint& p : preset.points())
        points.push_back({Uuid::random(), p.freq, p.value});
    curve = points;
    setCurrentPresetName(preset.name);
    setSnapshotPoints(std::move(points));
    setIsDirty(false);
}

void PresetManager::restorePreset(std::string name, std::vector<CurveControlPoint> snapshotPoints) {
    setCurrentPresetName(std::move(name));
    setSnapshotPoints(std::move(snapshotPoints));
}

void PresetManager::updateDirtyState(const std::vector<CurveControlPoint>& curve) {
    if (curve.size() != mSnapshotPoints.size()) return setIsDirty(true);
    for (std::size_t i = 0; i < curve.size(); ++i) {
        const CurveControlPoint& a = curve[i];
        const CurveControlPoint& b = mSnapshotPoints[i];
        if (std::fabs(a.freq - b.freq) > dirtyTolerance ||
            std::fabs(a.value - b.value) > dirtyTolerance)
            return setIsDirty(true);
    }
    setIsDirty(false);
}

StoreResult PresetManager::change(const std::function<void(std::vector<Preset>&)>& edit) {
    std::vector<Preset> stored;
    StoreResult result = changeUserPresets(mStore, edit, stored);
    if (result) setUserPresets(std::move(stored));
    return result;
}

StoreResult PresetManager::savePreset(std::string_view name, const CurveSetPoints& curves) {
    std::string storedName = userPresetName(name);
    // Copied first: `curves` may hold our own snapshot.
    std::vector<CurveControlPoint> points = curves.at(CurveSlot::a, CurveKind::delay);
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

} // namespace zerin
