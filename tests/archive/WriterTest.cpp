// The archive writer seen from outside: the registrations it makes and the files it leaves
// for sequences of AddSamples calls, the journal of registrations the catalog did not take,
// and two writers of one recording on one data directory.

#include <gtest/gtest.h>

#include <bit>
#include <map>
#include <regex>

#include "archive/RegistrationJournal.h"
#include "tests/archive/WriterCase.h"
#include "tests/support/CaseScript.h"
#include "tests/support/ConsoleLines.h"

using namespace writercase;
using namespace testsupport;

namespace {

class WriterSequences : public ::testing::TestWithParam<ScriptCase> {};

TEST_P(WriterSequences, SequencesOfSamplesGiveTheirRegistrationsAndFiles) {
    const ScriptCase& c = GetParam();
    SCOPED_TRACE(c.title);
    const platform::ScopedFileCalls seam(SyncNotingCalls());
    SyncedLengths().clear();
    TempWriter w;
    w.registrar.checkSynced = true;
    float next = 0;
    for (const std::string& step : c.steps) {
        const std::vector<std::string> f = Fields(step);
        if (f[0] == "answer")
            w.registrar.answer = f[1] == "failed" ? RegistrationOutcome::kFailed
                                                  : RegistrationOutcome::kCatalogUnavailable;
        if (f[0] == "merge") w.writer->SetMergeExtensions(true);
        if (f[0] != "feed") continue;
        // Freed right after the call: the writer must have copied what it keeps.
        std::vector<float> samples(static_cast<std::size_t>(std::max(std::stoi(f[5]), 0)));
        for (float& sample : samples) sample = next++;
        auto name = [](const std::string& n) { return n == "null" ? nullptr : n.c_str(); };
        w.writer->AddSamples(name(f[1]), name(f[2]), std::stod(f[3]), std::stod(f[4]),
                             std::stoi(f[5]), f.size() > 6 ? nullptr : samples.data());
    }
    if (c.steps.back() != "noflush") w.writer->FlushAll();
    w.writer.reset();
    EXPECT_EQ(w.Outcome(), c.expected);
    EXPECT_EQ(w.registrar.unsynced, std::vector<std::string>());
    if (c.steps.back() != "noflush") {
        EXPECT_EQ(w.WithoutTheirChecksum(), std::vector<std::string>());
    }
}

CASE_TABLE(sequences, WriterSequences, ReadCaseScript("tests/archive/sequences.cases"));

// One file compared whole with the archive format's text: the 512-byte header (text, NUL,
// spaces) showing the first sample's whole second, then the samples as float32 little-endian.
TEST(Writer, FileOfOneBlockHoldsTheHeaderAndTheSamples) {
    TempWriter w;
    const std::vector<float> samples = {1.0f, -2.5f, 0.0f, 255.0f, -0.0f, 130944.0f};
    w.writer->AddSamples("ABC", "SHZ", 64, 1330931289.5, 6, samples.data());
    w.writer->FlushAll();
    EXPECT_EQ(ReadFile(w.data + "/ABC/05032012-070809-SHZ.ABC"),
              PaddedHeader("[TRQ5.x]\r\nData offset=512\r\nStart time=07 08 09\r\n"
                           "Start date=05 03 2012\r\nTime duration=00 00 00\r\n"
                           "Data Type=FLOAT\r\nSpS=64.000000\r\nGain=1\r\n"
                           "Station=ABC\r\nChannels=\"SHZ\"\r\n") +
                  FloatBytes(samples));
}

// Three replays of one journal, each answering the registrations of A\a and A\b% as given:
// what was tried ("!" if the start read back is not the double written), applied, failed and
// remaining, "u" when the catalog was unavailable, and the journal left.
TEST(Journal, ReplayKeepsWhatWasNotRegisteredAndLinesItCannotRead) {
    TempDir dir;
    const std::string path = dir / ".plq2trq.journal";
    const std::string a = "new\tA\\a\tA\tZ\t1382449654.1234567\t50\t100\t1\t3\tPLQ2TRQ\n";
    const std::string b = "update\tA\\b%25\tA\tZ\t1382449654.1234567\t60\t100\t1\t3\tPLQ2TRQ\n";
    WriteFile(path, a + "junk\n" + b + "new\tA\\c");  // the last line is cut off
    using Outcome = RegistrationOutcome;
    auto replay = [&](Outcome forA, Outcome forB) {
        std::string tried;
        const JournalReplay r = ReplayJournal(path, [&](const JournalEntry& entry) {
            tried += entry.file.path + (entry.file.start == 1382449654.123456789 ? " " : "! ");
            return entry.file.path == "A\\a" ? forA : forB;
        });
        return tried + std::to_string(r.applied) + std::to_string(r.failed) +
               std::to_string(r.remaining) + (r.catalogUnavailable ? "u " : " ") + ReadFile(path);
    };
    EXPECT_EQ(replay(Outcome::kCatalogUnavailable, Outcome::kRegistered),
              "A\\a 003u " + a + b + "junk\n");
    EXPECT_EQ(replay(Outcome::kRegistered, Outcome::kFailed), "A\\a A\\b% 112 " + b + "junk\n");
    EXPECT_EQ(replay(Outcome::kRegistered, Outcome::kRegistered), "A\\b% 101 junk\n");
}

// Two converters started on one recording: every order of their ten steps (four blocks
// and the final flush each) leaves files holding the recording's samples at their places,
// the first file whole, and for every file a row that describes it.
TEST(InterleavedWriters, EveryOrderOfTheirFlushesLeavesWholeFilesAndTheirRows) {
    std::vector<float> samples(20000);
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<float>(i);
    int orders = 0;
    for (unsigned order = 0; order < 1024; ++order) {
        if (std::popcount(order) != 5) continue;
        ++orders;
        SCOPED_TRACE(order);
        TempDir dir;
        RecordingRegistrar catalog;
        CArchiveWriter writers[2] = {CArchiveWriter(catalog), CArchiveWriter(catalog)};
        for (CArchiveWriter& writer : writers) writer.SetDataDir(dir.Path().c_str());
        int steps[2] = {0, 0};
        ConsoleLines console;
        for (int step = 0; step < 10; ++step) {
            const int w = (order >> step) & 1;
            const int k = steps[w]++;
            if (k == 4) writers[w].FlushAll();
            if (k < 4)
                writers[w].AddSamples("ABC", "SHZ", 100, T + 50 * k, 5000, &samples[5000 * k]);
        }
        std::map<std::string, double> rows;  // one row per path, as FILELIST keeps them
        for (const auto& [kind, f] : catalog.calls) rows["ABC/" + f.path.substr(4)] = f.duration;
        bool firstWhole = false;
        for (const std::string& line : FileLines(dir.Path())) {
            int minute = 0, second = 0, size = 0;
            std::sscanf(line.c_str(), "ABC/22102013-13%2d%2d-SHZ.ABC %d", &minute, &second, &size);
            const int first = ((minute - 47) * 60 + second - 34) * 100, count = (size - 512) / 4;
            // Whole samples, the recording's from the file name's time on.
            EXPECT_EQ(line, line.substr(0, 27) + " " + std::to_string(size) + " " +
                                std::to_string(first) + "-" + std::to_string(first + count - 1));
            EXPECT_EQ(rows[line.substr(0, 27)] * 100, count) << line;
            firstWhole = firstWhole || (first == 0 && count == 20000);
        }
        EXPECT_EQ(rows.size(), FileLines(dir.Path()).size());
        EXPECT_TRUE(firstWhole);
        EXPECT_EQ(std::regex_replace(console.out, std::regex("ERROR: write file [^\n]*!!!\n"), ""),
                  "");
    }
    EXPECT_EQ(orders, 252);
}

}  // namespace
