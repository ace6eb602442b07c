#pragma once

// The floating list of presets the top bar's name opens: the factory presets, then the
// user's own (each with a delete button). A click loads the preset and closes the list.

#include "platform/ui/binding.h"
#include "platform/ui/layout.h"
#include "presets/preset.h"
#include "signals/observable.h"

#include <functional>
#include <optional>
#include <vector>

namespace zerin {

class PresetManager;
class ScrollView;

// The frame both preset panels share: `content` at a fixed width on the translucent panel
// fill, clipped to a rounded rectangle of radius 8, with a 1-point border and a soft shadow.
ViewPtr presetPanelFrame(ViewPtr content, double width);

class PresetBrowserView : public View {
public:
    static constexpr double kWidth = 220.0;
    static constexpr double kMaxListHeight = 250.0;

    // One row of the list, for hosts and tests that need to find it. The buttons exist only
    // while the row is in view (null otherwise); the delete button for user presets only.
    struct Row {
        Preset preset;
        View* loadButton = nullptr;
        View* deleteButton = nullptr;
    };

    // `presetManager` must outlive the browser. Setting `isPresented` false is how it
    // closes; the owner removes it at its next layout, never in the middle of a click.
    PresetBrowserView(Binding<bool> isPresented, PresetManager& presetManager,
                      std::function<void(const Preset&)> onLoad);

    Size sizeThatFits(Size proposal) override;

    // The rows in list order; rebuilt at the first layout after the user presets change.
    const std::vector<Row>& rows() const { return listRows; }
    // Whether the "USER" header is in the list.
    bool showsUserSection() const { return hasUserSection; }
    ScrollView& scrollArea() const { return *scrollView; }

private:
    ViewPtr header();
    ViewPtr listBody();
    ViewPtr rowView(const Preset& preset, bool deletable, Row* entry);

    Binding<bool> isPresented;
    PresetManager& presetManager;
    std::function<void(const Preset&)> onLoad;
    // Bumped on every change of the manager, so the list rebuilds from its user presets.
    Observable<int> revision{0};
    Subscription managerChanges;
    std::vector<Row> listRows;
    bool hasUserSection = false;
    ScrollView* scrollView = nullptr;
};

} // namespace zerin
