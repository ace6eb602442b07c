#pragma once

#include <optional>

namespace zerin::editor {

// The scale the desktop asks of X11 applications: its Xft.dpi resource over 96, within the
// editor's 0.5 to 4. None when the display cannot be opened or sets no Xft.dpi.
std::optional<double> desktopScale();

} // namespace zerin::editor
