// `cmake --install` of this build into a prefix: the installed programs and the catalog
// script do the main job on their own, and the installed trq reads what they made.

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/RunProcess.h"
#include "tests/support/TempDir.h"

using namespace testsupport;

TEST(Install, PrefixConvertsAndReadsOnItsOwn) {
    TempDir dir;
    const std::string prefix = dir / "prefix";
    const ProcessResult install = RunProcess(
        PLQ_CMAKE_COMMAND, {"--install", PLQ_BINARY_DIR, "--prefix", prefix}, dir.Path());
    ASSERT_EQ(install.exitCode, 0) << install.out << install.err;
    EXPECT_EQ(ReadFile(prefix + "/share/plq2trq/catalog/filelist.sql"),
              ReadFile(PLQ_SOURCE_DIR "/catalog/filelist.sql"));
    EXPECT_EQ(ReadFile(prefix + "/share/plq2trq/systemd/plq2trq-watch.service"),
              ReadFile(PLQ_SOURCE_DIR "/systemd/plq2trq-watch.service"));

    const std::map<std::string, std::string> env = {{"ODBCSYSINI", dir / "odbc"},
                                                    {"ODBCINI", dir / "odbc/odbc.ini"}};
    auto run = [&](const std::string& program, const std::vector<std::string>& args) {
        const ProcessResult result = RunProcess(prefix + "/" + program, args, dir.Path(), env);
        EXPECT_EQ(result.exitCode, 0) << program << "\n" << result.out << result.err;
        return result.out;
    };
    run("share/plq2trq/scripts/catalog-setup.sh",
        {"sqlite", "--dsn", "TRQ", "--db", dir / "catalog.db", "--ini-dir", dir / "odbc"});
    run("bin/plqgen", {"rec.plq", "--samples", "1000"});
    std::filesystem::create_directory(dir / "archive");
    WriteFile(dir / "plq2trq.ini", "[DATA]\nDIR=" + (dir / "archive") + "\n");
    EXPECT_TRUE(run("bin/plq2trq", {"rec.plq", "ABC"}).ends_with("Done!\n\n"));
    EXPECT_EQ(run("bin/trq", {"check", dir / "archive", "--dsn", "TRQ"}),
              "trq check: 3 files, 3 rows: the archive and the catalog agree\n");
}
