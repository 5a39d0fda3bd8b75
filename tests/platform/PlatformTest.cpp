// The settings and the ini rules they are read by, the console's cut and its default sink,
// the station lock, and reading recorder files.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <tuple>

#include "platform/BinaryFile.h"
#include "platform/Console.h"
#include "platform/FileLock.h"
#include "site/Settings.h"
#include "tests/support/ConsoleLines.h"
#include "tests/support/RunProcess.h"
#include "tests/support/TempDir.h"

using namespace std::chrono_literals;
using namespace std::string_literals;
using namespace testsupport;
using namespace platform;

namespace {

// The converter's settings: the own ini first, then trq.ini, then the fallback word TRQ;
// values taken literally and cut to their buffers without splitting a UTF-8 character.
const std::string k30(30, 'a');

// One line of the answer: "data source|user|password|data directory|lock wait".
std::string Listed(const ConnectionSettings& s) {
    return s.dataSource + "|" + s.user + "|" + s.password + "|" + s.dataDir + "|" +
           std::to_string(s.stationLockWait);
}

// {id, the own ini's text, trq.ini's text, the settings listed}
const std::tuple<const char*, std::string, std::string, std::string> kRows[] = {
    {"6.1", "", "", "TRQ|TRQ|TRQ||300"},
    {"6.2", "[DATABASE]\nODBC=Arch\nUSER=op\nPASSWORD=pw\n[DATA]\nDIR=/srv\\x\nLOCKWAIT=5\n",
     "[DATABASE]\nODBC=T\nUSER=U\nPASSWORD=P\n[DATA]\nDIR=/t\nLOCKWAIT=7\n",
     "Arch|op|pw|/srv\\x|5"},
    {"6.3", "", "[DATABASE]\nODBC=T\nUSER=U\nPASSWORD=P\n[DATA]\nDIR=/t\\\nLOCKWAIT=7\n",
     "T|U|P|/t|7"},
    // A trailing backslash means unset: the next file's value, then TRQ; trq.ini's directory
    // loses one trailing backslash.
    {"6.4", "[DATABASE]\nODBC=own\\\nUSER=u\\\nPASSWORD=p\\\n[DATA]\nDIR=C:\\own\\\nLOCKWAIT=-1\n",
     "[DATABASE]\nODBC=trq\nUSER=v\\\n[DATA]\nDIR=/t\\\\\nLOCKWAIT=12s\n", "trq|TRQ|TRQ|/t\\|300"},
    {"6.5", "[DATA]\nDIR=\\\nLOCKWAIT=0\n", "[DATA]\nLOCKWAIT=7\n", "TRQ|TRQ|TRQ||0"},
    {"6.6", "; [DATABASE]\n[database]\n  odbc = My DSN  \nUser=a;b #c:d \"e\" 'f'\n", "",
     "My DSN|a;b #c:d \"e\" 'f'|TRQ||300"},
    {"6.7", "\xEF\xBB\xBF[DATABASE]\r\nUSER=first\r\nuser=second\r\n\tPassword\t=\tx=y\t\r\n", "",
     "TRQ|first|x=y||300"},
    // Nothing before the first section counts; "[DATABASE" without ']' is no section header,
    // text after ']' is ignored, and a section may come back.
    {"6.8",
     "ODBC=before\n[DATA]\n[DATABASE\nUSER=x\n[DATABASE] y\nPASSWORD=p\n[DATA]\nLOCKWAIT=9\n"
     "[DATABASE]\nODBC=again\n",
     "", "again|TRQ|p||9"},
    // Present but empty is a value, but for the data source, which needs a name.
    {"6.9", "[DATABASE]\nODBC=\nUSER=\nPASSWORD=\n[DATA]\nDIR=\n",
     "[DATABASE]\nODBC=t\nUSER=t\nPASSWORD=t\n[DATA]\nDIR=/t\n", "t||||300"},
    {"6.10", "[DATABASE]\nODBC=\n[DATA]\nLOCKWAIT=86401\n",
     "[DATABASE]\nODBC=\n[DATA]\nLOCKWAIT=86400\n", "TRQ|TRQ|TRQ||86400"},
    // Cut to 31, 31, 15 and 255 bytes, never inside a character (2, 3 and 4 bytes here, and
    // a stray continuation byte after a whole one); the cut comes before the backslash test.
    {"6.11",
     "[DATABASE]\nODBC=" + k30 + "\xC3\xBC\nUSER=" + k30.substr(1) +
         "\xC3\xBC\x80\nPASSWORD=" + k30.substr(17) +
         "\xE2\x82\xAC\n[DATA]\nDIR=" + std::string(252, 'd') + "\xF0\x9F\x98\x80\n",
     "",
     k30 + "|" + k30.substr(1) + "\xC3\xBC|" + k30.substr(17) + "|" + std::string(252, 'd') +
         "|300"},
    {"6.12",
     "[DATABASE]\nODBC=" + k30 + "\\tail\nUSER=" + k30 +
         "\xE9\xB0"
         "C\nPASSWORD=1234567890123\xE9\xFC\xE9\n",
     "[DATABASE]\nODBC=trq\n", "trq|" + k30 + "\xE9|1234567890123\xE9\xFC||300"},  // Latin-1: bytes
};

TEST(Settings, OwnIniThenTrqIniThenTheFallbackWord) {
    for (const auto& [id, own, trq, listed] : kRows) {
        EXPECT_EQ(Listed(ReadSettings(IniFile::Parse(own), IniFile::Parse(trq))), listed) << id;
    }
    // From files: a missing trq.ini reads as an empty one.
    TempDir dir;
    WriteFile(dir / "own.ini", std::get<1>(kRows[1]));
    EXPECT_EQ(Listed(ReadSettings(SettingsFiles{dir / "own.ini", dir / "missing.ini"})),
              std::get<3>(kRows[1]));
}

// The formatting buffer holds 15999 bytes and the NUL, so the message is cut right after the
// "b"; a newline in the format ends a line, so a format ending in one gives an empty line.
TEST(Console, MessagesAndNoticesAreCutAt15999Bytes) {
    const std::string a(15998, 'a');
    ConsoleLines console;
    ConsoleMessage("%s %d\nnext", "PLQ2TRQ", 1);
    ConsoleMessage("Done!\n");
    ConsoleMessage("%sbcdef", a.c_str());
    ConsoleNotice("%s%d", a.c_str(), 12);
    EXPECT_EQ(console.out, "PLQ2TRQ 1\nnext\nDone!\n\n" + a + "b\n");
    EXPECT_EQ(console.notices, std::vector<std::string>{a + "1"});
}

// The default sink ends every message with a newline on standard output.
TEST(Console, TheConverterWithoutArgumentsPrintsTheUsageLine) {
    TempDir dir;
    const ProcessResult result = RunProcess(ConverterPath(), {"file.plq"}, dir.Path());
    EXPECT_EQ(std::to_string(result.exitCode) + " " + result.out,
              "255 USAGE: PLQ2TRQ file_name station_name\n");
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
