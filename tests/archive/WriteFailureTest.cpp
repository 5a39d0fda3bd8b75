// Blocks that do not reach the disk: each is reported with "ERROR: write file <path>!!!",
// marks the writer as failed, and leaves the catalog without a row for data it lacks.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "archive/StationDirectory.h"
#include "platform/FileServices.h"
#include "tests/archive/ArchiveTestSupport.h"
#include "tests/support/ConsoleLines.h"

using namespace archivetest;
using testsupport::ReadFile;

namespace {

constexpr EpochSeconds t0 = k20131022_134734;
const char* const kFirstName = "ABC/22102013-134734-SHZ.ABC";

std::string WriteError(const std::string& path) {
    return "ERROR: write file " + path + "!!!\n";
}

// Feeds `blocks` consecutive blocks of 1000 samples (10 s each at 100 sps) and flushes them
// all, capturing the console. Returns the console output.
std::string WriteConsecutiveBlocks(WriterFixture& f, const std::vector<float>& samples, int blocks,
                                   const char* station = "ABC", const char* channel = "SHZ") {
    testsupport::ConsoleLines console;
    for (int i = 0; i < blocks; ++i) {
        f.writer.AddSamples(station, channel, 100, t0 + 10.0 * i, 1000, samples.data() + 1000 * i);
        // Flushed at once, so that every block is a write of its own.
        f.writer.FlushAll();
    }
    return console.out;
}

// --- Call seams: each fails one kind of system call, the rest stay real.

platform::FileCalls Real() {
    return platform::RealFileCalls();
}

int RefuseCreate(const char* path, int flags, mode_t mode) {
    if (flags & O_CREAT) {
        errno = EACCES;
        return -1;
    }
    return ::open(path, flags, mode);
}

ssize_t DiskFull(int, const iovec*, int) {
    errno = ENOSPC;
    return -1;
}

// Writes the first half of what it is asked for, then reports a full disk.
int halfWrites = 0;
ssize_t HalfThenDiskFull(int fd, const iovec* pieces, int count) {
    if (halfWrites++ > 0) {
        errno = ENOSPC;
        return -1;
    }
    std::size_t total = 0;
    for (int i = 0; i < count; ++i) total += pieces[i].iov_len;
    std::vector<char> bytes;
    for (int i = 0; i < count; ++i) {
        auto* base = static_cast<const char*>(pieces[i].iov_base);
        bytes.insert(bytes.end(), base, base + pieces[i].iov_len);
    }
    return ::write(fd, bytes.data(), total / 2);
}

int CloseFails(int fd) {
    ::close(fd);
    errno = EIO;
    return -1;
}

// A station directory the converter may not write to (what chmod would do for anyone but
// root): the file cannot be created. As the channel believes in the file, the next block
// is tried as an append and fails too; the one after starts a new file again.
TEST(WriteFailure, FileCannotBeCreated) {
    WriterFixture f;
    auto samples = Ramp(3000);
    platform::FileCalls calls = Real();
    calls.Open = &RefuseCreate;
    platform::ScopedFileCalls seam(calls);
    std::string out = WriteConsecutiveBlocks(f, samples, 3);
    EXPECT_EQ(out, WriteError(f.PathOf(kFirstName)) + WriteError(f.PathOf(kFirstName)) +
                       WriteError(f.PathOf("ABC/22102013-134754-SHZ.ABC")));
    EXPECT_TRUE(f.writer.WriteFailed());
    EXPECT_TRUE(f.registrar.calls.empty());
    EXPECT_TRUE(f.Files().empty());
}

// The data directory must exist: only the station level is created.
TEST(WriteFailure, MissingDataDirectory) {
    WriterFixture f;
    std::string missing = f.dir / "missing";
    f.writer.SetDataDir(missing.c_str());
    auto samples = Ramp(1000);
    std::string out = WriteConsecutiveBlocks(f, samples, 1);
    EXPECT_EQ(out, WriteError(missing + "/" + kFirstName));
    EXPECT_TRUE(f.writer.WriteFailed());
    EXPECT_TRUE(f.registrar.calls.empty());
    EXPECT_FALSE(std::filesystem::exists(missing));
}

// The file vanished between two flushes: the append is reported and no row is extended;
// the file's duration does not grow, so the next block starts a new file.
TEST(WriteFailure, AppendToRemovedFile) {
    WriterFixture f;
    auto samples = Ramp(3000);
    testsupport::ConsoleLines console;
    f.writer.AddSamples("ABC", "SHZ", 100, t0, 1000, samples.data());
    f.writer.FlushAll();
    std::filesystem::remove(f.PathOf(kFirstName));
    f.writer.AddSamples("ABC", "SHZ", 100, t0 + 10, 1000, samples.data() + 1000);
    f.writer.FlushAll();
    f.writer.AddSamples("ABC", "SHZ", 100, t0 + 20, 1000, samples.data() + 2000);
    f.writer.FlushAll();
    EXPECT_EQ(console.out, WriteError(f.PathOf(kFirstName)));
    EXPECT_TRUE(f.writer.WriteFailed());
    auto& calls = f.registrar.calls;
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].kind, Registration::New);
    EXPECT_EQ(calls[1].kind, Registration::New);
    EXPECT_EQ(calls[1].file.path, "ABC\\22102013-134754-SHZ.ABC");
    EXPECT_EQ(f.Files(), std::set<std::string>{"ABC/22102013-134754-SHZ.ABC"});
}

