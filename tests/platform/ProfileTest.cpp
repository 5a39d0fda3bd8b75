#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Profile.h"
#include "tests/support/TempDir.h"

using platform::ReadProfileKeys;
using platform::ReadProfileString;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

// Writes `contents` as an ini file in a fresh directory; the value of `key` in `section`.
class ProfileFile : public ::testing::Test {
  protected:
    std::string Write(const std::string& contents) {
        WriteFile(dir_ / "test.ini", contents);
        return dir_ / "test.ini";
    }
    std::string Value(const std::string& contents, const std::string& section,
                      const std::string& key, std::size_t capacity = 256) {
        return ReadProfileString(Write(contents), section, key, "<default>", capacity);
    }
    TempDir dir_;
};

TEST_F(ProfileFile, ValuesAreTakenLiterallyWhateverTheParserWouldInterpret) {
    struct Case {
        const char* contents;
        const char* key;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"[S]\nK=C:\\data\\\n", "K", "C:\\data\\"},                // trailing backslash kept
        {"[S]\nK=x ; not a comment\n", "K", "x ; not a comment"},  // no inline comments
        {"[S]\nK=x;y #z\n", "K", "x;y #z"},
        {"[S]\nK=a=b\n", "K", "a=b"},                // split at the first '='
        {"[S]\nK=\"quoted\"\n", "K", "\"quoted\""},  // no quote processing
        {"[S]\nurl:x=y\n", "url:x", "y"},            // ':' is part of the name
        {"[S]\nurl:x=y\n", "url", "<default>"},
        {"[S]\n#K=1\n", "#K", "1"},         // '#' starts no comment
        {"[S]\n;K=1\n", "K", "<default>"},  // ';' line is a comment
        {"[S]\n   ;K=1\nK=2\n", "K", "2"},
        {"[S]\nK=x\\\n  cont=1\n", "K", "x\\"},  // indented: no continuation
        {"[S]\nK=x\\\n  cont=1\n", "cont", "1"},
        {"[S]\n  K  =  two words  \n", "K", "two words"},  // blanks trimmed
        {"[S]\r\nK=crlf\r\n", "K", "crlf"},
        {"[S]\n\tK\t=\ttab\t\n", "K", "tab"},
        {"[S]\nK=\n", "K", ""},            // present but empty
        {"[S]\nK\n", "K", "<default>"},    // no '=': no entry
        {"[S]\nK=1\nK=2\n", "K", "1"},     // first occurrence wins
        {"[s]\nk=lower\n", "K", "lower"},  // case-insensitive names
        {"[ S ] trailing text\nK=1\n", "K", "1"},
        {"[T]\nK=1\n", "K", "<default>"},              // other section
        {"[S]\nK=1\n[T]\nK=2\n[S]\nL=3\n", "L", "3"},  // a section may resume
        {"K=before any section\n", "K", "<default>"},
        {"[S]\nK=\x01"
         "a\x01\n",
         "K",
         "\x01"
         "a\x01"},
        {"\xEF\xBB\xBF[S]\nK=bom\n", "K", "bom"},
        {"[S\nK=unclosed section header\n", "K", "<default>"},
        {"[S]\nK=no final newline", "K", "no final newline"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Value(c.contents, "S", c.key), c.expected) << c.contents;
    }
}

TEST_F(ProfileFile, LongLinesSectionsAndNamesAreReadWhole) {
    const std::string longValue = std::string(150, 'v') + ";:#" + std::string(150, 'w');
    EXPECT_EQ(Value("[S]\nK=" + longValue + "\nL=after\n", "S", "K", 400), longValue);
    EXPECT_EQ(Value("[S]\nK=" + longValue + "\nL=after\n", "S", "L"), "after");

    const std::string longName(220, 'n');
    EXPECT_EQ(Value("[S]\n" + longName + "=1\n", "S", longName), "1");

    const std::string longSection(60, 's');
    const std::string text =
        "[" + longSection + "]\nK=long\n[" + longSection.substr(0, 49) + "]\nK=prefix\n";
    EXPECT_EQ(Value(text, longSection, "K"), "long");
    EXPECT_EQ(Value(text, longSection.substr(0, 49), "K"), "prefix");
}

TEST_F(ProfileFile, ValueAndDefaultAreCutToTheCapacity) {
    EXPECT_EQ(Value("[S]\nK=0123456789\n", "S", "K", 11), "0123456789");
    EXPECT_EQ(Value("[S]\nK=0123456789\n", "S", "K", 10), "012345678");
    EXPECT_EQ(Value("[S]\nK=0123456789\n", "S", "K", 1), "");
    EXPECT_EQ(Value("[S]\nK=0123456789\n", "S", "K", 0), "");
    EXPECT_EQ(Value("", "S", "K", 5), "<def");
}

TEST_F(ProfileFile, MissingFileReadsAsDefaultAndHasNoKeys) {
    EXPECT_EQ(ReadProfileString(dir_ / "absent.ini", "S", "K", "\\", 32), "\\");
    EXPECT_TRUE(ReadProfileKeys(dir_ / "absent.ini", "S", 100).empty());
}

TEST_F(ProfileFile, KeysAreListedInFileOrderOncePerLine) {
    const std::string path = Write(
        "[other]\nx=1\n[S]\n; comment\nalpha=1\nbeta\n=no name\nBeta=2\nalpha=3\n"
        "[s]\ngamma=4\n");
    EXPECT_EQ(ReadProfileKeys(path, "S", 1000),
              (std::vector<std::string>{"alpha", "Beta", "alpha", "gamma"}));
    EXPECT_TRUE(ReadProfileKeys(path, "missing", 1000).empty());
    EXPECT_TRUE(ReadProfileKeys(Write("[S]\n"), "S", 1000).empty());
}

// "alpha\0beta\0gamma\0\0" takes 18 bytes; a smaller buffer drops or cuts the last names.
TEST_F(ProfileFile, KeyListIsCutToTheBuffer) {
    const std::string path = Write("[S]\nalpha=1\nbeta=2\ngamma=3\n");
    const std::vector<std::pair<std::size_t, std::vector<std::string>>> cases = {
        {100, {"alpha", "beta", "gamma"}},
        {18, {"alpha", "beta", "gamma"}},
        {17, {"alpha", "beta", "gamm"}},
        {14, {"alpha", "beta", "g"}},
        {13, {"alpha", "beta"}},
        {12, {"alpha", "beta"}},
        {3, {"a"}},
        {2, {}},
        {0, {}},
    };
    for (const auto& [capacity, expected] : cases) {
        EXPECT_EQ(ReadProfileKeys(path, "S", capacity), expected) << capacity;
    }
}

}  // namespace
