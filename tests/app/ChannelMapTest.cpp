// The channel map read from section CHANNELMAP of a temporary ini file: key numbers read
// like atoi and cut to 16 bits, later keys winning, names cut to 30 characters, the key
// list cut to 15999 bytes, and freeing.

#include <gtest/gtest.h>

#include <string>

#include "platform/IniFile.h"
#include "recorder/ChannelMap.h"
#include "tests/support/ConsoleLines.h"
#include "tests/support/TempDir.h"

using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

class ChannelMapFile : public ::testing::Test {
  protected:
    // Writes `contents` as the ini file and loads the map from it.
    bool Load(const std::string& contents) {
        WriteFile(IniPath(), contents);
        return LoadFrom(IniPath());
    }
    bool LoadFrom(const std::string& path) {
        return LoadChannelMap(map_, platform::IniFile::Read(path), path);
    }
    std::string IniPath() const { return dir_ / "plq2trq.ini"; }
    // The name of `channel`, or "<none>".
    std::string Name(int channel) const {
        const char* name = FindChannelName(map_, channel);
        return name ? name : "<none>";
    }

    TempDir dir_;
    ChannelMap map_;
};

TEST_F(ChannelMapFile, KeysNameTheirChannels) {
    ASSERT_TRUE(Load("[DATABASE]\nODBC=X\n[CHANNELMAP]\n1=BHZ\n2=BHN\n3=BHE\n[DATA]\nDIR=d\n"));
    EXPECT_EQ(map_.names.size(), 3u);
    EXPECT_EQ(Name(1), "BHZ");
    EXPECT_EQ(Name(2), "BHN");
    EXPECT_EQ(Name(3), "BHE");
    EXPECT_EQ(Name(4), "<none>");
    EXPECT_EQ(Name(0), "<none>");
}

TEST_F(ChannelMapFile, NoKeysMeansNoMapAndNoChange) {
    const struct {
        const char* what;
        const char* contents;  // nullptr: no file at all
    } cases[] = {
        {"no file", nullptr},
        {"empty file", ""},
        {"no section", "[DATABASE]\nODBC=X\n[DATA]\n1=BHZ\n"},
        {"empty section", "[CHANNELMAP]\n[DATA]\nDIR=d\n"},
        {"only comments", "[CHANNELMAP]\n; 1=BHZ\n\n"},
    };
    for (const auto& c : cases) {
        map_.names = {{7, "KEEP"}};
        if (c.contents) {
            WriteFile(IniPath(), c.contents);
            EXPECT_FALSE(LoadFrom(IniPath())) << c.what;
        } else {
            EXPECT_FALSE(LoadFrom(dir_ / "missing.ini")) << c.what;
        }
        EXPECT_EQ(map_.names.size(), 1u) << c.what;
        EXPECT_EQ(Name(7), "KEEP") << c.what;
    }
}

TEST_F(ChannelMapFile, KeyNamesAreReadLikeAtoiAndCutTo16Bits) {
    const struct {
        const char* key;
        int channel;
    } cases[] = {
        {"2abc", 2},
        {"65537", 1},
        {"-1", 65535},
        {"abc", 0},
        {"+9", 9},
        {"-65536", 0},
        {"1e3", 1},
        {"4294967301", 5},             // 2^32 + 5
        {"100000000000000000005", 5},  // beyond 64 bits: wraps, no overflow
        {"-100000000000000000005", 65531},
        {"- 5", 0},
    };
    for (const auto& c : cases) {
        FreeChannelMap(map_);
        ASSERT_TRUE(Load(std::string("[CHANNELMAP]\n") + c.key + "=NAME\n")) << c.key;
        EXPECT_EQ(map_.names.size(), 1u) << c.key;
        EXPECT_EQ(Name(c.channel), "NAME") << c.key;
    }
}

