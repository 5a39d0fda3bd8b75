#pragma once
// One subcommand of `trq` as the command table (TrqCli.cpp) lists it: the function that adds
// it with its options to the command line and hands back what runs it once parsed. Adding a
// subcommand adds a file to commands/ and a line to the table, nothing else.

#include <functional>
#include <ostream>

namespace CLI {
class App;
}

namespace trq {

struct AddedCommand {
    CLI::App* command = nullptr;  // parsed when the command line named it
    // Runs it with the options parsed; returns the process exit code.
    std::function<int(std::ostream& out, std::ostream& err)> run;
};

using AddCommand = AddedCommand (*)(CLI::App& app);

}  // namespace trq
