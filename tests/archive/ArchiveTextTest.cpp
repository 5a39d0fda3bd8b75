// File names and header texts, composed from given calendar fields.

#include <gtest/gtest.h>

#include <array>

#include "archive/ArchiveText.h"
#include "tests/archive/ArchiveTestSupport.h"

namespace {

constexpr ArchiveTime kExample{2012, 3, 5, 7, 8, 9};

TEST(ArchiveText, FileNamePattern) {
    struct Case {
        ArchiveTime time;
        const char* channel;
        const char* station;
        const char* expected;
    } cases[] = {
        {kExample, "SHZ", "ABC", "\\05032012-070809-SHZ.ABC"},
        {kExample, "Z", "ABC", "\\05032012-070809-  Z.ABC"},
        {kExample, "", "", "\\05032012-070809-   .   "},
        {kExample, "BHZ_LONG", "STATION", "\\05032012-070809-BHZ_LONG.STATION"},
        {{987, 12, 31, 23, 59, 59}, "SHZ", "ABC", "\\31120987-235959-SHZ.ABC"},
        {{10000, 1, 1, 0, 0, 0}, "SHZ", "ABC", "\\010110000-000000-SHZ.ABC"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CatalogPath("ABC", ArchiveFileName(c.time, c.channel, c.station)),
                  std::string("ABC") + c.expected);
    }
}

TEST(ArchiveText, HeaderOfTheExample) {
    std::array<char, 512> header;
    ASSERT_TRUE(ComposeHeader(header, kExample, ArchiveTime{}, 100.0, "ABC", "SHZ"));
    std::string expected = archivetest::PaddedHeader(
        "[TRQ5.x]\r\nData offset=512\r\nStart time=07 08 09\r\nStart date=05 03 2012\r\n"
        "Time duration=00 00 00\r\nData Type=FLOAT\r\nSpS=100.000000\r\nGain=1\r\n"
        "Station=ABC\r\nChannels=\"SHZ\"\r\n");
    EXPECT_EQ(std::string(header.data(), header.size()), expected);
    EXPECT_EQ(header[165], '\0');
}

TEST(ArchiveText, RateLineHasSixDecimals) {
    struct Case {
        double rate;
        const char* line;
    } cases[] = {{20, "SpS=20.000000\r\n"},
                 {0.1, "SpS=0.100000\r\n"},
                 {64, "SpS=64.000000\r\n"},
                 {1e-7, "SpS=0.000000\r\n"}};
    for (const Case& c : cases) {
        std::array<char, 512> header;
        ASSERT_TRUE(ComposeHeader(header, kExample, ArchiveTime{}, c.rate, "ABC", "SHZ"));
        EXPECT_NE(std::string(header.data(), 512).find(c.line), std::string::npos) << c.line;
    }
}

// A text that would not fit stops at byte 511 with its NUL; the header stays 512 bytes.
TEST(ArchiveText, TooLongTextIsCutAtTheLastByte) {
    struct Guarded {
        std::array<char, 512> header;
        std::array<char, 16> after;
    } g;
    g.after.fill('#');
    std::string station(300, 'S');
    std::string channel(300, 'C');
    EXPECT_FALSE(
        ComposeHeader(g.header, kExample, ArchiveTime{}, 100.0, station.c_str(), channel.c_str()));
    EXPECT_EQ(g.header[511], '\0');
    EXPECT_EQ(std::string(g.after.data(), 16), std::string(16, '#'));
    // The longest names that still fit: 159 bytes of fixed text plus the two names.
    std::string s(176, 'S');
    std::string c(176, 'C');
    EXPECT_TRUE(ComposeHeader(g.header, kExample, ArchiveTime{}, 100.0, s.c_str(), c.c_str()));
    EXPECT_EQ(g.header[511], '\0');
    std::string c1(177, 'C');
    EXPECT_FALSE(ComposeHeader(g.header, kExample, ArchiveTime{}, 100.0, s.c_str(), c1.c_str()));
}

}  // namespace
