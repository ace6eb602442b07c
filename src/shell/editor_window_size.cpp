#include "shell/editor_window_size.h"

#include "shell/main_view.h"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <string>

namespace zerin {

std::optional<Size> usableEditorSize(Size size) {
    if (!std::isfinite(size.width) || !std::isfinite(size.height)) return std::nullopt;
    const Size least = ZerinExtensionMainView::kMinimumSize;
    return Size{std::clamp(size.width, least.width, kMaximumEditorSize.width),
                std::clamp(size.height, least.height, kMaximumEditorSize.height)};
}

std::optional<Size> storedEditorSize(const PreferenceStore& store) {
    std::optional<Size> found;
    store.read(kEditorSizeKey, [&found](const nlohmann::ordered_json* value) {
        if (value == nullptr || !value->is_object()) return;
        const auto width = value->find("width");
        const auto height = value->find("height");
        if (width == value->end() || height == value->end() || !width->is_number() ||
            !height->is_number())
            return;
        found = usableEditorSize({width->get<double>(), height->get<double>()});
    });
    return found;
}

void storeEditorSize(PreferenceStore& store, Size size) {
    std::optional<Size> usable = usableEditorSize(size);
    if (!usable) return;
    usable = Size{std::round(usable->width), std::round(usable->height)};
    if (storedEditorSize(store) == usable) return;
    store.update(kEditorSizeKey, [&usable](nlohmann::ordered_json& value) {
        value = nlohmann::ordered_json{{"width", usable->width}, {"height", usable->height}};
        return std::string();
    });
}

} // namespace zerin
