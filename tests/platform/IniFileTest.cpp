#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/IniFile.h"
#include "tests/support/TempDir.h"

using platform::IniFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

// Parses `contents` as an ini file; the value of `key` in `section`.
class ProfileFile : public ::testing::Test {
  protected:
    std::string Value(const std::string& contents, const std::string& section,
                      const std::string& key, std::size_t capacity = 256) {
        return IniFile::Parse(contents).Value(section, key, "<default>", capacity);
    }
    // The names of the entries of `section`, in file order.
    std::vector<std::string> Names(const std::string& contents, const std::string& section) {
        std::vector<std::string> names;
        for (const auto& entry : IniFile::Parse(contents).Entries(section)) {
            names.push_back(entry.name);
        }
        return names;
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
    const IniFile missing = IniFile::Read(dir_ / "absent.ini");
    EXPECT_EQ(missing.Value("S", "K", "\\", 32), "\\");
    EXPECT_TRUE(missing.Entries("S").empty());
    WriteFile(dir_ / "present.ini", "[S]\nK=read\n");
    EXPECT_EQ(IniFile::Read(dir_ / "present.ini").Value("S", "K", "", 32), "read");
}

TEST_F(ProfileFile, EntriesAreListedInFileOrderOncePerLine) {
    const std::string text =
        "[other]\nx=1\n[S]\n; comment\nalpha=1\nbeta\n=no name\nBeta=2\nalpha=3\n"
        "[s]\ngamma=4\n";
    EXPECT_EQ(Names(text, "S"), (std::vector<std::string>{"alpha", "Beta", "alpha", "gamma"}));
    EXPECT_TRUE(Names(text, "missing").empty());
    EXPECT_TRUE(Names("[S]\n", "S").empty());
    EXPECT_EQ(IniFile::Parse(text).Entries("S")[2].value, "3");
}

// Cuts never split a UTF-8 character: "\xC3\xBC" is one character of two bytes.
TEST_F(ProfileFile, CutsKeepUtf8CharactersWhole) {
    EXPECT_EQ(Value("[S]\nK=ab\xC3\xBC\n", "S", "K", 4), "ab");
    EXPECT_EQ(Value("[S]\nK=ab\xC3\xBC\n", "S", "K", 5), "ab\xC3\xBC");
    EXPECT_EQ(Value("[S]\nK=a\xE2\x82\xAC\n", "S", "K", 4), "a");       // three bytes
    EXPECT_EQ(Value("[S]\nK=a\xF0\x9F\x98\x80z\n", "S", "K", 5), "a");  // four bytes
    EXPECT_EQ(Value("[S]\nK=a\xF0\x9F\x98\x80z\n", "S", "K", 6), "a\xF0\x9F\x98\x80");
    EXPECT_EQ(Value("[S]\nK=ab\xFC"
                    "cd\n",
                    "S", "K", 4),
              "ab\xFC");  // Latin-1: bytewise
}

}  // namespace
