#include "shell/preset_browser_view.h"

#include "platform/ui/shapes.h"
#include "platform/ui/ui_context.h"
#include "presets/factory_presets.h"
#include "presets/preset_manager.h"
#include "widgets/controls.h"
#include "widgets/theme.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace zerin {

namespace {

constexpr Color kClear{1.0, 1.0, 1.0, 0.0};
constexpr double kPanelCornerRadius = 8.0;
constexpr double kRowCornerRadius = 4.0;
// Our stand-in for the translucent material under the panel colour: no blur, only the
// darkening a thin material gives over the background.
constexpr Color kPanelMaterial = Color::rgb255(24, 32, 56, 0.5);

const Font kTitleFont{10.0, FontWeight::bold, FontDesign::standard, 2.0};
const Font kCloseFont{10.0, FontWeight::bold};
const Font kSectionFont{8.0, FontWeight::bold, FontDesign::standard, 2.0};
const Font kRowFont{11.0, FontWeight::medium};
const Font kDeleteFont{8.0, FontWeight::bold};
const Font kFilterFont{11.0, FontWeight::regular};
const Font kUndoNoteFont{10.0, FontWeight::regular};
const Font kUndoFont{9.0, FontWeight::bold, FontDesign::standard, 1.2};
constexpr double kRowSpacing = 2.0;
constexpr Color kWhite{1.0, 1.0, 1.0, 1.0};

// The panel's fill. It takes the presses that no control inside takes, so a click on the
// panel's own surface never reaches the scrim behind it and closes the panel.
class PanelFill : public View {
public:
    Flexibility flexibility() const override { return {true, true}; }
    void draw(Graphics& g) override {
        Path area;
        addRect(area, bounds());
        g.fill(area, kPanelMaterial);
        g.fill(area, theme::panelBackground);
    }
    bool acceptsPointer() const override { return true; }
};

ViewPtr sectionHeader(const char* title) {
    return padding(text(title, kSectionFont, theme::textTertiary), {8.0, 8.0, 2.0, 8.0});
}

// `text` with its letters in lower case: A-Z, and the two-byte UTF-8 forms of the Latin-1
// capitals À-Þ (but not ×), so that "écho" finds "Écho". Other bytes stay as they are.
std::string folded(std::string_view text) {
    std::string out(text);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const auto c = static_cast<unsigned char>(out[i]);
        if (c >= 'A' && c <= 'Z') {
            out[i] = static_cast<char>(c + 32);
        } else if (c == 0xC3 && i + 1 < out.size()) {
            const auto next = static_cast<unsigned char>(out[++i]);
            if (next >= 0x80 && next <= 0x9E && next != 0x97) out[i] = static_cast<char>(next + 32);
        }
    }
    return out;
}

} // namespace

bool presetNameMatches(std::string_view name, std::string_view filter) {
    if (filter.empty()) return true;
    return folded(name).find(folded(filter)) != std::string::npos;
}

ViewPtr presetPanelFrame(ViewPtr content, double width) {
    const Shape outline = Shape::roundedRectangle(kPanelCornerRadius);
    ViewPtr body =
        background(frame(std::move(content), {.width = width}), std::make_unique<PanelFill>());
    body = clipped(std::move(body), outline);
    body = overlay(std::move(body),
                   hitTestingOff(shape(outline, {}, solid(theme::borderSubtle), StrokeStyle{1.0})));
    return shadowed(std::move(body), outline, Color{0.0, 0.0, 0.0, 0.5}, 20.0);
}

PresetBrowserView::PresetBrowserView(Binding<bool> isPresented, PresetManager& presetManager,
                                     std::function<void(const Preset&)> onLoad)
    : isPresented(std::move(isPresented)), presetManager(presetManager), onLoad(std::move(onLoad)) {
    // What another editor, a plug-in instance or zerin-render stored since the last look.
    presetManager.reloadIfChanged();
    managerChanges = presetManager.observe([this] { revision.set(revision.peek() + 1); });
    const Preset sample{Uuid(), "Ag", {}, false};
    const double rowPitch =
        rowView(sample, true, nullptr)->sizeThatFits({kWidth, kInfinity}).height + kRowSpacing;
    auto list = std::make_unique<ScrollView>(composed([this] { return listBody(); }),
                                             kMaxListHeight, kRowsPerWheelNotch * rowPitch);
    scrollView = list.get();
    ViewList column = views(header(), filterRow(), horizontalDivider(theme::borderSubtle),
                            std::move(list), composed([this] { return undoBar(); }));
    add(presetPanelFrame(vstack(0.0, HAlign::leading, std::move(column)), kWidth));
}

Size PresetBrowserView::sizeThatFits(Size proposal) {
    return children().front()->sizeThatFits(proposal);
}

void PresetBrowserView::layout(const Rect& frame) {
    View::layout(frame);
    focusOnFirstLayout(*this, field, focusTaken);
}

