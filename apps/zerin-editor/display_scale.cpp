#include "display_scale.h"

#include <X11/Xlib.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>

namespace zerin::editor {

namespace {

// The value of `name` in an X resource database string ("Xft.dpi:\t144\n..."), if any.
std::optional<double> resourceNumber(std::string_view database, std::string_view name) {
    std::size_t line = 0;
    while (line < database.size()) {
        std::size_t end = database.find('\n', line);
        if (end == std::string_view::npos) end = database.size();
        const std::string_view entry = database.substr(line, end - line);
        line = end + 1;
        if (entry.substr(0, name.size()) != name || entry.size() <= name.size() ||
            entry[name.size()] != ':')
            continue;
        const std::string value(entry.substr(name.size() + 1));
        char* parsed = nullptr;
        const double number = std::strtod(value.c_str(), &parsed);
        if (parsed != value.c_str() && number > 0.0) return number;
    }
    return std::nullopt;
}

} // namespace

// A connection of its own, opened and closed here: only the server's resource string is
// read, and no request can fail with an X error.
std::optional<double> desktopScale() {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return std::nullopt;
    std::optional<double> dpi;
    if (const char* database = XResourceManagerString(display))
        dpi = resourceNumber(database, "Xft.dpi");
    XCloseDisplay(display);
    if (!dpi) return std::nullopt;
    return std::clamp(*dpi / 96.0, 0.5, 4.0);
}

} // namespace zerin::editor
