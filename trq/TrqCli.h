#pragma once
// The command line of `trq`: parses the subcommand and its options and runs it.

namespace trq {

// Returns the process exit code.
int RunTrqCommandLine(int argc, char** argv);

}  // namespace trq
