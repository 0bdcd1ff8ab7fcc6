#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <new>
#include <string>

#include "cli/commands.h"
#include "cli/output.h"
#include "zok/cleanup.h"
#include "zok/picture.h"
#include "zok_version.h"

using namespace zok;

namespace {

// `zok help [COMMAND]`: the tool's help, or one command's.
void RegisterHelpCommand(CLI::App& app, CommandAction& action) {
    auto* cmd = app.add_subcommand("help", "Show the commands, or the options of one command");
    auto command = std::make_shared<std::string>();
    cmd->add_option("COMMAND", *command, "The command to explain");
    cmd->footer("Exit status: 0 shown; 2 no such command.\n");
    cmd->callback([&app, &action, command] {
        action = [&app, command] {
            // Rendered directly: App::help() would describe the help command itself.
            const auto formatter = app.get_formatter();
            if (command->empty()) {
                std::cout << formatter->make_help(&app, "zok", CLI::AppFormatMode::Normal);
                return int(kExitOk);
            }
            for (CLI::App* sub : app.get_subcommands({})) {
                if (sub->get_name() == *command) {
                    std::cout << formatter->make_help(sub, "zok " + *command,
                                                      CLI::AppFormatMode::Normal);
                    return int(kExitOk);
                }
            }
            ReportError("unknown command: " + *command + " (zok help lists the commands)");
            return int(kExitUsage);
        };
    });
}

// Catches what CLI11 would answer vaguely: an option or a command that does not exist, named as
// it was typed. Returns the exit status, or -1 to go on parsing.
int RefuseUnknownFirstWord(CLI::App& app, int argc, char** argv) {
    if (argc < 2) {
        ReportError("a command is required (zok help lists the commands)");
        return kExitUsage;
    }
    const std::string first = argv[1];
    if (first == "-h" || first == "--help" || first == "--version") {
        return -1;
    }
    if (!first.empty() && first[0] == '-') {
        ReportError("unknown option: " + first + " (zok help lists the commands and options)");
        return kExitUsage;
    }
    for (CLI::App* sub : app.get_subcommands({})) {
        if (sub->get_name() == first) {
            return -1;
        }
    }
    ReportError("unknown command: " + first + " (zok help lists the commands)");
    return kExitUsage;
}

// Parses argv; returns the exit status when parsing ended the run (help shown, or a usage error
// worded with the command it concerns), or -1 to run the command.
int Parse(CLI::App& app, int argc, char** argv) {
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        // The first word is a command here (RefuseUnknownFirstWord saw to it).
        const std::string command = argc > 1 && argv[1][0] != '-' ? argv[1] : "";
        if (command.empty()) {
            ReportError(std::string(e.what()) + " (zok help lists the commands)");
        } else {
            ReportError(command + ": " + e.what() + " (zok help " + command +
                        " shows its options)");
        }
        return kExitUsage;
    }
    return -1;
}

}  // namespace

void AddVerbosityOptions(CLI::App& command, Verbosity& verbosity, const std::string& verboseWhat) {
    auto* quiet = command.add_flag_callback(
        "-q,--quiet", [&verbosity] { verbosity = Verbosity::Quiet; },
        "Say nothing but errors: no progress bar, no summary");
    command
        .add_flag_callback(
            "-v,--verbose", [&verbosity] { verbosity = Verbosity::Verbose; }, verboseWhat)
        ->excludes(quiet);
}

void AddPictureLimitOption(CLI::App& command, uint64_t& maxPixels) {
    command
        .add_option("--max-pixels", maxPixels,
                    "Decode pictures of up to N pixels (default " +
                        std::to_string(zok::kDefaultPictureLimit) +
                        "); larger ones are refused before any memory is taken for them")
        ->type_name("N");
}

void BuildZokApp(CLI::App& app, CommandAction& action) {
    app.description("zok - pack files into ZOK archives (version 1.1.0) and read them back");
    app.name("zok");
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("zok (") + kZokProductName + ") " + kZokVersion);
    app.footer(
        "Run 'zok help COMMAND' or 'zok COMMAND --help' for the options of one command.\n"
        "Exit status: 0 success; 1 failure (one message per problem on stderr, nothing\n"
        "half-written; also when the standard output or error cannot be written); 2 usage\n"
        "error; 3 the archive was written but some entries could not be encoded.");

    RegisterCreateCommand(app, action);
    RegisterListCommand(app, action);
    RegisterCatCommand(app, action);
    RegisterExtractCommand(app, action);
    RegisterBitmapCommand(app, action);
    RegisterTestCommand(app, action);
    RegisterUpdateCommand(app, action);
    RegisterDeleteCommand(app, action);
    RegisterUpgradeCommand(app, action);
    RegisterHelpCommand(app, action);
}

int RunZok(int argc, char** argv) {
    // An interrupted command leaves no temporary file behind.
    RemoveTemporaryFilesOnSignals();
    CLI::App app;
    CommandAction action;
    BuildZokApp(app, action);
    int status = RefuseUnknownFirstWord(app, argc, argv);
    if (status < 0) {
        status = Parse(app, argc, argv);
    }
    if (status < 0) {
        status = kExitUsage;
        if (action) {
            try {
                status = action();
            } catch (const std::bad_alloc&) {
                ReportError("not enough memory");
                status = kExitFailure;
            } catch (const std::exception& e) {
                ReportError(e.what());
                status = kExitFailure;
            }
        }
    }
    // What could not be written (a full disk, a closed pipe) is a failure, whatever was asked.
    if (OutputFailed() && status != kExitUsage) {
        status = kExitFailure;
    }
    return status;
}
