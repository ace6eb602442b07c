#include "session/program_info.h"

#include <cctype>
#include <cstdio>
#include <string_view>

namespace zerin::session {

namespace {

// Text as roff prints it. A backslash is escaped, a line that starts with a dot or a quote is
// kept from being read as a request, and a hyphen that begins a word (an option name such as
// --set) is written as a minus, so that it renders as the "-" a user types and can search
// for; a hyphen inside a word ("tempo-synced") stays a hyphen.
std::string roff(std::string_view text) {
    std::string out;
    if (!text.empty() && (text.front() == '.' || text.front() == '\'')) out += "\\&";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool startsWord = i == 0 || !std::isalnum(static_cast<unsigned char>(text[i - 1]));
        if (c == '\\')
            out += "\\e";
        else if (c == '-' && startsWord)
            out += "\\-";
        else
            out += c;
    }
    return out;
}

std::string bold(std::string_view text) {
    return "\\fB" + roff(text) + "\\fR";
}

std::string italic(std::string_view text) {
    return "\\fI" + roff(text) + "\\fR";
}

// "-o, --output FILE" with the names in bold and the value in italics.
std::string optionTerm(const CLI::Option& option) {
    if (option.get_positional()) return italic(option.get_name());
    std::string term;
    for (const std::string& name : option.get_snames())
        term += (term.empty() ? "" : ", ") + bold("-" + name);
    for (const std::string& name : option.get_lnames())
        term += (term.empty() ? "" : ", ") + bold("--" + name);
    if (option.get_type_size_max() != 0) term += " " + italic(option.get_type_name());
    return term;
}

void section(std::string& out, const std::string& title) {
    out += ".SH " + (title.find(' ') == std::string::npos ? title : "\"" + title + "\"") + "\n";
}

void entries(std::string& out, const std::vector<ManualEntry>& list) {
    for (const ManualEntry& entry : list) {
        if (entry.term.empty())
            out += ".PP\n" + roff(entry.text) + "\n";
        else
            out += ".TP\n" + bold(entry.term) + "\n" + roff(entry.text) + "\n";
    }
}

// Positionals first, as --help lists them; hidden options (no group) are left out.
void optionsSection(std::string& out, const CLI::App& app) {
    section(out, "OPTIONS");
    for (const bool positional : {true, false})
        for (const CLI::Option* option : app.get_options()) {
            if (option->get_positional() != positional || option->get_group().empty()) continue;
            out += ".TP\n" + optionTerm(*option) + "\n" + roff(option->get_description()) + "\n";
        }
}

// What both programs share: their exit statuses and the preference store.
void sharedSections(std::string& out, const ManualPage& page) {
    section(out, "EXIT STATUS");
    entries(out, {{"0", "success"},
                  {"1", "any other failure (a file that cannot be read or written, a state that "
                        "is not one, no display for the editor); the message names it"},
                  {"2", "a usage error, an empty value included; the message names the option"}});
    section(out, "ENVIRONMENT");
    entries(out, {{"ZERIN_CONFIG_DIR", "the folder of the preference store, when set"},
                  {"XDG_CONFIG_HOME", "when absolute, the preference store is "
                                      "$XDG_CONFIG_HOME/zerin/preferences.json"}});
    section(out, "FILES");
    entries(out, page.files);
    entries(out, {{"~/.config/zerin/preferences.json",
                   "the preference store: your presets, the same in zerin-render, zerin-editor "
                   "and the plug-in's editor. A damaged store is kept aside as "
                   "preferences.unreadable-TIME.json before it is written again."}});
}

} // namespace

const char* zerinVersion() {
    return ZERIN_VERSION;
}

void declareProgramInfo(CLI::App& app, const ManualPage& page) {
    app.set_version_flag("--version", app.get_name() + " " + zerinVersion(),
                         "print the version and exit");
    app.add_flag_callback(
           "--manual-page",
           [&app, &page] {
               std::fputs(manualPage(app, page).c_str(), stdout);
               throw CLI::Success();
           },
           "print this manual page in roff and exit")
        ->group("");
}

std::string manualPage(const CLI::App& app, const ManualPage& page) {
    std::string name = app.get_name();
    for (char& c : name)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::string out =
        ".TH " + roff(name) + " 1 \"\" \"Zerin " + zerinVersion() + "\" \"User Commands\"\n";
    out += ".nh\n.ad l\n"; // no hyphenation inside names such as dryWet, ragged right
    section(out, "NAME");
    out += roff(app.get_name()) + " \\- " + roff(page.summary) + "\n";
    section(out, "SYNOPSIS");
    out += ".B " + roff(app.get_name()) + "\n" + roff(page.synopsis) + "\n";
    section(out, "DESCRIPTION");
    out += roff(app.get_description()) + "\n";
    optionsSection(out, app);
    sharedSections(out, page);
    for (const ManualSection& s : page.sections) {
        section(out, s.title);
        entries(out, s.entries);
    }
    return out;
}

} // namespace zerin::session
