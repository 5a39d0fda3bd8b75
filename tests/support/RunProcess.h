#pragma once
// Runs a program as a user would, in a given working directory, and collects what it
// printed and how it ended.

#include <sys/resource.h>

#include <chrono>
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
// environment (an empty value removes the variable). Stdin is /dev/null. A program still
// running after `limit` (by default a minute: far above any run of the suite, also under
// the sanitizers) is killed, and the test fails naming it.
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& workDir,
                         const std::map<std::string, std::string>& env = {},
                         std::chrono::seconds limit = std::chrono::seconds(60));

// A program left running while the test goes on (a server): its standard output and
// standard error go to files; SIGTERM and a wait end it when the object goes.
class BackgroundProcess {
  public:
    BackgroundProcess(const std::string& program, const std::vector<std::string>& args,
                      const std::string& workDir, const std::map<std::string, std::string>& env,
                      const std::string& outPath, const std::string& errPath);
    ~BackgroundProcess() { Stop(); }
    BackgroundProcess(const BackgroundProcess&) = delete;
    BackgroundProcess& operator=(const BackgroundProcess&) = delete;

    // Sends SIGTERM and waits (killed after 10 s, failing the test); the exit code as
    // RunProcess gives it (-1000 when gone).
    int Stop();
    // Waits for the program to end by itself (killed after `limit`, failing the test); the
    // exit code as RunProcess gives it.
    int Wait(std::chrono::seconds limit);
    // Sends `signal` (SIGHUP: read the settings again).
    void Signal(int signal) const;
    bool Running() const { return pid_ > 0; }

  private:
    int pid_ = -1;
    std::string name_;
};

// Lowers the file size limit of this process, and so of every program it starts, and
// ignores SIGXFSZ, so that a write past the limit fails (EFBIG) instead of ending the
// process. Both are restored on destruction. For runs that must meet a failing write.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    rlimit saved_{};
    void (*previousHandler_)(int) = nullptr;
};

// The programs of this build.
inline const char* ConverterPath() {
    return PLQ2TRQ_EXE;
}
inline const char* TrqPath() {
    return TRQ_EXE;
}

}  // namespace testsupport
