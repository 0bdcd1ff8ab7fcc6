#include <CLI/CLI.hpp>

#include <cstdio>
#include <new>
#include <string>

#include "cli/commands.h"
#include "zok_version.h"

void BuildZokApp(CLI::App& app, CommandAction& action) {
    app.description("zok - pack files into ZOK archives (version 1.1.0) and read them back");
    app.name("zok");
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("zok (") + kZokProductName + ") " + kZokVersion);
    app.footer("Run 'zok COMMAND --help' for the options of one command.");

    RegisterCreateCommand(app, action);
    RegisterListCommand(app, action);
    RegisterCatCommand(app, action);
    RegisterExtractCommand(app, action);
    RegisterBitmapCommand(app, action);
    RegisterTestCommand(app, action);
    RegisterUpgradeCommand(app, action);
}

int RunZok(int argc, char** argv) {
    CLI::App app;
    CommandAction action;
    BuildZokApp(app, action);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return kExitUsage;
    }
    if (!action) {
        return kExitUsage;
    }
    try {
        return action();
    } catch (const std::bad_alloc&) {
        std::fputs("zok: not enough memory\n", stderr);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zok: %s\n", e.what());
    }
    return kExitFailure;
}
