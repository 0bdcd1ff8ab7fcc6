// Writes the manual page zok(1) from the zok tool's own command line, so that the page names
// every command, option and exit status exactly as `zok COMMAND --help` does.
// Usage: zok-make-man-page OUT.1
#include <CLI/CLI.hpp>

#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/commands.h"
#include "zok_version.h"

namespace {

// Text as roff source: backslashes and dashes escaped, characters outside ASCII as \[uXXXX],
// and a leading "." or "'" kept from being read as a request.
std::string Roff(std::string_view text) {
    std::string out;
    bool lineStart = true;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (lineStart && (c == '.' || c == '\'')) {
            out += "\\&";
        }
        lineStart = c == '\n';
        if (c == '\\') {
            out += "\\e";
        } else if (c == '-') {
            out += "\\-";
        } else if (c < 0x80) {
            out.push_back(char(c));
        } else {
            // One UTF-8 sequence; a broken one becomes U+FFFD.
            const int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
            uint32_t code = extra == 0 ? 0xFFFD : c & (0x3F >> extra);
            for (int k = 0; k < extra; ++k) {
                const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
                if ((next & 0xC0) != 0x80) {
                    code = 0xFFFD;
                    break;
                }
                code = (code << 6) | (next & 0x3F);
                ++i;
            }
            char escape[16];
            std::snprintf(escape, sizeof escape, "\\[u%04X]", unsigned(code));
            out += escape;
        }
    }
    return out;
}

bool IsFlag(const CLI::Option& option) {
    return option.get_type_name().empty();
}

// The value's name without the checks CLI11 appends to it ("N" of "N:UINT in [1 - 1024]").
std::string ValueName(const CLI::Option& option) {
    const std::string full = option.get_type_name();
    return full.substr(0, full.find(':'));
}

// What those checks accept ("UINT in [1 - 1024]"), or empty.
std::string ValueCheck(const CLI::Option& option) {
    const std::string full = option.get_type_name();
    const size_t colon = full.find(':');
    return colon == std::string::npos ? "" : full.substr(colon + 1);
}

// The first name, the short one when there is one: "-j", "--json".
std::string FirstName(const CLI::Option& option) {
    return option.get_snames().empty() ? "--" + option.get_lnames().front()
                                       : "-" + option.get_snames().front();
}

// "[-j N]", "ARCHIVE", "FILE..." or "[NAME...]" for the synopsis.
std::string SynopsisItem(const CLI::Option& option) {
    std::string item;
    if (option.nonpositional()) {
        item = "\\fB" + Roff(FirstName(option)) + "\\fR";
        if (!IsFlag(option)) {
            item += " \\fI" + Roff(ValueName(option)) + "\\fR";
        }
    } else {
        item = "\\fI" + Roff(option.get_name(true)) + "\\fR";
        if (option.get_items_expected_max() > 1) {
            item += "...";
        }
    }
    return option.get_required() ? item : "[" + item + "]";
}

// One .TP paragraph: "-j, --jobs N" or "ARCHIVE", then the help text and the default.
std::string OptionParagraph(const CLI::Option& option) {
    std::string head;
    if (option.nonpositional()) {
        std::vector<std::string> names;
        for (const std::string& s : option.get_snames()) {
            names.push_back("\\fB\\-" + Roff(s) + "\\fR");
        }
        for (const std::string& l : option.get_lnames()) {
            names.push_back("\\fB\\-\\-" + Roff(l) + "\\fR");
        }
        for (size_t i = 0; i < names.size(); ++i) {
            head += (i == 0 ? "" : ", ") + names[i];
        }
        if (!IsFlag(option)) {
            head += " \\fI" + Roff(ValueName(option)) + "\\fR";
        }
    } else {
        head = "\\fI" + Roff(option.get_name(true)) + "\\fR";
    }
    std::string body = Roff(option.get_description());
    if (!ValueCheck(option).empty()) {
        body += " (" + Roff(ValueName(option) + ": " + ValueCheck(option)) + ")";
    }
    if (!option.get_default_str().empty()) {
        body += " (default: " + Roff(option.get_default_str()) + ")";
    }
    return ".TP\n" + head + "\n" + body + "\n";
}

