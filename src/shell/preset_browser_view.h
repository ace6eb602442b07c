#pragma once

// The floating list of presets the top bar's name opens: a filter field, the factory presets,
// then the user's own (each with a delete button). A click loads the preset and closes the
// list. The filter takes the keyboard as the list opens: typing narrows the list to the names
// holding the text, whatever its case; Return loads the first row, Escape closes. A deleted
// preset can be put back while the list stays open: by the Undo under the list, or Ctrl+Z.

#include "platform/ui/binding.h"
#include "platform/ui/layout.h"
#include "presets/preset.h"
#include "signals/observable.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zerin {

class PresetManager;
class ScrollView;
class TextField;

// The frame both preset panels share: `content` at a fixed width on the translucent panel
// fill, clipped to a rounded rectangle of radius 8, with a 1-point border and a soft shadow.
ViewPtr presetPanelFrame(ViewPtr content, double width);

// Whether `name` holds `filter`, letters compared without case (A-Z and the Latin-1 letters
// À-Þ fold; other characters must match as they are). An empty filter matches every name.
bool presetNameMatches(std::string_view name, std::string_view filter);

class PresetBrowserView : public View {
public:
    static constexpr double kWidth = 220.0;
    static constexpr double kMaxListHeight = 250.0;
    // How far one notch of the wheel moves the list.
    static constexpr int kRowsPerWheelNotch = 3;

    // One row of the list, for hosts and tests that need to find it. The buttons exist only
    // while the row is in view (null otherwise); the delete button for user presets only.
    struct Row {
        Preset preset;
        View* loadButton = nullptr;
        View* deleteButton = nullptr;
    };

    // `presetManager` must outlive the browser. Reads the store again if another writer has
    // changed it since the manager last read it, so the list shows the store as it is now.
    // Setting `isPresented` false is how it closes; the owner removes it at its next layout,
    // never in the middle of a click.
    PresetBrowserView(Binding<bool> isPresented, PresetManager& presetManager,
                      std::function<void(const Preset&)> onLoad);

    Size sizeThatFits(Size proposal) override;
    // Gives the filter the keyboard focus the first time the browser is laid out in a host.
    void layout(const Rect& frame) override;
    // Keys for the browser as a whole, also when nothing has the focus (the owner hands it
    // keys that reach nobody else): Escape closes, Return loads the first row, Ctrl+Z puts
    // back the last preset deleted, and typing goes to the filter.
    bool keyDown(const KeyEvent& event) override;

    // The rows that match the filter, in list order; rebuilt at the first layout after the
    // user presets or the filter change.
    const std::vector<Row>& rows() const { return listRows; }
    // Whether the "USER" header is in the list.
    bool showsUserSection() const { return hasUserSection; }
    ScrollView& scrollArea() const { return *scrollView; }
    TextField& filterField() const { return *field; }
    const std::string& filter() const { return filterText.peek(); }

    // Loads the first row and closes; false (and stays open) when no row matches.
    bool loadFirstMatch();
    // Puts back the last preset deleted while the browser is open, curves and place in the
    // list as they were. Whether there was one.
    bool undoDelete();
    bool canUndoDelete() const { return !deletions.peek().empty(); }
    // The Undo under the list; null while there is nothing to put back.
    View* undoButton() const { return undoButtonView; }

private:
    struct Deletion {
        Preset preset;
        std::size_t index = 0; // its place among the user presets

        friend bool operator==(const Deletion&, const Deletion&) = default;
    };

    ViewPtr header();
    ViewPtr filterRow();
    ViewPtr listBody();
    ViewPtr undoBar();
    ViewPtr rowView(const Preset& preset, bool deletable, Row* entry);
    void remove(const Preset& preset);
    void focusFilter();

    Binding<bool> isPresented;
    PresetManager& presetManager;
    std::function<void(const Preset&)> onLoad;
    // Bumped on every change of the manager, so the list rebuilds from its user presets.
    Observable<int> revision{0};
    Observable<std::string> filterText;
    // What was deleted while the browser is open, the latest last.
    Observable<std::vector<Deletion>> deletions;
    Subscription managerChanges;
    std::vector<Row> listRows;
    bool hasUserSection = false;
    bool focusTaken = false;
    ScrollView* scrollView = nullptr;
    TextField* field = nullptr;
    View* undoButtonView = nullptr;
};

} // namespace zerin
