// The settings and the ini rules they are read by, the console's cut,
// the station lock, and reading recorder files.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>

#include "platform/BinaryFile.h"
#include "platform/Console.h"
#include "platform/FileLock.h"
#include "site/Settings.h"
#include "tests/support/CaseScript.h"
#include "tests/support/ConsoleLines.h"
#include "tests/support/TempDir.h"

using namespace std::chrono_literals;
using namespace std::string_literals;
using namespace testsupport;
using namespace platform;

namespace {

// One line of the answer: "data source|user|password|data directory|lock wait".
std::string Listed(const ConnectionSettings& s) {
    return s.dataSource + "|" + s.user + "|" + s.password + "|" + s.dataDir + "|" +
           std::to_string(s.stationLockWait);
}

class SettingsCase : public ::testing::TestWithParam<ScriptCase> {};

TEST_P(SettingsCase, OwnIniThenTrqIniThenTheFallbackWord) {
    const ScriptCase& c = GetParam();
    std::string own, trq;
    for (const std::string& step : c.steps) (step.starts_with("own ") ? own : trq) = step.substr(4);
    EXPECT_EQ(Listed(ReadSettings(IniFile::Parse(own), IniFile::Parse(trq))), c.expected.at(0));
}

CASE_TABLE(settings, SettingsCase, ReadCaseScript("tests/platform/settings.cases"));

// From files: a missing trq.ini reads as an empty one.
TEST(Settings, MissingTrqIniReadsAsAnEmptyOne) {
    TempDir dir;
    WriteFile(dir / "own.ini",
              "[DATABASE]\nODBC=Arch\nUSER=op\nPASSWORD=pw\n[DATA]\nDIR=/srv\\x\nLOCKWAIT=5\n");
    EXPECT_EQ(Listed(ReadSettings(SettingsFiles{dir / "own.ini", dir / "missing.ini"})),
              "Arch|op|pw|/srv\\x|5");
}

// The formatting buffer holds 15999 bytes and the NUL, so the message is cut right after the
// "b"; a newline in the format ends a line, so a format ending in one gives an empty line.
// A line made elsewhere (a batch's dry run) is not cut.
TEST(Console, MessagesAndNoticesAreCutAt15999Bytes) {
    const std::string a(15998, 'a');
    ConsoleLines console;
    ConsoleMessage("%s %d\nnext", "PLQ2TRQ", 1);
    ConsoleMessage("Done!\n");
    ConsoleMessage("%sbcdef", a.c_str());
    ConsoleNotice("%s%d", a.c_str(), 12);
    ConsoleMessageLine(a + "bcdef");
    EXPECT_EQ(console.out, "PLQ2TRQ 1\nnext\nDone!\n\n" + a + "b\n" + a + "bcdef\n");
    EXPECT_EQ(console.notices, std::vector<std::string>{a + "1"});
}

TEST(FileLock, HeldBusyWhileAnotherHoldsItFailedWithoutItsDirectory) {
    TempDir dir;
    int waits = 0;
    FileLock first = FileLock::Acquire(dir / "lock", 0ms, [&waits] { ++waits; });
    EXPECT_EQ(first.GetState(), FileLock::State::kHeld);
    // Tried again every tenth of a second, but the waiting is announced once.
    const FileLock second = FileLock::Acquire(dir / "lock", 250ms, [&waits] { ++waits; });
    EXPECT_EQ(second.GetState(), FileLock::State::kBusy);
    EXPECT_EQ(waits, 1);
    first.Release();
    EXPECT_TRUE(FileLock::Acquire(dir / "lock", 0ms).Held());
    const FileLock failed = FileLock::Acquire(dir / "missing/lock", 0ms);
    EXPECT_EQ(failed.GetState(), FileLock::State::kFailed);
    EXPECT_EQ(failed.Error().Describe("L"), "open L: No such file or directory");
}

TEST(BinaryFile, ReadsBytesAsStoredSeeksAndRefusesWhatIsNoRegularFile) {
    TempDir dir;
    WriteFile(dir / "f", "a\r\nb\0\x1A\xFFz"s);
    BinaryFile file = BinaryFile::OpenReadOnly(dir / "f");
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(file.Length(), 8);
    // {offset to seek to first (-1: none), bytes asked for}: what each read gives.
    const std::pair<int, int> reads[] = {{-1, 5}, {-1, 16}, {-1, 16}, {7, 4}, {100, 4}};
    std::string got;
    char buffer[16];
    for (auto [offset, count] : reads) {
        EXPECT_TRUE(offset < 0 || file.SeekTo(offset));
        const int64_t n = file.Read(buffer, count);
        got += n < 0 ? "error|" : std::string(buffer, n) + "|";
    }
    EXPECT_EQ(got, "a\r\nb\0|\x1A\xFFz||z||"s);  // a short count at the end of the file
    EXPECT_FALSE(file.SeekTo(-1));

    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    for (const std::string& path : {dir.Path(), dir / "fifo", dir / "missing"}) {
        BinaryFile refused = BinaryFile::OpenReadOnly(path);
        EXPECT_FALSE(refused.IsOpen()) << path;
        EXPECT_EQ(refused.Length(), -1) << path;
    }
}

}  // namespace
