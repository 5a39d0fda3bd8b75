#include <gtest/gtest.h>

#include <string>

#include "platform/Console.h"
#include "tests/support/ConsoleLines.h"

namespace {

std::string Printed(const std::string& text) {
    testsupport::ConsoleLines console;
    ConsoleMessage("%s", text.c_str());
    return console.out;
}

TEST(ConsoleMessage, PrintsOneLineAndAFormatNewlineGivesAnEmptyLine) {
    testsupport::ConsoleLines console;
    ConsoleMessage("%s %s\nLoad parameters...", "PLQ2TRQ", "v1.0");
    ConsoleMessage("Done!\n");
    EXPECT_EQ(console.out, "PLQ2TRQ v1.0\nLoad parameters...\nDone!\n\n");
}

// The formatting buffer holds 15999 characters and the NUL: longer text is cut there.
TEST(ConsoleMessage, LongMessagesAreCutWithoutOverrunningTheBuffer) {
    const std::string exact(15999, 'x');
    EXPECT_EQ(Printed(exact), exact + "\n");
    const std::string longer = std::string(15998, 'a') + "bcdef" + std::string(20000, 'g');
    EXPECT_EQ(Printed(longer), std::string(15998, 'a') + "b\n");
}

}  // namespace
