#pragma once
// Transcripts of trq runs in a workspace, as golden files hold them.

#include <string>
#include <vector>

#include "tests/support/Workspace.h"

namespace testsupport {

// `args` with "@LOGIN@" standing for the catalog's --dsn, --user and --password.
inline std::vector<std::string> Args(const Workspace& ws, const std::vector<std::string>& args) {
    std::vector<std::string> expanded;
    for (const std::string& arg : args) {
        const std::vector<std::string> some =
            arg == "@LOGIN@" ? ws.LoginArgs() : std::vector<std::string>{arg};
        expanded.insert(expanded.end(), some.begin(), some.end());
    }
    return expanded;
}

// Runs trq in the workspace with each argument list in turn: the transcript that golden
// files hold, each run as "$ trq ARGS", its standard output and error, and "exit N".
inline std::string Transcript(const Workspace& ws,
                              const std::vector<std::vector<std::string>>& runs) {
    std::string text;
    for (const std::vector<std::string>& args : runs) {
        text += "$ trq";
        for (const std::string& arg : args) text += " " + arg;
        const ProcessResult result = ws.Trq(Args(ws, args));
        text += "\n" + result.out + result.err + "exit " + std::to_string(result.exitCode) + "\n";
    }
    return text;
}

}  // namespace testsupport
