#pragma once

// The floating list of presets the top bar's name opens: the factory presets, then the
// user's own (each with a delete button). A click loads the preset and closes the list.

#include "platform/ui/binding.h"
#include "platform/ui/layout.h"
#include "platform/ui/observable.h"
#include "presets/preset.h"

#include <functional>
#include <optional>
#include <vector>

namespace zerin {

class PresetManager;

// The frame both preset panels share: `content` at a fixed width on the translucent panel
// fill, clipped to a rounded rectangle of radius 8, with a 1-point border and a soft shadow.
ViewPtr presetPanelFrame(ViewPtr content, double width);

class PresetBrowserView : public View {
public:
    static constexpr double kWidth = 220.0;
    static constexpr double kMaxListHeight = 250.0;

    // One row of the list as last built, for hosts and tests that need to find it.
    struct Row {
        Preset preset;
        View* loadButton = nullptr;
        View* deleteButton = nullptr; // user presets only
    };

    // `presetManager` must outlive the browser. Setting `isPresented` false is how it
    // closes; the owner removes it at its next layout, never in the middle of a click.
    PresetBrowserView(Binding<bool> isPresented, PresetManager& presetManager,
                      std::function<void(const Preset&)> onLoad);

    Size sizeThatFits(Size proposal) override;

    // The rows in list order; rebuilt at the first layout after the user presets change.
    const std::vector<Row>& rows() const { return listRows; }
    // Whether the "USER" header is in the list.
    bool showsUserSection() const { return userHeader != nullptr; }
    View& closeButton() const { return *closeButtonView; }

private:
    ViewPtr header();
    ViewPtr listBody();
    ViewPtr row(const Preset& preset, bool deletable);

    Binding<bool> isPresented;
    PresetManager& presetManager;
    std::function<void(const Preset&)> onLoad;
    // Bumped on every change of the manager, so the list rebuilds from its user presets.
    Observable<int> revision{0};
    Subscription managerChanges;
    std::vector<Row> listRows;
    View* userHeader = nullptr;
    View* closeButtonView = nullptr;
};

} // namespace zerin
