#pragma once
// Runs a program as a user would, in a given working directory, and collects what it
// printed and how it ended.

#include <map>
#include <string>
#include <vector>

namespace testsupport {

struct ProcessResult {
    int exitCode = -1000;  // the low 8 bits of the exit status, as a shell's $? shows them
    std::string out;       // standard output
    std::string err;       // standard error
};

// Runs `program` with `args` in `workDir`. `env` entries are set on top of the current
// environment (an empty value removes the variable). Stdin is /dev/null.
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& workDir,
                         const std::map<std::string, std::string>& env = {});

// The plq2trq executable of this build.
inline const char* ConverterPath() { return PLQ2TRQ_EXE; }

}  // namespace testsupport
