#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "platform/BinaryFile.h"
#include "tests/support/TempDir.h"

using platform::BinaryFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

TEST(BinaryFile, ReadsBytesAsStoredSeeksAndKnowsItsLength) {
    TempDir dir;
    const std::string contents("a\r\nb\0\x1A\xFFz", 8);
    WriteFile(dir / "f.bin", contents);
    BinaryFile file = BinaryFile::OpenReadOnly(dir / "f.bin");
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(file.Length(), 8);

    char buffer[16] = {};
    EXPECT_EQ(file.Read(buffer, 5), 5);
    EXPECT_EQ(std::string(buffer, 5), contents.substr(0, 5));
    EXPECT_EQ(file.Read(buffer, 16), 3);  // short count: end of file
    EXPECT_EQ(std::string(buffer, 3), contents.substr(5));
    EXPECT_EQ(file.Read(buffer, 16), 0);

    ASSERT_TRUE(file.SeekTo(7));
    EXPECT_EQ(file.Read(buffer, 4), 1);
    EXPECT_EQ(buffer[0], 'z');
    ASSERT_TRUE(file.SeekTo(100));  // past the end: nothing to read there
    EXPECT_EQ(file.Read(buffer, 4), 0);
    EXPECT_FALSE(file.SeekTo(-1));
}

TEST(BinaryFile, FailedOpenAndMovedFromFilesAreClosed) {
    TempDir dir;
    BinaryFile missing = BinaryFile::OpenReadOnly(dir / "missing.bin");
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_EQ(missing.Length(), -1);
    char byte = 0;
    EXPECT_EQ(missing.Read(&byte, 1), -1);
    // A directory opens on this platform but yields no bytes: a read error.
    BinaryFile directory = BinaryFile::OpenReadOnly(dir.Path());
    if (directory.IsOpen()) {
        EXPECT_EQ(directory.Read(&byte, 1), -1);
    }

    WriteFile(dir / "f.bin", "xyz");
    BinaryFile first = BinaryFile::OpenReadOnly(dir / "f.bin");
    BinaryFile second = std::move(first);
    EXPECT_FALSE(first.IsOpen());
    ASSERT_TRUE(second.IsOpen());
    EXPECT_EQ(second.Length(), 3);
    second.Close();
    EXPECT_FALSE(second.IsOpen());
}

}  // namespace
