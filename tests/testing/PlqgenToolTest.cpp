// The plqgen command line: the length and header of the file its options describe, and
// malformed options refused without a file.

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "tests/support/Bytes.h"
#include "tests/support/RunProcess.h"
#include "tests/support/TempDir.h"

using namespace testsupport;

namespace {

// "refused" (a message, no file), or the file as "length|name|year month day hour minute
// second millisecond rate channels samples format ".
std::string Outcome(const std::string& args) {
    std::istringstream words(args);
    TempDir dir;
    const ProcessResult run =
        RunProcess(PLQGEN_EXE, {std::istream_iterator<std::string>(words), {}}, dir.Path());
    if (!std::filesystem::exists(dir / "out.plq")) {
        return run.exitCode != 0 && !run.err.empty() ? "refused" : "no file: " + run.err;
    }
    const std::string bytes = ReadFile(dir / "out.plq");
    std::string text = std::to_string(bytes.size()) + "|" +
                       bytes.substr(0, std::min<std::size_t>(bytes.find('\0'), 36)) + "|";
    for (int offset : {44, 46, 48, 50, 52, 54, 56, 58, 64, 66, 70}) {
        const uint32_t word = LittleEndian32(bytes, offset);
        text += std::to_string(offset == 66 ? int32_t(word) : int16_t(word)) + " ";
    }
    return run.exitCode == 0 ? text : "exit " + std::to_string(run.exitCode);
}

TEST(PlqgenTool, WritesWhatItsOptionsDescribeAndRefusesMalformedOnes) {
    const std::pair<const char*, const char*> rows[] = {
        {"out.plq --samples 10", "328|Kelvo PLQ-4 recorder|13 10 22 13 47 34 0 100 3 10 0 "},
        {"out.plq --format 1 --channels 2 --rate 20 --samples 64 --start 2013-10-22T13:47:34.25 "
         "--hour 5 --system Kelvo_test --size-adjust -3 --signal noise --seed 4",
         "773|Kelvo_test|2013 10 22 5 47 34 250 20 2 64 1 "},
        {"out.plq --start 1999-12-31T23:59:59.5 --year 99 --format 7 --channels 0 --samples -2 "
         "--system 0123456789abcdefghijklmnopqrstuvwxyzXYZ",
         "256|0123456789abcdefghijklmnopqrstuvwxyz|99 12 31 23 59 59 500 100 0 -2 7 "},
        {"", "refused"},
        {"out.plq --start 2013-10-22", "refused"},
        {"out.plq --signal square", "refused"},
        {"out.plq --month 70000", "refused"},
    };
    for (const auto& [args, expected] : rows) EXPECT_EQ(Outcome(args), expected) << args;
}

}  // namespace
