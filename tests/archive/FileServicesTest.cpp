// The POSIX file services of the archive writer: append and create semantics, the lock,
// gathering writes that survive partial writes and interruptions, and error reports.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "platform/FileServices.h"
#include "tests/support/TempDir.h"

using platform::FileCalls;
using platform::OutputFile;
using platform::ScopedFileCalls;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

// --- Call seams with their counters.

int writevCalls = 0;
int closeCalls = 0;

// Writes at most three bytes per call, across piece boundaries.
ssize_t ThreeBytesAtATime(int fd, const iovec* pieces, int count) {
    ++writevCalls;
    iovec limited[2];
    int used = 0;
    std::size_t budget = 3;
    for (int i = 0; i < count && budget > 0; ++i) {
        std::size_t take = std::min(budget, pieces[i].iov_len);
        limited[used++] = {pieces[i].iov_base, take};
        budget -= take;
    }
    return ::writev(fd, limited, used);
}

ssize_t InterruptedOnce(int fd, const iovec* pieces, int count) {
    if (writevCalls++ == 0) {
        errno = EINTR;
        return -1;
    }
    return ::writev(fd, pieces, count);
}

ssize_t NoProgress(int, const iovec*, int) {
    ++writevCalls;
    return 0;
}

ssize_t DiskFull(int, const iovec*, int) {
    errno = ENOSPC;
    return -1;
}

int CountingClose(int fd) {
    ++closeCalls;
    return ::close(fd);
}

int FailingClose(int fd) {
    ::close(fd);
    errno = EIO;
    return -1;
}

FileCalls With(ssize_t (*writev)(int, const iovec*, int)) {
    FileCalls calls = platform::RealFileCalls();
    calls.Writev = writev;
    return calls;
}

TEST(FileServices, AppendNeedsAnExistingFile) {
    TempDir dir;
    OutputFile file = OutputFile::OpenForAppend((dir / "missing").c_str());
    EXPECT_FALSE(file.IsOpen());
    EXPECT_STREQ(file.LastError().call, "open");
    EXPECT_EQ(file.LastError().code, ENOENT);
    EXPECT_EQ(file.LastError().Describe(dir / "missing"),
              "open " + (dir / "missing") + ": No such file or directory");
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
}

TEST(FileServices, AppendWritesAtTheEndWithoutTruncating) {
    TempDir dir;
    WriteFile(dir / "f", "hello world");
    OutputFile file = OutputFile::OpenForAppend((dir / "f").c_str());
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(file.LengthAtOpen(), 11);
    ASSERT_TRUE(file.Write("!", 1));
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(ReadFile(dir / "f"), "hello world!");
    EXPECT_FALSE(file.LastError().Failed());
}

