#include <gtest/gtest.h>

#include "tests/support/RunProcess.h"
#include "tests/support/TempDir.h"

using testsupport::ConverterPath;
using testsupport::RunProcess;
using testsupport::TempDir;

// Fewer than two arguments: the usage line alone and -1 (255 for the shell).
TEST(EndToEndUsage, MissingArgumentsPrintUsageOnly) {
    TempDir dir;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, std::vector<std::string>{"file.plq"}}) {
        auto result = RunProcess(ConverterPath(), args, dir.Path());
        EXPECT_EQ(result.exitCode, 255);
        EXPECT_EQ(result.out, "USAGE: PLQ2TRQ file_name station_name\n");
    }
}
