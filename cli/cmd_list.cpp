#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <string>

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

int RunList(const std::string& path, bool json) {
    std::unique_ptr<CZokFile> zok = OpenArchive(path);
    if (!zok) {
        return kExitFailure;
    }
    // Printed entry by entry: the listing of a huge directory is never built in memory.
    const size_t count = zok->Count();
    if (json) {
        std::printf("{\"version\": %s, \"entries\": [", JsonString(zok->Version(), false).c_str());
        for (size_t i = 0; i < count; ++i) {
            const EntryRecord r = zok->Record(i);
            std::printf(
                "%s{\"name\": %s, \"kind\": %u, \"offset\": %u, \"sourceSize\": %u, "
                "\"storedSize\": %u, \"holdsData\": %s}",
                i == 0 ? "\n  " : ",\n  ", JsonString(r.name, true).c_str(), unsigned(r.kind),
                r.offset, r.sourceSize, r.storedSize, zok->HoldsNoData(i) ? "false" : "true");
        }
        std::fputs(count == 0 ? "]}\n" : "\n]}\n", stdout);
    } else {
        std::printf("ZOK archive version %s, %zu entries\n", VersionShown(zok->Version()).c_str(),
                    count);
        std::printf("%-4s %10s %10s %10s  %s\n", "KIND", "SOURCE", "STORED", "OFFSET", "NAME");
        for (size_t i = 0; i < count; ++i) {
            const EntryRecord r = zok->Record(i);
            std::printf("%-4u %10u %10u %10u  %s%s\n", unsigned(r.kind), r.sourceSize, r.storedSize,
                        r.offset, Printable(r.name).c_str(),
                        zok->HoldsNoData(i) ? "  (no data: could not be encoded)" : "");
        }
    }
    return kExitOk;
}

}  // namespace

void RegisterListCommand(CLI::App& app, CommandAction& action) {
    auto* cmd = app.add_subcommand(
        "list",
        "Show the version and the directory: kind, source size, stored size, offset and name "
        "of each entry (entries left empty when the archive was built are marked)");
    auto archive = std::make_shared<std::string>();
    auto json = std::make_shared<bool>(false);
    cmd->add_flag("--json", *json,
                  "Print one JSON object: {\"version\": ..., \"entries\": [{\"name\", \"kind\", "
                  "\"offset\", \"sourceSize\", \"storedSize\", \"holdsData\"}, ...]}");
    cmd->add_option("ARCHIVE", *archive, "The archive to read")->required();
    cmd->footer("Exit status: 0 listed; 1 the archive cannot be read; 2 usage error.\n");
    cmd->callback([&action, archive, json] {
        action = [archive, json] { return RunList(*archive, *json); };
    });
}
