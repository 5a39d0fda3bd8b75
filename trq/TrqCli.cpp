#include "trq/TrqCli.h"

#include <CLI/CLI.hpp>
#include <iostream>
#include <vector>

#include "trq/Command.h"
#include "trq/ExitCodes.h"
#include "trq/commands/AvailCommand.h"
#include "trq/commands/CheckCommand.h"
#include "trq/commands/ExportCommand.h"
#include "trq/commands/InfoCommand.h"
#include "trq/commands/InspectCommand.h"
#include "trq/commands/ListCommand.h"
#include "trq/commands/PlotCommand.h"
#include "trq/commands/ServeCommand.h"

namespace trq {

namespace {

// Every subcommand, in the order the help lists them.
constexpr AddCommand kCommands[] = {
    AddInspectCommand, AddInfoCommand,  AddPlotCommand,  AddExportCommand,
    AddListCommand,    AddAvailCommand, AddServeCommand, AddCheckCommand,
};

}  // namespace

int RunTrqCommandLine(int argc, char** argv) {
    CLI::App app{"trq: looks at, checks, repairs and exports the TRQ archive that plq2trq writes.",
                 "trq"};
    app.require_subcommand(1);
    std::vector<AddedCommand> commands;
    for (const AddCommand add : kCommands) commands.push_back(add(app));

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? kExitOk : kExitUsage;
    }
    for (const AddedCommand& added : commands) {
        if (*added.command) return added.run(std::cout, std::cerr);
    }
    return kExitUsage;  // the parser lets no command line through without a subcommand
}

}  // namespace trq
