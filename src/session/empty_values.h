#pragma once

// Shared by the command lines of zerin-render and zerin-editor.

#include <CLI/CLI.hpp>

#include <optional>
#include <string>

namespace zerin::session {

// The name of the first option given an empty value, if any. An empty value is a slip (an
// unset shell variable, say), never a choice: "" is neither 0 seconds nor "no output name".
inline std::optional<std::string> optionWithEmptyValue(const CLI::App& app) {
    for (const CLI::Option* option : app.get_options()) {
        if (option->get_type_size_max() == 0) continue; // a flag
        for (const std::string& value : option->results())
            if (value.empty()) return option->get_name();
    }
    return std::nullopt;
}

} // namespace zerin::session