TEST_F(ChannelMapFile, LaterKeyWithTheSameNumberWins) {
    ASSERT_TRUE(Load("[CHANNELMAP]\n1=FIRST\n001=SECOND\n"));
    EXPECT_EQ(map_.names.size(), 1u);
    EXPECT_EQ(Name(1), "SECOND");

    FreeChannelMap(map_);
    ASSERT_TRUE(Load("[CHANNELMAP]\n001=FIRST\n1=SECOND\n65537=THIRD\n"));
    EXPECT_EQ(map_.names.size(), 1u);
    EXPECT_EQ(Name(1), "THIRD");

    // The same key twice, and a second section: the later entry still wins.
    FreeChannelMap(map_);
    ASSERT_TRUE(
        Load("[CHANNELMAP]\n1=BHZ\n2=BHN\n1=LATER\n[DATA]\nDIR=d\n[channelmap]\n2=AGAIN\n"));
    EXPECT_EQ(Name(1), "LATER");
    EXPECT_EQ(Name(2), "AGAIN");
}

TEST_F(ChannelMapFile, LookupTakesTheLow16BitsOfTheNumber) {
    ASSERT_TRUE(Load("[CHANNELMAP]\n1=ONE\n65535=TOP\n"));
    EXPECT_EQ(Name(65537), "ONE");
    EXPECT_EQ(Name(-1), "TOP");
    EXPECT_EQ(Name(-65535), "ONE");
}

TEST_F(ChannelMapFile, ValuesAreKeptUpTo30Characters) {
    const std::string forty = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcd";
    ASSERT_EQ(forty.size(), 40u);
    ASSERT_TRUE(Load("[CHANNELMAP]\n1=" + forty + "\n2=" + forty.substr(0, 30) +
                     "\n3=" + forty.substr(0, 31) + "\n4=\n5=B H Z\n"));
    EXPECT_EQ(Name(1), forty.substr(0, 30));
    EXPECT_EQ(Name(2), forty.substr(0, 30));
    EXPECT_EQ(Name(3), forty.substr(0, 30));
    // An empty value is a name, not a missing one.
    ASSERT_NE(FindChannelName(map_, 4), nullptr);
    EXPECT_EQ(Name(4), "");
    EXPECT_EQ(Name(5), "B H Z");
    // 29 ASCII bytes and a two-byte character: the character does not fit and is left out.
    ASSERT_TRUE(Load("[CHANNELMAP]\n6=" + forty.substr(0, 29) + "\xC3\xBC\n"));
    EXPECT_EQ(Name(6), forty.substr(0, 29));
}

TEST_F(ChannelMapFile, FreeingEmptiesTheMap) {
    ASSERT_TRUE(Load("[CHANNELMAP]\n1=BHZ\n2=BHN\n3=BHE\nabc=ZERO\n"));
    FreeChannelMap(map_);
    EXPECT_TRUE(map_.names.empty());
    for (int channel : {0, 1, 2, 3}) EXPECT_EQ(Name(channel), "<none>") << channel;
    FreeChannelMap(map_);  // freeing an empty map is harmless
    EXPECT_TRUE(map_.names.empty());
}

TEST_F(ChannelMapFile, KeysBeyondTheKeyListCapacityAreNotLoaded) {
    // Key names of 37 characters, leading zeros and the channel number (10001..10500),
    // take 38 bytes each in the NUL-separated key list, which ends with an extra NUL:
    // 421 names fill the 15999 bytes exactly (15998 + 1), 10001..10421. No later key is
    // read; a cut remainder of a name could only be a run of zeros (channel 0).
    std::string ini = "[CHANNELMAP]\n";
    for (int key = 10001; key <= 10500; ++key) {
        ini += std::string(32, '0') + std::to_string(key) + "=N" + std::to_string(key) + "\n";
    }
    testsupport::ConsoleLines console;
    ASSERT_TRUE(Load(ini));
    EXPECT_EQ(console.notices,
              std::vector<std::string>{"79 entries of [CHANNELMAP] in " + IniPath() +
                                       " were dropped: the channel map holds 15999 bytes of key "
                                       "names"});
    for (int key = 10001; key <= 10421; ++key) {
        ASSERT_EQ(Name(key), "N" + std::to_string(key)) << key;
    }
    for (int key = 10422; key <= 10500; ++key) {
        ASSERT_EQ(Name(key), "<none>") << key;
    }
    EXPECT_EQ(map_.names.size(), 421u);
}

}  // namespace
