#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

// Exit statuses of the zok tool.
enum ExitStatus {
    kExitOk = 0,
    kExitFailure = 1,
    kExitUsage = 2,
    kExitPartial = 3,  // archive written, but some entries could not be encoded
};

// How much a command says beside its errors.
enum class Verbosity {
    Quiet,    // -q: no progress bar and no summary
    Normal,   // a progress bar and a summary on a terminal
    Verbose,  // -v: also each name as it is done, as tar -v does
};

// Adds -q/--quiet and -v/--verbose to command; verboseWhat says what -v names.
void AddVerbosityOptions(CLI::App& command, Verbosity& verbosity, const std::string& verboseWhat);

// Adds --max-pixels N to a command that decodes pictures: pictures with more pixels are refused.
void AddPictureLimitOption(CLI::App& command, uint64_t& maxPixels);

// A parsed command ready to run; returns the exit status.
using CommandAction = std::function<int()>;

// Each command adds its subcommand to app and, when that subcommand is chosen, sets action.
void RegisterCreateCommand(CLI::App& app, CommandAction& action);
void RegisterListCommand(CLI::App& app, CommandAction& action);
void RegisterCatCommand(CLI::App& app, CommandAction& action);
void RegisterExtractCommand(CLI::App& app, CommandAction& action);
void RegisterBitmapCommand(CLI::App& app, CommandAction& action);
void RegisterTestCommand(CLI::App& app, CommandAction& action);
void RegisterUpgradeCommand(CLI::App& app, CommandAction& action);
void RegisterUpdateCommand(CLI::App& app, CommandAction& action);
void RegisterDeleteCommand(CLI::App& app, CommandAction& action);

// The zok tool's command line: every command with its options and help texts; the command
// that is parsed sets action. Shared by RunZok and the manual page generator.
void BuildZokApp(CLI::App& app, CommandAction& action);

// Typical command lines for the manual page: the line and what it does.
struct UsageExample {
    const char* line;
    const char* what;
};
const std::vector<UsageExample>& UsageExamples();

// Runs the zok tool on argv; what main returns.
int RunZok(int argc, char** argv);