// A full disk while a new file is written: no row, and no half-written file left behind.
TEST(WriteFailure, DiskFullOnNewFile) {
    WriterFixture f;
    auto samples = Ramp(1000);
    platform::FileCalls calls = Real();
    calls.Writev = &DiskFull;
    platform::ScopedFileCalls seam(calls);
    std::string out = WriteConsecutiveBlocks(f, samples, 1);
    EXPECT_EQ(out, WriteError(f.PathOf(kFirstName)));
    EXPECT_TRUE(f.writer.WriteFailed());
    EXPECT_TRUE(f.registrar.calls.empty());
    EXPECT_TRUE(f.Files().empty());
}

// A short append is cut back so that the file matches its row again; the row is not
// extended and the next block starts a new file.
TEST(WriteFailure, ShortAppendIsTruncatedBack) {
    WriterFixture f;
    auto samples = Ramp(3000);
    testsupport::ConsoleLines console;
    f.writer.AddSamples("ABC", "SHZ", 100, t0, 1000, samples.data());
    f.writer.FlushAll();
    const std::string firstFile = ReadFile(f.PathOf(kFirstName));
    {
        halfWrites = 0;
        platform::FileCalls calls = Real();
        calls.Writev = &HalfThenDiskFull;
        platform::ScopedFileCalls seam(calls);
        f.writer.AddSamples("ABC", "SHZ", 100, t0 + 10, 1000, samples.data() + 1000);
        f.writer.FlushAll();
        EXPECT_EQ(halfWrites, 2);
    }
    f.writer.AddSamples("ABC", "SHZ", 100, t0 + 20, 1000, samples.data() + 2000);
    f.writer.FlushAll();
    EXPECT_EQ(console.out, WriteError(f.PathOf(kFirstName)));
    EXPECT_EQ(ReadFile(f.PathOf(kFirstName)), firstFile);
    auto& calls = f.registrar.calls;
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].kind, Registration::New);
    EXPECT_EQ(calls[1].file.start, t0 + 20);
}

// The same with the kernel's own file size limit (SIGXFSZ ignored, as a writer that wants
// to see EFBIG must do): a partly written append is cut back, a partly written new file
// removed.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &previous_);
        rlimit limited = previous_;
        limited.rlim_cur = bytes;
        ok_ = ::setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    bool Ok() const { return ok_; }

  private:
    rlimit previous_{};
    void (*previousHandler_)(int) = nullptr;
    bool ok_ = false;
};

TEST(WriteFailure, KernelFileSizeLimit) {
    WriterFixture f;
    auto samples = Ramp(2000);
    testsupport::ConsoleLines console;
    std::string firstFile;
    {
        FileSizeLimit limit(512 + 4000 + 100);
        ASSERT_TRUE(limit.Ok());
        f.writer.AddSamples("ABC", "SHZ", 100, t0, 1000, samples.data());
        f.writer.FlushAll();
        firstFile = ReadFile(f.PathOf(kFirstName));
        f.writer.AddSamples("ABC", "SHZ", 100, t0 + 10, 1000, samples.data() + 1000);
        f.writer.FlushAll();
    }
    {
        FileSizeLimit limit(300);
        ASSERT_TRUE(limit.Ok());
        f.writer.AddSamples("ABC", "SHN", 100, t0, 1000, samples.data());
        f.writer.FlushAll();
    }
    EXPECT_EQ(console.out, WriteError(f.PathOf(kFirstName)) +
                               WriteError(f.PathOf("ABC/22102013-134734-SHN.ABC")));
    EXPECT_EQ(firstFile.size(), 512u + 4000);
    EXPECT_EQ(ReadFile(f.PathOf(kFirstName)), firstFile);
    EXPECT_EQ(f.Files(), std::set<std::string>{kFirstName});
    ASSERT_EQ(f.registrar.calls.size(), 1u);
    EXPECT_EQ(f.registrar.calls[0].kind, Registration::New);
}

