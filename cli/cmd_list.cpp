#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/read_support.h"

using namespace zok;

namespace {

// A JSON string literal; names are UTF-8, anything else outside ASCII is kept as \u00XX.
void AppendHexByte(std::string& out, unsigned char byte, const char* prefix, bool upperCase) {
    const char* digits = upperCase ? "0123456789ABCDEF" : "0123456789abcdef";
    out += prefix;
    out.push_back(digits[byte >> 4]);
    out.push_back(digits[byte & 0x0F]);
}

std::string JsonString(std::string_view text, bool utf8) {
    std::string out = "\"";
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(c);
        } else if (byte < 0x20 || byte == 0x7F || (!utf8 && byte >= 0x80)) {
            AppendHexByte(out, byte, "\\u00", false);
        } else {
            out.push_back(c);
        }
    }
    return out + "\"";
}

// The version's three bytes as "1.1.0"; a byte that is no printable ASCII character is shown as
// \xNN, so that a crafted archive cannot drive the terminal.
std::string VersionShown(std::string_view version) {
    std::string out;
    for (const char c : version) {
        if (!out.empty()) {
            out.push_back('.');
        }
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F) {
            out.push_back(c);
        } else {
            AppendHexByte(out, byte, "\\x", true);
        }
    }
    return out;
}

void PrintJson(const CZokFile& zok, const std::vector<size_t>& shown) {
    std::printf("{\"version\": %s, \"entries\": [", JsonString(zok.Version(), false).c_str());
    for (size_t n = 0; n < shown.size(); ++n) {
        const EntryDescription d = zok.Describe(shown[n]);
        std::printf(
            "%s{\"name\": %s, \"kind\": %u, \"kindName\": \"%s\", \"offset\": %u, "
            "\"sourceSize\": %u, \"storedSize\": %u, \"holdsData\": %s}",
            n == 0 ? "\n  " : ",\n  ", JsonString(d.name, true).c_str(), unsigned(d.kind),
            ContentKindName(d.content), d.offset, d.sourceSize, d.storedSize,
            d.holdsData ? "true" : "false");
    }
    std::fputs(shown.empty() ? "]}\n" : "\n]}\n", stdout);
}

// The table, with a totals line under it as unzip -l has.
void PrintTable(const CZokFile& zok, const std::vector<size_t>& shown) {
    std::printf("ZOK archive version %s, %s\n", VersionShown(zok.Version()).c_str(),
                Counted(zok.Count(), "entry", "entries").c_str());
    std::printf("%-8s %10s %10s %10s  %s\n", "KIND", "SOURCE", "STORED", "OFFSET", "NAME");
    uint64_t source = 0;
    uint64_t stored = 0;
    for (const size_t index : shown) {
        const EntryDescription d = zok.Describe(index);
        source += d.sourceSize;
        stored += d.storedSize;
        std::printf("%-8s %10u %10u %10u  %s%s\n", ContentKindName(d.content), d.sourceSize,
                    d.storedSize, d.offset, Printable(d.name).c_str(),
                    d.holdsData ? "" : "  (no data: could not be encoded)");
    }
    std::printf("%-8s %10s %10s %10s  %s\n", "", "----------", "----------", "", "-------");
    std::printf("%-8s %10llu %10llu %10s  %s\n", "", static_cast<unsigned long long>(source),
                static_cast<unsigned long long>(stored), "",
                Counted(shown.size(), "entry", "entries").c_str());
}

int RunList(const std::string& path, bool json, const std::vector<std::string>& names) {
    std::unique_ptr<CZokFile> zok = OpenArchive(path);
    if (!zok) {
        return kExitFailure;
    }
    bool allFound = true;
    std::vector<size_t> shown;
    if (names.empty()) {
        shown.resize(zok->Count());
        for (size_t i = 0; i < shown.size(); ++i) {
            shown[i] = i;
        }
    } else {
        shown = FindEntries(*zok, names, &allFound);
    }
    if (json) {
        PrintJson(*zok, shown);
    } else {
        PrintTable(*zok, shown);
    }
    return allFound ? kExitOk : kExitFailure;
}

}  // namespace

void RegisterListCommand(CLI::App& app, CommandAction& action) {
    auto* cmd = app.add_subcommand(
        "list",
        "Show the version and the directory: kind, source size, stored size, offset and name "
        "of each entry (entries left empty when the archive was built are marked)");
    auto archive = std::make_shared<std::string>();
    auto json = std::make_shared<bool>(false);
    auto names = std::make_shared<std::vector<std::string>>();
    cmd->add_flag("--json", *json,
                  "Print one JSON object: {\"version\": ..., \"entries\": [{\"name\", \"kind\", "
                  "\"kindName\", \"offset\", \"sourceSize\", \"storedSize\", \"holdsData\"}, "
                  "...]}");
    cmd->add_option("ARCHIVE", *archive, kReadArchiveHelp)->required();
    cmd->add_option("NAME", *names, kNamesHelp);
    cmd->footer(
        "Kinds: png (a picture stored as a PNG stream), bitmap (a BMP file stored as it is),\n"
        "deflated, stored (a name ending in \"old\", kept byte for byte), unknown. The last\n"
        "line gives the totals of the entries listed.\n"
        "Exit status: 0 listed; 1 the archive cannot be read, or a NAME matches no entry;\n"
        "2 usage error.\n");
    cmd->callback([&action, archive, json, names] {
        action = [archive, json, names] { return RunList(*archive, *json, *names); };
    });
}
