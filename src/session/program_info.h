#pragma once

// What each program says about itself besides its options: its version, and its manual page.
// The page is made from the very option table that --help prints, so the two never drift; the
// build writes it with the hidden option --manual-page.

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

namespace zerin::session {

// A tagged paragraph of a manual page; with no term, a plain paragraph.
struct ManualEntry {
    std::string term;
    std::string text;
};

struct ManualSection {
    std::string title;
    std::vector<ManualEntry> entries;
};

// What the option table does not say. The page reads: NAME, SYNOPSIS, DESCRIPTION (the
// program's description), OPTIONS (the table), the sections both programs share (EXIT STATUS,
// ENVIRONMENT, FILES), then `sections` (EXAMPLES).
struct ManualPage {
    std::string summary;  // the NAME line after "program \- "
    std::string synopsis; // what follows the program's name, e.g. "[OPTIONS] [INPUT]"
    std::vector<ManualSection> sections;
    std::vector<ManualEntry> files; // the program's own files, before the preference store
};

// The project's version, "0.2.0".
const char* zerinVersion();

// Declares --version (prints "PROGRAM VERSION", exit status 0) and the hidden --manual-page
// (prints the page in roff, exit status 0). `page` must outlive the parse.
void declareProgramInfo(CLI::App& app, const ManualPage& page);

// The manual page of `app` in roff (man(7)).
std::string manualPage(const CLI::App& app, const ManualPage& page);

} // namespace zerin::session
