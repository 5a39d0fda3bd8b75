#include <gtest/gtest.h>

#include <string>

#include "platform/Console.h"

namespace {

std::string Printed(const std::string& text) {
    ::testing::internal::CaptureStdout();
    ConsoleMessage("%s", text.c_str());
    return ::testing::internal::GetCapturedStdout();
}

TEST(ConsoleMessage, PrintsOneLineAndAFormatNewlineGivesAnEmptyLine) {
    ::testing::internal::CaptureStdout();
    ConsoleMessage("%s %s\nLoad parameters...", "PLQ2TRQ", "v1.0");
    ConsoleMessage("Done!\n");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "PLQ2TRQ v1.0\nLoad parameters...\nDone!\n\n");
}

// The formatting buffer holds 15999 characters and the NUL: longer text is cut there.
TEST(ConsoleMessage, LongMessagesAreCutWithoutOverrunningTheBuffer) {
    const std::string exact(15999, 'x');
    EXPECT_EQ(Printed(exact), exact + "\n");
    const std::string longer = std::string(15998, 'a') + "bcdef" + std::string(20000, 'g');
    EXPECT_EQ(Printed(longer), std::string(15998, 'a') + "b\n");
}

}  // namespace