bool PresetBrowserView::keyDown(const KeyEvent& event) {
    const ModifierKeys& mods = event.modifiers;
    if (mods.control && !mods.shift && !mods.option && !mods.command && event.keysym == U'z')
        return undoDelete();
    if (mods.control || mods.option || mods.command) return false;
    switch (event.key) {
        case Key::escape:
            isPresented.set(false);
            return true;
        case Key::enter:
            loadFirstMatch();
            return true;
        case Key::character:
        case Key::backspace:
            // Typing while the filter has lost the focus (a click on the panel) still filters.
            if (context() == nullptr || context()->focusedView() == field) return false;
            focusFilter();
            return field->keyDown(event);
        default:
            return false;
    }
}

bool PresetBrowserView::loadFirstMatch() {
    if (listRows.empty()) {
        focusFilter();
        return false;
    }
    const Preset first = listRows.front().preset;
    if (onLoad) onLoad(first);
    isPresented.set(false);
    return true;
}

void PresetBrowserView::focusFilter() {
    if (context() != nullptr && field != nullptr) context()->setFocus(field);
}

ViewPtr PresetBrowserView::header() {
    auto close = std::make_unique<Button>(symbol("xmark", kCloseFont, theme::textTertiary),
                                          [this] { isPresented.set(false); });
    return padding(hstack(kDefaultSpacing, VAlign::center,
                          views(text("PRESETS", kTitleFont, theme::textSecondary), spacer(),
                                std::move(close))),
                   EdgeInsets::symmetric(12.0, 8.0));
}

// A field like the save dialog's name field, a little smaller.
ViewPtr PresetBrowserView::filterRow() {
    const TextField::Style style{kFilterFont, kWhite, theme::textTertiary, kWhite};
    Binding<std::string> text{[this] { return filterText.get(); },
                              [this](const std::string& value) {
                                  if (value == filterText.peek()) return;
                                  filterText.set(value);
                                  scrollView->scrollTo(0.0); // a new list starts at its top
                              }};
    auto input = std::make_unique<TextField>(
        std::move(text), "Filter", style, [this] { loadFirstMatch(); },
        [this] { isPresented.set(false); });
    field = input.get();
    ViewPtr box =
        background(padding(std::move(input), EdgeInsets::symmetric(8.0, 5.0)),
                   shape(Shape::roundedRectangle(kRowCornerRadius), solid(kWhite.withAlpha(0.05)),
                         solid(theme::borderSubtle), StrokeStyle{1.0}));
    return padding(std::move(box), {0.0, 8.0, 8.0, 8.0});
}

// Built lazily: only the rows in view exist, so a store of thousands of presets costs a frame
// what a screenful does. Every row of a kind is one line high, so its height is measured once.
ViewPtr PresetBrowserView::listBody() {
    (void)revision.get(); // rebuild whenever the manager changes
    const std::string& filter = filterText.get();
    listRows.clear();
    for (const Preset& preset : factoryPresetList())
        if (presetNameMatches(preset.name, filter)) listRows.push_back({preset, nullptr, nullptr});
    const std::size_t factoryCount = listRows.size();
    for (const Preset& preset : presetManager.userPresets())
        if (presetNameMatches(preset.name, filter)) listRows.push_back({preset, nullptr, nullptr});
    hasUserSection = listRows.size() > factoryCount;
    if (listRows.empty())
        return padding(text("No preset matches", kRowFont, theme::textTertiary),
                       EdgeInsets::symmetric(12.0, 10.0));

    // The items: "FACTORY" and its rows, then "USER" and its rows, each section only when
    // some of its presets match. An item is a row of listRows, or a header (kFactoryTitle,
    // kUserTitle).
    constexpr std::size_t kFactoryTitle = SIZE_MAX;
    constexpr std::size_t kUserTitle = SIZE_MAX - 1;
    std::vector<std::size_t> items;
    items.reserve(listRows.size() + 2);
    for (std::size_t row = 0; row < listRows.size(); ++row) {
        if (row == 0 && factoryCount > 0) items.push_back(kFactoryTitle);
        if (row == factoryCount) items.push_back(kUserTitle);
        items.push_back(row);
    }
    const Size measure{kWidth, kInfinity};
    const double headerHeight = sectionHeader("FACTORY")->sizeThatFits(measure).height;
    const Preset sample{Uuid(), "Ag", {}, false};
    const double factoryRowHeight = rowView(sample, false, nullptr)->sizeThatFits(measure).height;
    const double userRowHeight = rowView(sample, true, nullptr)->sizeThatFits(measure).height;
    std::vector<double> heights;
    heights.reserve(items.size());
    for (std::size_t item : items)
        heights.push_back(item >= kUserTitle    ? headerHeight
                          : item < factoryCount ? factoryRowHeight
                                                : userRowHeight);

    auto makeItem = [this, items, factoryCount](std::size_t i) -> ViewPtr {
        const std::size_t item = items[i];
        if (item >= kUserTitle) return sectionHeader(item == kFactoryTitle ? "FACTORY" : "USER");
        Row& entry = listRows[item];
        return rowView(entry.preset, item >= factoryCount, &entry);
    };
    auto forgetItem = [this, items](std::size_t i) {
        if (items[i] >= kUserTitle) return;
        listRows[items[i]].loadButton = nullptr;
        listRows[items[i]].deleteButton = nullptr;
    };
    auto column = std::make_unique<LazyColumn>(std::move(heights), kRowSpacing, std::move(makeItem),
                                               std::move(forgetItem));
    // The right edge stays clear of the rows' delete buttons for the scroll indicator.
    return padding(std::move(column), {4.0, 4.0, 4.0, ScrollView::kIndicatorZone + 2.0});
}