// A close that reports an error leaves the data in doubt: a new file is removed and gets
// no row; an appended block is cut off again and extends no row.
TEST(WriteFailure, FailingClose) {
    WriterFixture f;
    auto samples = Ramp(2000);
    testsupport::ConsoleLines console;
    {
        platform::FileCalls calls = Real();
        calls.Close = &CloseFails;
        platform::ScopedFileCalls seam(calls);
        f.writer.AddSamples("ABC", "SHN", 100, t0, 1000, samples.data());
        f.writer.FlushAll();
    }
    f.writer.AddSamples("ABC", "SHZ", 100, t0, 1000, samples.data());
    f.writer.FlushAll();
    const std::string firstFile = ReadFile(f.PathOf(kFirstName));
    {
        platform::FileCalls calls = Real();
        calls.Close = &CloseFails;
        platform::ScopedFileCalls seam(calls);
        f.writer.AddSamples("ABC", "SHZ", 100, t0 + 10, 1000, samples.data() + 1000);
        f.writer.FlushAll();
    }
    EXPECT_EQ(console.out, WriteError(f.PathOf("ABC/22102013-134734-SHN.ABC")) +
                               WriteError(f.PathOf(kFirstName)));
    EXPECT_EQ(f.Files(), std::set<std::string>{kFirstName});
    EXPECT_EQ(ReadFile(f.PathOf(kFirstName)), firstFile);
    ASSERT_EQ(f.registrar.calls.size(), 1u);
    EXPECT_EQ(f.registrar.calls[0].file.channel, "SHZ");
    EXPECT_EQ(f.writer.Station(0).Channel(1).FileDuration(), 10.0);
}

// A file that another writer holds locked is neither truncated nor written.
TEST(WriteFailure, FileLockedByAnotherWriter) {
    WriterFixture f;
    std::filesystem::create_directory(f.PathOf("ABC"));
    testsupport::WriteFile(f.PathOf(kFirstName), "someone else's data");
    int other = ::open(f.PathOf(kFirstName).c_str(), O_WRONLY);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX), 0);
    auto samples = Ramp(1000);
    std::string out = WriteConsecutiveBlocks(f, samples, 1);
    ::close(other);
    EXPECT_EQ(out, WriteError(f.PathOf(kFirstName)));
    EXPECT_EQ(ReadFile(f.PathOf(kFirstName)), "someone else's data");
    EXPECT_TRUE(f.registrar.calls.empty());
}

