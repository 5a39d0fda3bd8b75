// Blocks that do not reach the disk whole. Each is reported with "ERROR: write file PATH!!!"
// and a notice saying why, and leaves no file that its catalog row does not describe: the
// failures are made to really happen through the file-call seam and the kernel's limits.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <csignal>
#include <map>
#include <numeric>
#include <regex>

#include "archive/StationDirectory.h"
#include "platform/FileServices.h"
#include "tests/archive/WriterCase.h"
#include "tests/support/CaseScript.h"
#include "tests/support/ConsoleLines.h"
#include "tests/support/Deadline.h"
#include "tests/support/RunProcess.h"

using namespace writercase;
using namespace testsupport;

namespace {

int RefuseCreate(const char* path, int flags, mode_t mode) {
    if (flags & O_CREAT) return errno = EACCES, -1;
    return ::open(path, flags, mode);
}

ssize_t DiskFull(int, const iovec*, int) {
    return errno = ENOSPC, -1;
}

int writes = 0;  // calls of HalfThenDiskFull since the case began
ssize_t HalfThenDiskFull(int fd, const iovec* pieces, int) {
    if (writes++ > 0) return errno = ENOSPC, -1;
    return ::write(fd, pieces[0].iov_base, pieces[0].iov_len / 2);
}

// Takes seven bytes per call, so that the writes stop inside pieces and across them.
ssize_t SevenBytesAtATime(int fd, const iovec* pieces, int count) {
    iovec cut[2] = {pieces[0], count > 1 ? pieces[1] : iovec{}};
    cut[0].iov_len = std::min<std::size_t>(cut[0].iov_len, 7);
    cut[1].iov_len = std::min<std::size_t>(cut[1].iov_len, 7 - cut[0].iov_len);
    return ::writev(fd, cut, 2);
}

ssize_t NoProgress(int, const iovec*, int) {
    return 0;
}

int CloseFails(int fd) {
    ::close(fd);
    return errno = EIO, -1;
}

ssize_t KilledAtTheWrite(int, const iovec*, int) {
    ::raise(SIGKILL);
    return -1;
}

// A second writer of the block at 13:47:34, in a child process killed at its first write.
void KilledWriter(const std::string& data) {
    const pid_t child = ::fork();
    if (child == 0) {
        platform::FileCalls calls = platform::RealFileCalls();
        calls.Writev = &KilledAtTheWrite;
        const platform::ScopedFileCalls seam(calls);
        RecordingRegistrar registrar;
        CArchiveWriter again(registrar);
        again.SetDataDir(data.c_str());
        const std::vector<float> samples(1000, -1.0f);
        again.AddSamples("ABC", "SHZ", 100, T, 1000, samples.data());
        again.FlushAll();
        ::_exit(0);
    }
    int status = 0;
    if (!WaitUntil([&] { return ::waitpid(child, &status, WNOHANG) == child; },
                   std::chrono::seconds(10), "the second writer's first write")) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
    }
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
}

void Replace(platform::FileCalls& calls, const std::string& seam) {
    if (seam == "refuse-create") calls.Open = &RefuseCreate;
    if (seam == "disk-full") calls.Writev = &DiskFull;
    if (seam == "half-then-full") calls.Writev = &HalfThenDiskFull;
    if (seam == "seven-bytes") calls.Writev = &SevenBytesAtATime;
    if (seam == "failing-close") calls.Close = &CloseFails;
    if (seam == "no-progress") calls.Writev = &NoProgress;
}

class WriteFailure : public ::testing::TestWithParam<ScriptCase> {};

TEST_P(WriteFailure, EachFailureIsReportedAndLeavesFilesTheRowsDescribe) {
    const ScriptCase& c = GetParam();
    SCOPED_TRACE(c.title);
    std::map<std::string, std::string> set = {{"station", "ABC"}, {"channel", "SHZ"}};
    for (const std::string& step : c.steps) {
        const std::size_t blank = std::min(step.find(' '), step.size());
        set[step.substr(0, blank)] = step.substr(std::min(blank + 1, step.size()));
    }
    TempWriter w;
    const std::string data = w.data + set["datadir"], station = set["station"];
    const std::string first =
        data + "/" + station + "/22102013-134734-" + set["channel"] + "." + station;
    w.writer->SetDataDir(data.c_str());
    ConsoleLines console;
    int blocks[2] = {0, 0}, locked = -1;
    std::vector<std::string> removed;
    writes = 0;
    for (const char step : set["steps"]) {
        platform::FileCalls calls = platform::RealFileCalls();
        if (std::isupper(step)) Replace(calls, set["seam"]);
        const platform::ScopedFileCalls seam(calls);
        std::optional<FileSizeLimit> limit;
        if (std::isupper(step) && !set["limit"].empty()) limit.emplace(std::stoul(set["limit"]));
        if (step == 'r') std::filesystem::remove(first);
        if (step == 'k') KilledWriter(data);
        if (step == 'c') removed = RemoveLeftoverTemporaryFiles(data + "/" + station);
        if (step == 'l') {
            std::filesystem::create_directory(data + "/" + station);
            WriteFile(first, "someone else's data");
            locked = ::open(first.c_str(), O_RDONLY);
            ASSERT_EQ(::flock(locked, LOCK_EX), 0);
        }
        if (std::tolower(step) != 'z' && std::tolower(step) != 'n') continue;
        int& k = blocks[std::tolower(step) == 'n'];
        std::vector<float> samples(1000);
        std::iota(samples.begin(), samples.end(), 1000.0f * static_cast<float>(k));
        const std::string channel = std::tolower(step) == 'n' ? "SHN" : set["channel"];
        w.writer->AddSamples(station.c_str(), channel.c_str(), 100, T + 10 * k++, 1000,
                             samples.data());
        w.writer->FlushAll();
    }
    if (locked >= 0) ::close(locked);
    EXPECT_EQ(w.writer->WriteFailed(), !console.out.empty());
    std::vector<std::string> out = Fields(console.out, '\n');
    out.pop_back();  // after the last line's end
    for (const std::string& notice : console.notices) out.push_back("notice: " + notice);
    for (const std::string& name : removed) out.push_back("removed " + name);
    for (const std::string& line : w.Outcome()) out.push_back(line);
    std::vector<std::string> expected = c.expected;
    for (std::string& line : expected) line = std::regex_replace(line, std::regex("@"), data);
    EXPECT_EQ(out, expected);
    EXPECT_EQ(w.WithoutTheirChecksum(), std::vector<std::string>());
}

CASE_TABLE(failures, WriteFailure, ReadCaseScript("tests/archive/failures.cases"));

}  // namespace