TEST(FileServices, CreateTruncatesAnExistingFile) {
    TempDir dir;
    WriteFile(dir / "f", "hello world");
    OutputFile file = OutputFile::CreateTruncated((dir / "f").c_str());
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(file.LengthAtOpen(), 0);
    ASSERT_TRUE(file.Write("head", 4, "body", 4));
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(ReadFile(dir / "f"), "headbody");
    struct stat info {};
    ASSERT_EQ(::stat((dir / "f").c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
}

// While a created file is open, no other writer gets it: neither a second creation (which
// must not truncate it) nor an append. After the close both work again.
TEST(FileServices, CreatedFileKeepsOtherWritersOut) {
    TempDir dir;
    const std::string path = dir / "f";
    OutputFile first = OutputFile::CreateTruncated(path.c_str());
    ASSERT_TRUE(first.IsOpen());
    ASSERT_TRUE(first.Write("abc", 3));

    OutputFile second = OutputFile::CreateTruncated(path.c_str());
    EXPECT_FALSE(second.IsOpen());
    EXPECT_STREQ(second.LastError().call, "flock");
    EXPECT_EQ(second.LastError().code, EWOULDBLOCK);
    OutputFile third = OutputFile::OpenForAppend(path.c_str());
    EXPECT_FALSE(third.IsOpen());
    EXPECT_STREQ(third.LastError().call, "flock");
    EXPECT_EQ(ReadFile(path), "abc");

    ASSERT_TRUE(first.Close());
    OutputFile fourth = OutputFile::OpenForAppend(path.c_str());
    EXPECT_TRUE(fourth.IsOpen());
}

// Partial writes are continued where they stopped, also in the middle of a piece.
TEST(FileServices, PartialWritesAreContinued) {
    TempDir dir;
    writevCalls = 0;
    ScopedFileCalls seam(With(&ThreeBytesAtATime));
    OutputFile file = OutputFile::CreateTruncated((dir / "f").c_str());
    ASSERT_TRUE(file.Write("0123456", 7, "abcdefghij", 10));
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(ReadFile(dir / "f"), "0123456abcdefghij");
    EXPECT_EQ(writevCalls, 6);  // 17 bytes, three at a time
}

TEST(FileServices, EmptyPiecesNeedNoWrite) {
    TempDir dir;
    writevCalls = 0;
    ScopedFileCalls seam(With(&ThreeBytesAtATime));
    OutputFile file = OutputFile::CreateTruncated((dir / "f").c_str());
    ASSERT_TRUE(file.Write(nullptr, 0, "ab", 2));
    ASSERT_TRUE(file.Write("cd", 2, nullptr, 0));
    ASSERT_TRUE(file.Write(nullptr, 0));
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(ReadFile(dir / "f"), "abcd");
    EXPECT_EQ(writevCalls, 2);
}

TEST(FileServices, InterruptedWriteIsRepeated) {
    TempDir dir;
    writevCalls = 0;
    ScopedFileCalls seam(With(&InterruptedOnce));
    OutputFile file = OutputFile::CreateTruncated((dir / "f").c_str());
    ASSERT_TRUE(file.Write("abc", 3));
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(ReadFile(dir / "f"), "abc");
    EXPECT_EQ(writevCalls, 2);
}

TEST(FileServices, WriteFailuresAreReported) {
    struct Case {
        const char* what;
        ssize_t (*writev)(int, const iovec*, int);
        int code;
    } cases[] = {{"disk full", &DiskFull, ENOSPC}, {"no progress", &NoProgress, ENOSPC}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        writevCalls = 0;
        ScopedFileCalls seam(With(c.writev));
        OutputFile file = OutputFile::CreateTruncated((dir / "f").c_str());
        EXPECT_FALSE(file.Write("abc", 3));
        EXPECT_STREQ(file.LastError().call, "writev");
        EXPECT_EQ(file.LastError().code, c.code);
        EXPECT_TRUE(file.Close());
        EXPECT_LE(writevCalls, 1);
    }
}

TEST(FileServices, TruncateCutsBack) {
    TempDir dir;
    WriteFile(dir / "f", "keep");
    OutputFile file = OutputFile::OpenForAppend((dir / "f").c_str());
    ASSERT_TRUE(file.Write("drop", 4));
    ASSERT_TRUE(file.TruncateTo(file.LengthAtOpen()));
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(ReadFile(dir / "f"), "keep");
}

TEST(FileServices, FailingCloseIsReportedAndTheDescriptorReleased) {
    TempDir dir;
    FileCalls calls = platform::RealFileCalls();
    calls.Close = &FailingClose;
    ScopedFileCalls seam(calls);
    OutputFile file = OutputFile::CreateTruncated((dir / "f").c_str());
    ASSERT_TRUE(file.IsOpen());
    EXPECT_FALSE(file.Close());
    EXPECT_FALSE(file.IsOpen());
    EXPECT_STREQ(file.LastError().call, "close");
    EXPECT_EQ(file.LastError().code, EIO);
    EXPECT_TRUE(file.Close());  // nothing left to close
}

// The destructor closes exactly once; a moved-from file closes nothing.
TEST(FileServices, OwnershipMovesWithTheObject) {
    TempDir dir;
    closeCalls = 0;
    FileCalls calls = platform::RealFileCalls();
    calls.Close = &CountingClose;
    ScopedFileCalls seam(calls);
    {
        OutputFile a = OutputFile::CreateTruncated((dir / "f").c_str());
        OutputFile b = std::move(a);
        EXPECT_FALSE(a.IsOpen());  // NOLINT(bugprone-use-after-move): checks the moved-from state
        EXPECT_TRUE(b.IsOpen());
        OutputFile c = OutputFile::CreateTruncated((dir / "g").c_str());
        c = std::move(b);  // closes g
        EXPECT_EQ(closeCalls, 1);
    }
    EXPECT_EQ(closeCalls, 2);
}

TEST(FileServices, MakeDirectoryCreatesOneLevel) {
    TempDir dir;
    mode_t old = ::umask(022);
    EXPECT_TRUE(platform::MakeDirectoryLevel((dir / "STA").c_str()));
    ::umask(old);
    struct stat info {};
    ASSERT_EQ(::stat((dir / "STA").c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 07777, 0755u);
    EXPECT_FALSE(platform::MakeDirectoryLevel((dir / "STA").c_str()));  // exists already
    EXPECT_FALSE(platform::MakeDirectoryLevel((dir / "a/b").c_str()));  // parent missing
    EXPECT_FALSE(std::filesystem::exists(dir / "a"));
}

TEST(FileServices, RemoveFile) {
    TempDir dir;
    WriteFile(dir / "f", "x");
    EXPECT_TRUE(platform::RemoveFile((dir / "f").c_str()));
    EXPECT_FALSE(std::filesystem::exists(dir / "f"));
    EXPECT_FALSE(platform::RemoveFile((dir / "f").c_str()));
}

}  // namespace
