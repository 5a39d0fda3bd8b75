#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/Settings.h"
#include "tests/support/TempDir.h"

using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

constexpr const char* kNoFile = nullptr;

struct SettingsCase {
    const char* name;
    const char* ownIni;  // contents, or kNoFile
    const char* trqIni;
    ConnectionSettings expected;
};

ConnectionSettings ReadWith(const TempDir& dir, const char* ownIni, const char* trqIni) {
    const SettingsFiles files{dir / "plq2trq.ini", dir / "trq.ini"};
    if (ownIni != kNoFile) WriteFile(files.ownIni, ownIni);
    if (trqIni != kNoFile) WriteFile(files.trqIni, trqIni);
    return ReadSettings(files);
}

void ExpectSettings(const SettingsCase& c) {
    TempDir dir;
    const ConnectionSettings got = ReadWith(dir, c.ownIni, c.trqIni);
    EXPECT_EQ(got.dataSource, c.expected.dataSource) << c.name;
    EXPECT_EQ(got.user, c.expected.user) << c.name;
    EXPECT_EQ(got.password, c.expected.password) << c.name;
    EXPECT_EQ(got.dataDir, c.expected.dataDir) << c.name;
}

TEST(Settings, DatabaseValuesFallBackFromOwnIniToTrqIniToTheFallbackWord) {
    const std::vector<SettingsCase> cases = {
        {"no files", kNoFile, kNoFile, {"TRQ", "TRQ", "TRQ", ""}},
        {"own ini only",
         "[DATABASE]\nODBC=Arch\nUSER=op\nPASSWORD=pw\n[DATA]\nDIR=/srv/trq\n",
         kNoFile,
         {"Arch", "op", "pw", "/srv/trq"}},
        {"trq.ini only", kNoFile, "[DATABASE]\nODBC=T\nUSER=U\nPASSWORD=P\n", {"T", "U", "P", ""}},
        {"own value wins",
         "[DATABASE]\nODBC=own\n",
         "[DATABASE]\nODBC=trq\n",
         {"own", "TRQ", "TRQ", ""}},
        {"own ends with backslash, trq none",
         "[DATABASE]\nODBC=own\\\n",
         kNoFile,
         {"TRQ", "TRQ", "TRQ", ""}},
        {"own ends with backslash, trq set",
         "[DATABASE]\nODBC=own\\\n",
         "[DATABASE]\nODBC=trq\n",
         {"trq", "TRQ", "TRQ", ""}},
        {"both end with backslash",
         "[DATABASE]\nUSER=a\\\n",
         "[DATABASE]\nUSER=b\\\n",
         {"TRQ", "TRQ", "TRQ", ""}},
        {"only trq ends with backslash",
         kNoFile,
         "[DATABASE]\nPASSWORD=x\\\n",
         {"TRQ", "TRQ", "TRQ", ""}},
        {"sections and keys in any case, blanks, comments",
         "; settings\n[database]\n  odbc = My DSN  \n;USER=commented\nUser=op ; not a comment\n",
         kNoFile,
         {"My DSN", "op ; not a comment", "TRQ", ""}},
        {"empty values are used, but a data source needs a name",
         "[DATABASE]\nODBC=\nPASSWORD=\n[DATA]\nDIR=\n",
         "[DATABASE]\nODBC=trq\nPASSWORD=trq\n[DATA]\nDIR=/trq\n",
         {"trq", "TRQ", "", ""}},
        {"empty data source names in both files",
         "[DATABASE]\nODBC=\n",
         "[DATABASE]\nODBC=\n",
         {"TRQ", "TRQ", "TRQ", ""}},
    };
    for (const SettingsCase& c : cases) ExpectSettings(c);
}

TEST(Settings, DataDirectoryDropsOneTrailingBackslashFromTrqIniOnly) {
    const std::vector<SettingsCase> cases = {
        {"own without backslash",
         "[DATA]\nDIR=/data/own\n",
         "[DATA]\nDIR=/data/trq\\\n",
         {"TRQ", "TRQ", "TRQ", "/data/own"}},
        {"own with backslash, trq with one",
         "[DATA]\nDIR=C:\\own\\\n",
         "[DATA]\nDIR=/data/trq\\\n",
         {"TRQ", "TRQ", "TRQ", "/data/trq"}},
        {"own with backslash, trq with two",
         "[DATA]\nDIR=C:\\own\\\n",
         "[DATA]\nDIR=/data/trq\\\\\n",
         {"TRQ", "TRQ", "TRQ", "/data/trq\\"}},
        {"own with backslash, trq without",
         "[DATA]\nDIR=C:\\own\\\n",
         "[DATA]\nDIR=/data/trq\n",
         {"TRQ", "TRQ", "TRQ", "/data/trq"}},
        {"own with backslash, no trq",
         "[DATA]\nDIR=C:\\own\\\n",
         kNoFile,
         {"TRQ", "TRQ", "TRQ", ""}},
        {"trq only, single backslash", kNoFile, "[DATA]\nDIR=\\\n", {"TRQ", "TRQ", "TRQ", ""}},
    };
    for (const SettingsCase& c : cases) ExpectSettings(c);
}

TEST(Settings, ValuesAreCutToTheirBuffers) {
    const std::string longWord(300, 'x');
    const std::string own = "[DATABASE]\nODBC=" + longWord + "\nUSER=" + longWord +
                            "\nPASSWORD=12345678901234567890\n[DATA]\nDIR=/" + longWord + "\n";
    TempDir dir;
    const ConnectionSettings got = ReadWith(dir, own.c_str(), kNoFile);
    EXPECT_EQ(got.dataSource, longWord.substr(0, 31));
    EXPECT_EQ(got.user, longWord.substr(0, 31));
    EXPECT_EQ(got.password, "123456789012345");
    EXPECT_EQ(got.dataDir, "/" + longWord.substr(0, 254));
}

// The cut comes first: a value whose 31st character is a backslash counts as missing.
TEST(Settings, ValueEndingInBackslashAfterTheCutCountsAsMissing) {
    const std::string dsn = std::string(30, 'd') + "\\tail";
    TempDir dir;
    const ConnectionSettings got =
        ReadWith(dir, ("[DATABASE]\nODBC=" + dsn + "\n").c_str(), "[DATABASE]\nODBC=fromtrq\n");
    EXPECT_EQ(got.dataSource, "fromtrq");
}

TEST(Settings, ConnectStringCarriesThePasswordOnlyForTheDriver) {
    const ConnectionSettings settings{"Arch", "op", "s3cret", "/srv"};
    EXPECT_EQ(ConnectString(settings), "DSN=Arch;UID=op;PWD=s3cret;");
    EXPECT_EQ(PrintableConnectString(settings), "DSN=Arch;UID=op;PWD=***;");
    EXPECT_EQ(PrintableConnectString({"TRQ", "TRQ", "", ""}), "DSN=TRQ;UID=TRQ;PWD=***;");
}

}  // namespace
