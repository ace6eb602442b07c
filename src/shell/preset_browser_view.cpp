#include "shell/preset_browser_view.h"

#include "platform/ui/shapes.h"
#include "presets/factory_presets.h"
#include "presets/preset_manager.h"
#include "widgets/controls.h"
#include "widgets/theme.h"

#include <optional>
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

} // namespace

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
    managerChanges = presetManager.observe([this] { revision.set(revision.peek() + 1); });
    auto list =
        std::make_unique<ScrollView>(composed([this] { return listBody(); }), kMaxListHeight);
    scrollView = list.get();
    ViewList column = views(header(), horizontalDivider(theme::borderSubtle), std::move(list));
    add(presetPanelFrame(vstack(0.0, HAlign::leading, std::move(column)), kWidth));
}

Size PresetBrowserView::sizeThatFits(Size proposal) {
    return children().front()->sizeThatFits(proposal);
}

ViewPtr PresetBrowserView::header() {
    auto close = std::make_unique<Button>(symbol("xmark", kCloseFont, theme::textTertiary),
                                          [this] { isPresented.set(false); });
    return padding(hstack(kDefaultSpacing, VAlign::center,
                          views(text("PRESETS", kTitleFont, theme::textSecondary), spacer(),
                                std::move(close))),
                   EdgeInsets::symmetric(12.0, 8.0));
}

// Built lazily: only the rows in view exist, so a store of thousands of presets costs a frame
// what a screenful does. Every row of a kind is one line high, so its height is measured once.
ViewPtr PresetBrowserView::listBody() {
    (void)revision.get(); // rebuild whenever the manager changes
    listRows.clear();
    const std::vector<Preset>& factory = factoryPresetList();
    const std::vector<Preset>& users = presetManager.userPresets();
    listRows.reserve(factory.size() + users.size());
    for (const Preset& preset : factory)
        listRows.push_back({preset, nullptr, nullptr});
    for (const Preset& preset : users)
        listRows.push_back({preset, nullptr, nullptr});

    // The items: "FACTORY", its rows, then "USER" and its rows when there are any.
    const std::size_t factoryCount = factory.size();
    const std::size_t userTitleIndex = factoryCount + 1;
    const bool hasUsers = !users.empty();
    const std::size_t itemCount = factoryCount + 1 + (hasUsers ? users.size() + 1 : 0);
    const Size measure{kWidth, kInfinity};
    const double headerHeight = sectionHeader("FACTORY")->sizeThatFits(measure).height;
    const Preset sample{Uuid(), "Ag", {}, false};
    const double factoryRowHeight = rowView(sample, false, nullptr)->sizeThatFits(measure).height;
    const double userRowHeight = rowView(sample, true, nullptr)->sizeThatFits(measure).height;
    std::vector<double> heights(itemCount, userRowHeight);
    heights[0] = headerHeight;
    for (std::size_t i = 1; i <= factoryCount; ++i)
        heights[i] = factoryRowHeight;
    if (hasUsers) heights[userTitleIndex] = headerHeight;

    // Item i as a row of listRows, if it is one.
    const auto rowIndex = [factoryCount,
                           userTitleIndex](std::size_t item) -> std::optional<std::size_t> {
        if (item == 0 || item == userTitleIndex) return std::nullopt;
        return item <= factoryCount ? item - 1 : item - 2;
    };
    auto makeItem = [this, rowIndex, factoryCount](std::size_t item) -> ViewPtr {
        const auto index = rowIndex(item);
        if (!index) return sectionHeader(item == 0 ? "FACTORY" : "USER");
        Row& entry = listRows[*index];
        return rowView(entry.preset, *index >= factoryCount, &entry);
    };
    auto forgetItem = [this, rowIndex](std::size_t item) {
        if (const auto index = rowIndex(item)) {
            listRows[*index].loadButton = nullptr;
            listRows[*index].deleteButton = nullptr;
        }
    };
    hasUserSection = hasUsers;
    auto column = std::make_unique<LazyColumn>(std::move(heights), 2.0, std::move(makeItem),
                                               std::move(forgetItem));
    // The right edge stays clear of the rows' delete buttons for the scroll indicator.
    return padding(std::move(column), {4.0, 4.0, 4.0, ScrollView::kIndicatorZone + 2.0});
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
        auto remove =
            std::make_unique<Button>(zerin::frame(symbol("xmark", kDeleteFont, theme::textTertiary),
                                                  {.width = 20.0, .height = 20.0}),
                                     [manager, preset] { manager->deletePreset(preset); });
        if (entry != nullptr) entry->deleteButton = remove.get();
        parts.push_back(std::move(remove));
    }

    PaintFunction highlight = [isCurrent](const Rect&) -> Paint {
        return isCurrent() ? theme::accentCyan.withAlpha(0.08) : kClear;
    };
    return background(hstack(kDefaultSpacing, VAlign::center, std::move(parts)),
                      shape(Shape::roundedRectangle(kRowCornerRadius), std::move(highlight)));
}

} // namespace zerin
