#pragma once

// The size the editor's window last had, kept in the preference store, so that it opens as
// the musician left it: in `zerin-editor` and in a plug-in host alike.

#include "platform/ui/geometry.h"
#include "presets/preference_store.h"

#include <optional>
#include <string_view>

namespace zerin {

// {"width": W, "height": H} in points.
inline constexpr std::string_view kEditorSizeKey = "editorSize";
// Larger than any screen the editor is drawn on in one piece.
inline constexpr Size kMaximumEditorSize{8192.0, 8192.0};

// `size` brought within the editor's minimum and kMaximumEditorSize; null when it is not a
// size at all (not finite).
std::optional<Size> usableEditorSize(Size size);

// What the store holds, made usable; null when it holds nothing readable.
std::optional<Size> storedEditorSize(const PreferenceStore& store);
// Keeps `size` (made usable) unless the store holds it already. Failures stay silent: a size
// is not worth a message.
void storeEditorSize(PreferenceStore& store, Size size);

} // namespace zerin