// The options a command's help lists, its own help flag last as --help prints it.
std::vector<const CLI::Option*> ListedOptions(const CLI::App& app) {
    std::vector<const CLI::Option*> options;
    for (const CLI::Option* option : app.get_options()) {
        if (option != app.get_help_ptr()) {
            options.push_back(option);
        }
    }
    if (app.get_help_ptr() != nullptr) {
        options.push_back(app.get_help_ptr());
    }
    return options;
}

// A footer's notes, and what follows "Exit status:" in it.
struct Footer {
    std::string notes;
    std::string exitStatus;
};

Footer SplitFooter(const std::string& footer) {
    static const std::string kMarker = "Exit status:";
    const size_t at = footer.find(kMarker);
    if (at == std::string::npos) {
        return {footer, ""};
    }
    return {footer.substr(0, at), footer.substr(at + kMarker.size())};
}

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \n");
    const size_t last = text.find_last_not_of(" \n");
    return first == std::string::npos ? "" : text.substr(first, last - first + 1);
}

std::string ManPage(const CLI::App& app) {
    const auto commands = app.get_subcommands([](const CLI::App*) { return true; });
    std::string page;
    page += ".TH ZOK 1 \"\" \"ZOK Compressor " + Roff(kZokVersion) + "\" \"User Commands\"\n";
    page += ".SH NAME\n" + Roff(app.get_description()) + "\n";

    page += ".SH SYNOPSIS\n";
    for (const CLI::App* command : commands) {
        page += ".B zok " + Roff(command->get_name()) + "\n";
        for (bool positionals : {false, true}) {
            for (const CLI::Option* option : command->get_options()) {
                if (option != command->get_help_ptr() && option->nonpositional() != positionals) {
                    page += SynopsisItem(*option) + "\n";
                }
            }
        }
        page += ".br\n";
    }
    page += ".B zok\n";
    for (const CLI::Option* option : ListedOptions(app)) {
        page += SynopsisItem(*option) + "\n";
    }

    page += ".SH DESCRIPTION\n";
    page += "\\fBzok\\fR runs one of the commands below. " + Roff(Trimmed(app.get_footer())) + "\n";
    page += ".PP\nOptions of the tool itself:\n";
    for (const CLI::Option* option : ListedOptions(app)) {
        page += OptionParagraph(*option);
    }

    page += ".SH COMMANDS\n";
    for (const CLI::App* command : commands) {
        page += ".SS zok " + Roff(command->get_name()) + "\n";
        page += Roff(command->get_description()) + ".\n";
        for (const CLI::Option* option : ListedOptions(*command)) {
            page += OptionParagraph(*option);
        }
        const std::string notes = Trimmed(SplitFooter(command->get_footer()).notes);
        if (!notes.empty()) {
            page += ".PP\n" + Roff(notes) + "\n";
        }
    }

    page += ".SH EXAMPLES\n";
    for (const UsageExample& example : UsageExamples()) {
        page += ".TP\n\\fB" + Roff(example.line) + "\\fR\n" + Roff(example.what) + "\n";
    }

    page += ".SH EXIT STATUS\n";
    for (const CLI::App* command : commands) {
        const std::string status = Trimmed(SplitFooter(command->get_footer()).exitStatus);
        if (!status.empty()) {
            page += ".TP\n\\fBzok " + Roff(command->get_name()) + "\\fR\n" + Roff(status) + "\n";
        }
    }
    page += ".SH SEE ALSO\n\\fBzok\\-compressor\\fR, the desktop program of " +
            Roff(kZokProductName) + ".\n";
    return page;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: zok-make-man-page OUT.1\n");
        return 2;
    }
    CLI::App app;
    CommandAction action;
    BuildZokApp(app, action);
    std::ofstream out(argv[1], std::ios::binary);
    out << ManPage(app);
    out.close();
    if (!out) {
        std::fprintf(stderr, "zok-make-man-page: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
