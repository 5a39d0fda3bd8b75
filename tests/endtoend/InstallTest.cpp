// cmake --install puts the converter, the generator and the catalog setup under a prefix,
// and the installed programs do the main job on their own: a catalog made by the installed
// setup script, a recording written by the installed generator, converted by the installed
// converter.

#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "tests/endtoend/EndToEndSupport.h"

using namespace endtoend;
using testsupport::RunProcess;
using testsupport::TempDir;

namespace {

bool IsExecutable(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & S_IXUSR);
}

TEST(Install, PrefixHoldsWorkingConverterGeneratorAndCatalogSetup) {
    if (SystemTrqIniExists()) GTEST_SKIP() << "a system trq.ini would change the settings";
    TempDir dir;
    const std::string prefix = dir / "prefix";
    const ProcessResult install = RunProcess(
        PLQ_CMAKE_COMMAND, {"--install", PLQ_BINARY_DIR, "--prefix", prefix}, dir.Path());
    ASSERT_EQ(install.exitCode, 0) << install.out << install.err;

    for (const char* program :
         {"bin/plq2trq", "bin/plqgen", "share/plq2trq/scripts/catalog-setup.sh"}) {
        EXPECT_TRUE(IsExecutable(prefix + "/" + program)) << program;
    }
    EXPECT_EQ(testsupport::ReadFile(prefix + "/share/plq2trq/catalog/filelist.sql"),
              testsupport::ReadFile(std::string(PLQ_SOURCE_DIR) + "/catalog/filelist.sql"));

    const std::map<std::string, std::string> env = {{"ODBCSYSINI", dir / "odbc"},
                                                    {"ODBCINI", dir / "odbc/odbc.ini"}};
    const ProcessResult setup = RunProcess(
        prefix + "/share/plq2trq/scripts/catalog-setup.sh",
        {"sqlite", "--dsn", "TRQ", "--db", dir / "catalog.db", "--ini-dir", dir / "odbc"},
        dir.Path(), env);
    ASSERT_EQ(setup.exitCode, 0) << setup.err;
    const ProcessResult generate =
        RunProcess(prefix + "/bin/plqgen", {"rec.plq", "--samples", "1000"}, dir.Path());
    ASSERT_EQ(generate.exitCode, 0) << generate.err;
    std::filesystem::create_directory(dir / "archive");
    testsupport::WriteFile(dir / "plq2trq.ini", IniText(nullptr, dir / "archive"));

    const ProcessResult run =
        RunProcess(prefix + "/bin/plq2trq", {"rec.plq", "ABC"}, dir.Path(), env);
    EXPECT_EQ(run.exitCode, kConverted) << run.out;
    EXPECT_EQ(run.out.substr(run.out.size() - 7), "Done!\n\n");
    EXPECT_EQ(Workspace::FilesBelow(dir / "archive"),
              (std::set<std::string>{"ABC/22102013-134734-BHE.ABC", "ABC/22102013-134734-BHN.ABC",
                                     "ABC/22102013-134734-BHZ.ABC"}));
    const ProcessResult rows = RunProcess(
        "/usr/bin/sqlite3", {dir / "catalog.db", "SELECT CPATH, TQTY FROM FILELIST ORDER BY CPATH"},
        dir.Path());
    EXPECT_EQ(rows.out,
              "ABC\\22102013-134734-BHE.ABC|10.0\n"
              "ABC\\22102013-134734-BHN.ABC|10.0\n"
              "ABC\\22102013-134734-BHZ.ABC|10.0\n");
}

}  // namespace
