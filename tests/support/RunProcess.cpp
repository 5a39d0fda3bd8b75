#include "tests/support/RunProcess.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tests/support/Deadline.h"
#include "tests/support/TempDir.h"

extern char** environ;

namespace testsupport {

namespace {

std::vector<std::string> MergedEnvironment(const std::map<std::string, std::string>& env) {
    std::map<std::string, std::string> merged;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        std::string text(*entry);
        auto eq = text.find('=');
        if (eq != std::string::npos) merged[text.substr(0, eq)] = text.substr(eq + 1);
    }
    for (const auto& [key, value] : env) {
        if (value.empty()) {
            merged.erase(key);
        } else {
            merged[key] = value;
        }
    }
    std::vector<std::string> out;
    for (const auto& [key, value] : merged) out.push_back(key + "=" + value);
    return out;
}

}  // namespace

FileSizeLimit::FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    rlimit lowered = saved_;
    lowered.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &lowered);
    previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
}

FileSizeLimit::~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previousHandler_);
}

namespace {

// Starts `program` with stdin /dev/null and stdout and stderr to the two files.
pid_t Spawn(const std::string& program, const std::vector<std::string>& args,
            const std::string& workDir, const std::map<std::string, std::string>& env,
            const std::string& outPath, const std::string& errPath) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());

    std::vector<std::string> argStrings{program};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argStrings) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStrings = MergedEnvironment(env);
    std::vector<char*> envp;
    for (auto& e : envStrings) envp.push_back(e.data());
    envp.push_back(nullptr);

    pid_t pid = 0;
    int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " + program);
    return pid;
}

// How long a server may take to end after SIGTERM.
constexpr std::chrono::seconds kLongestStop{10};

int ExitCodeOf(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1000;
}

// Waits for `pid` to end, at most `limit`; then kills it and fails the test naming `what`.
int WaitForExit(pid_t pid, std::chrono::seconds limit, const std::string& what) {
    int status = 0;
    const bool ended = WaitUntil(
        [&] {
            const pid_t got = waitpid(pid, &status, WNOHANG);
            return got == pid || (got < 0 && errno != EINTR);
        },
        limit, what + " to end (killed)");
    if (!ended) {
        ::kill(pid, SIGKILL);
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    return ExitCodeOf(status);
}

std::string CommandLine(const std::string& program, const std::vector<std::string>& args) {
    std::string line = program;
    for (const std::string& arg : args) line += " " + arg;
    return line;
}

}  // namespace

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& workDir, const std::map<std::string, std::string>& env,
                         std::chrono::seconds limit) {
    TempDir capture;
    const std::string outPath = capture / "stdout";
    const std::string errPath = capture / "stderr";
    ProcessResult result;
    result.exitCode = WaitForExit(Spawn(program, args, workDir, env, outPath, errPath), limit,
                                  CommandLine(program, args));
    result.out = ReadFile(outPath);
    result.err = ReadFile(errPath);
    return result;
}

BackgroundProcess::BackgroundProcess(const std::string& program,
                                     const std::vector<std::string>& args,
                                     const std::string& workDir,
                                     const std::map<std::string, std::string>& env,
                                     const std::string& outPath, const std::string& errPath)
    : pid_(Spawn(program, args, workDir, env, outPath, errPath)), name_(program) {}

int BackgroundProcess::Wait(std::chrono::seconds limit) {
    const int code = WaitForExit(pid_, limit, name_);
    pid_ = -1;
    return code;
}

int BackgroundProcess::Stop() {
    if (pid_ <= 0) return -1000;
    ::kill(pid_, SIGTERM);
    const int code = WaitForExit(pid_, kLongestStop, name_ + " after SIGTERM");
    pid_ = -1;
    return code;
}

void BackgroundProcess::Signal(int signal) const {
    if (pid_ > 0) ::kill(pid_, signal);
}

}  // namespace testsupport