// Names too long for a path or for the header are refused; nothing runs past a buffer and
// nothing is created.
TEST(WriteFailure, TooLongNamesAreRefused) {
    struct Case {
        const char* what;
        std::string dataDirTail;  // appended to the fixture's data directory
        std::string station;
        std::string channel;
    } cases[] = {
        {"data directory beyond PATH_MAX", "/" + std::string(4090, 'd'), "ABC", "SHZ"},
        {"relative path beyond 2047 bytes", "", "ABC", std::string(3000, 'C')},
        {"header text beyond 511 bytes", "", std::string(200, 'S'), std::string(200, 'C')},
        {"station beyond the file system's name length", "", std::string(300, 'S'), "SHZ"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriterFixture f;
        std::string dataDir = f.DataDir() + c.dataDirTail;
        f.writer.SetDataDir(dataDir.c_str());
        auto samples = Ramp(2000);
        std::string out =
            WriteConsecutiveBlocks(f, samples, 2, c.station.c_str(), c.channel.c_str());
        std::string first =
            dataDir + "/" + c.station + "/22102013-134734-" + c.channel + "." + c.station;
        std::string second =
            dataDir + "/" + c.station + "/22102013-134744-" + c.channel + "." + c.station;
        std::string expectedSecond =
            c.station.size() == 300 ? WriteError(first) : WriteError(second);
        EXPECT_EQ(out, WriteError(first) + expectedSecond);
        EXPECT_TRUE(f.writer.WriteFailed());
        EXPECT_TRUE(f.registrar.calls.empty());
        EXPECT_TRUE(f.Files().empty());
    }
}

// Names that would lead out of the station directory, or a station that would not make a
// directory of its own, are refused before anything is created.
TEST(WriteFailure, NamesWithSeparatorsAreRefused) {
    struct Case {
        const char* station;
        const char* channel;
        const char* fullPathTail;  // after the data directory
    } cases[] = {
        {"ABC", "A/B", "/ABC/22102013-134734-A/B.ABC"},
        {"ABC", "A\\B", "/ABC/22102013-134734-A/B.ABC"},
        {"ABC", "../x", "/ABC/22102013-134734-../x.ABC"},
        {"A/B", "SHZ", "/A/B/22102013-134734-SHZ.A/B"},
        {"A\\B", "SHZ", "/A/B/22102013-134734-SHZ.A/B"},
        {".", "SHZ", "/./22102013-134734-SHZ.  ."},
        {"..", "SHZ", "/../22102013-134734-SHZ. .."},
        {"", "SHZ", "//22102013-134734-SHZ.   "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fullPathTail);
        WriterFixture f;
        auto samples = Ramp(1000);
        std::string out = WriteConsecutiveBlocks(f, samples, 1, c.station, c.channel);
        EXPECT_EQ(out, WriteError(f.DataDir() + c.fullPathTail));
        EXPECT_TRUE(f.writer.WriteFailed());
        EXPECT_TRUE(f.registrar.calls.empty());
        EXPECT_TRUE(std::filesystem::is_empty(f.DataDir()));
        // Nothing appeared beside the data directory either.
        std::size_t entries = 0;
        for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(f.dir.Path())) {
            ++entries;
        }
        EXPECT_EQ(entries, 1u);
    }
}

// A successful run leaves the failure flag alone and prints nothing.
TEST(WriteFailure, NoFailureNoMessage) {
    WriterFixture f;
    auto samples = Ramp(3000);
    EXPECT_EQ(WriteConsecutiveBlocks(f, samples, 3), "");
    EXPECT_FALSE(f.writer.WriteFailed());
    ASSERT_EQ(f.registrar.calls.size(), 3u);
    EXPECT_EQ(f.registrar.calls[2].kind, Registration::Extended);
    EXPECT_EQ(f.registrar.calls[2].file.duration, 30.0);
}

}  // namespace

namespace {

ssize_t KilledAtTheWrite(int, const iovec*, int) {
    ::raise(SIGKILL);
    return -1;
}

// A run killed between making a new file and its first write, as it converts a recording
// again: the file of the earlier run stays whole (the new one was still under its temporary
// name), no empty archive file appears, and the next run removes the leftover.
TEST(WriteFailure, KilledBeforeTheFirstWriteLeavesTheOldFileWhole) {
    WriterFixture f;
    auto samples = Ramp(1000);
    f.writer.AddSamples("ABC", "SHZ", 100, t0, 1000, samples.data());
    f.writer.FlushAll();
    const std::string before = ReadFile(f.PathOf(kFirstName));
    ASSERT_EQ(before.size(), 512u + 4000u);

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        platform::FileCalls calls = Real();
        calls.Writev = &KilledAtTheWrite;
        platform::ScopedFileCalls seam(calls);
        RecordingRegistrar registrar;
        CArchiveWriter again(registrar);
        again.SetDataDir(f.DataDir().c_str());
        auto other = Ramp(1000, 5000);
        again.AddSamples("ABC", "SHZ", 100, t0, 1000, other.data());
        again.FlushAll();
        ::_exit(0);  // not reached: the write kills the process
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

    EXPECT_EQ(ReadFile(f.PathOf(kFirstName)), before);
    EXPECT_EQ(f.Files(), (std::set<std::string>{"ABC/.22102013-134734-SHZ.ABC.tmp", kFirstName}));
    EXPECT_EQ(RemoveLeftoverTemporaryFiles(f.PathOf("ABC")),
              std::vector<std::string>{".22102013-134734-SHZ.ABC.tmp"});
    EXPECT_EQ(f.Files(), std::set<std::string>{kFirstName});
}

}  // namespace
