#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/read_support.h"

namespace {

// A JSON string literal; names are UTF-8, anything else outside ASCII is kept as \u00XX.
std::string JsonString(std::string_view text, bool utf8) {
    static const char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(c);
        } else if (byte < 0x20 || byte == 0x7F || (!utf8 && byte >= 0x80)) {
            out += "\\u00";
            out.push_back(kHex[byte >> 4]);
            out.push_back(kHex[byte & 0x0F]);
        } else {
            out.push_back(c);
        }
    }
    return out + "\"";
}

int RunList(const std::string& path, bool json) {
    std::unique_ptr<CZokFile> zok = OpenArchive(path);
    if (!zok) {
        return kExitFailure;
    }
    const auto& records = zok->Records();
    if (json) {
        std::string out = "{\"version\": " + JsonString(zok->Version(), false) + ", \"entries\": [";
        for (size_t i = 0; i < records.size(); ++i) {
            const EntryRecord& r = records[i];
            out += i == 0 ? "\n  " : ",\n  ";
            out += "{\"name\": " + JsonString(r.name, true) +
                   ", \"kind\": " + std::to_string(unsigned(r.kind)) +
                   ", \"offset\": " + std::to_string(r.offset) +
                   ", \"sourceSize\": " + std::to_string(r.sourceSize) +
                   ", \"storedSize\": " + std::to_string(r.storedSize) + "}";
        }
        out += records.empty() ? "]}\n" : "\n]}\n";
        std::fputs(out.c_str(), stdout);
    } else {
        std::printf("%-4s %10s %10s %10s  %s\n", "KIND", "SOURCE", "STORED", "OFFSET", "NAME");
        for (const EntryRecord& r : records) {
            std::printf("%-4u %10u %10u %10u  %s\n", unsigned(r.kind), r.sourceSize, r.storedSize,
                        r.offset, Printable(r.name).c_str());
        }
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        ReportError("cannot write the listing");
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace

void RegisterListCommand(CLI::App& app, CommandAction& action) {
    auto* cmd = app.add_subcommand(
        "list",
        "Show the directory: kind, source size, stored size, offset and name of each entry");
    auto archive = std::make_shared<std::string>();
    auto json = std::make_shared<bool>(false);
    cmd->add_flag("--json", *json,
                  "Print one JSON object: {\"version\": ..., \"entries\": [{\"name\", \"kind\", "
                  "\"offset\", \"sourceSize\", \"storedSize\"}, ...]}");
    cmd->add_option("ARCHIVE", *archive, "The archive to read")->required();
    cmd->footer("Exit status: 0 listed; 1 the archive cannot be read; 2 usage error.\n");
    cmd->callback([&action, archive, json] {
        action = [archive, json] { return RunList(*archive, *json); };
    });
}
