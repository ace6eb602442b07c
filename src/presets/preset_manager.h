#pragma once

#include "dsp/factory_curves.h"
#include "model/curve_point.h"
#include "presets/preference_store.h"
#include "presets/preset.h"
#include "presets/store_result.h"
#include "signals/observation.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zerin {

// The editor's preset state: which preset the curve came from, whether it has been edited
// since, and the user's presets as kept in the preference store. One per editor view, used
// on the main thread only. Several may be open at once, in one process or several: saves
// and deletes go through the store's lock and merge with what the others stored.
//
// Storage operations return a StoreResult. The editor may ignore it; on failure nothing
// about the manager changes, so it never shows as saved what is not stored.
class PresetManager {
public:
    static constexpr float dirtyTolerance = 0.01f; // Hz, ms and % alike

    // Starts from "Init" and the default curve, clean, with the stored user presets.
    // Reads the store but never writes it.
    explicit PresetManager(PreferenceStore store = PreferenceStore());
    PresetManager(const PresetManager&) = delete;
    PresetManager& operator=(const PresetManager&) = delete;

    const std::string& currentPresetName() const { return mCurrentPresetName; }
    bool isDirty() const { return mIsDirty; }
    // The curves the editor's are compared with for the dirty marker.
    const CurveSetPoints& snapshotPoints() const { return mSnapshotPoints; }
    const std::vector<Preset>& userPresets() const { return mUserPresets; }
    // Why some stored presets are missing from userPresets, if any are (see the store).
    const StoreResult& loadResult() const { return mLoadResult; }
    const PreferenceStore& store() const { return mStore; }

    // Called after any observed property changes; assigning a property its current value
    // notifies nobody.
    [[nodiscard]] Subscription observe(std::function<void()> callback) {
        return mChanges.subscribe(std::move(callback));
    }

    // The top bar's binding writes the name through here.
    void setCurrentPresetName(std::string name);

    // Replaces `curves` with the preset's under fresh ids (the preset keeps its own) and makes
    // the preset current and clean.
    void loadPreset(const Preset& preset, CurveSetPoints& curves);

    // Makes `name` current again with `snapshotPoints` as what the curves are compared with,
    // as it was before a load that is being undone. The dirty state is left for the caller to
    // update with its curves.
    void restorePreset(std::string name, CurveSetPoints snapshotPoints);

    // Dirty when a curve differs from the snapshot's (sameCurves).
    void updateDirtyState(const CurveSetPoints& curves);

    // Stores `curves` (ids included) as the user preset `name`, overwriting the curves of a
    // user preset of that name or appending a new one. A factory preset's name gets
    // " (User)" appended. On success the preset is current and clean.
    StoreResult savePreset(std::string_view name, const CurveSetPoints& curves);

    // Removes every user preset with the preset's id; the store is rewritten even when none
    // has it. The current name, snapshot and dirty flag stay.
    StoreResult deletePreset(const Preset& preset);

    // Puts a deleted user preset back, id, name and curves as they were, at `index` in the
    // list (at its end when the list has grown shorter since). Nothing is stored when a
    // preset with its id or its name is stored already: restoring never makes two of a name.
    StoreResult restoreUserPreset(const Preset& preset, std::size_t index);

    // Reads the user presets again when the store's file has changed since this manager last
    // read it: another editor, a plug-in instance or zerin-render wrote it. Cheap when it has
    // not (one stat). Main thread, never in the audio path. Returns whether it read.
    bool reloadIfChanged();

    // The user preset stored under `storedName` (see userPresetName), if there is one.
    const Preset* userPresetNamed(std::string_view storedName) const;

private:
    void setIsDirty(bool dirty);
    void setSnapshotPoints(CurveSetPoints points);
    void setUserPresets(std::vector<Preset> presets);
    StoreResult change(const std::function<void(std::vector<Preset>&)>& edit);
    void readUserList();

    PreferenceStore mStore;
    Signal mChanges;
    std::string mCurrentPresetName{kInitPresetName};
    bool mIsDirty = false;
    CurveSetPoints mSnapshotPoints;
    std::vector<Preset> mUserPresets;
    StoreResult mLoadResult;
    // The file as it was when the list was last read; unknown (reread at the next
    // reloadIfChanged) after this manager wrote, since another writer may follow at once.
    std::optional<StoreStamp> mReadStamp;
    bool mReadStampKnown = false;
};

// Whether two curves hold the same points in the same order, each within dirtyTolerance in
// frequency and value; ids do not count. A press on a point that does not move it settles it a
// rounding away, which is no edit.
bool sameCurve(const ControlCurve& a, const ControlCurve& b);
// The same for every curve of two sets.
bool sameCurves(const CurveSetPoints& a, const CurveSetPoints& b);

// The name a user preset is stored under: a factory preset's name (exact, case-sensitive)
// gets " (User)" appended once; any other name is kept as it is.
std::string userPresetName(std::string_view name);

} // namespace zerin