// Under the list after a delete: which preset went, and the Undo that brings it back.
ViewPtr PresetBrowserView::undoBar() {
    undoButtonView = nullptr;
    const std::vector<Deletion>& deleted = deletions.get();
    if (deleted.empty()) return nullptr;
    const std::string note = "Deleted \u201C" + deleted.back().preset.name + "\u201D";
    auto undo = std::make_unique<Button>(text("UNDO", kUndoFont, theme::accentCyan),
                                         [this] { undoDelete(); });
    undoButtonView = undo.get();
    ViewPtr row = hstack(
        kDefaultSpacing, VAlign::center,
        views(zerin::frame(text(note, kUndoNoteFont, theme::textSecondary),
                           {.maxWidth = kInfinity, .alignment = {HAlign::leading, VAlign::center}}),
              std::move(undo)));
    return vstack(0.0, HAlign::leading,
                  views(horizontalDivider(theme::borderSubtle),
                        padding(std::move(row), EdgeInsets::symmetric(12.0, 8.0))));
}

void PresetBrowserView::remove(const Preset& preset) {
    const Preset removed = preset; // `preset` may be an element of the list being replaced
    const std::vector<Preset>& users = presetManager.userPresets();
    const auto at = std::find_if(users.begin(), users.end(),
                                 [&](const Preset& p) { return p.id == removed.id; });
    const auto index = static_cast<std::size_t>(at - users.begin());
    if (presetManager.deletePreset(removed)) {
        std::vector<Deletion> deleted = deletions.peek();
        deleted.push_back({removed, index});
        deletions.set(std::move(deleted));
    }
    // The click on the delete button took the keyboard from the filter: it goes back.
    focusFilter();
}

bool PresetBrowserView::undoDelete() {
    if (deletions.peek().empty()) return false;
    std::vector<Deletion> deleted = deletions.peek();
    const Deletion last = deleted.back();
    // A store that cannot be written keeps the offer open, to try again.
    if (!presetManager.restoreUserPreset(last.preset, last.index)) return true;
    deleted.pop_back();
    deletions.set(std::move(deleted));
    focusFilter();
    return true;
}

// One preset's row; `entry`, if given, learns its buttons.
ViewPtr PresetBrowserView::rowView(const Preset& preset, bool deletable, Row* entry) {
    PresetManager* manager = &presetManager;
    const std::string name = preset.name;
    const auto isCurrent = [manager, name] { return manager->currentPresetName() == name; };

    ViewPtr label =
        text([name]() -> const std::string& { return name; }, kRowFont,
             [isCurrent] { return isCurrent() ? theme::accentCyan : theme::textPrimary; });
    label =
        padding(zerin::frame(std::move(label), {.maxWidth = kInfinity,
                                                .alignment = {HAlign::leading, VAlign::center}}),
                EdgeInsets::symmetric(8.0, 5.0));
    auto load = std::make_unique<Button>(std::move(label), [this, preset] {
        if (onLoad) onLoad(preset);
        isPresented.set(false);
    });
    if (entry != nullptr) entry->loadButton = load.get();

    ViewList parts = views(std::move(load));
    if (deletable) {
        auto removal =
            std::make_unique<Button>(zerin::frame(symbol("xmark", kDeleteFont, theme::textTertiary),
                                                  {.width = 20.0, .height = 20.0}),
                                     [this, preset] { remove(preset); });
        if (entry != nullptr) entry->deleteButton = removal.get();
        parts.push_back(std::move(removal));
    }

    PaintFunction highlight = [isCurrent](const Rect&) -> Paint {
        return isCurrent() ? theme::accentCyan.withAlpha(0.08) : kClear;
    };
    return background(hstack(kDefaultSpacing, VAlign::center, std::move(parts)),
                      shape(Shape::roundedRectangle(kRowCornerRadius), std::move(highlight)));
}

} // namespace zerin
