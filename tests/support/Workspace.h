#pragma once
// One test's world for running the programs as a user would: a temporary directory with a
// catalog of a given kind, an archive directory, the converter's plq2trq.ini and, where a
// case wants one, the system's trq.ini. The test build looks for trq.ini in the relative
// directory etc/ (PLQ_SYSCONFDIR), which is the workspace's own: nothing outside the
// temporary directory is read or written, whatever the machine's /etc holds.

#include <map>
#include <string>
#include <vector>

#include "testing/PlqGenerator.h"
#include "tests/support/Catalog.h"
#include "tests/support/RunProcess.h"
#include "tests/support/TempDir.h"

namespace testsupport {

// An archive file as a test compares it: its size and a digest of its bytes.
struct FileState {
    uintmax_t size = 0;
    std::string digest;  // FNV-1a 64 of the contents, 16 hex digits
    bool operator==(const FileState&) const = default;
};
void PrintTo(const FileState& state, std::ostream* os);

// The FNV-1a 64 digest of `bytes` as 16 hex digits (an independent, stable fingerprint).
std::string Digest(const std::string& bytes);

using Rows = std::vector<std::vector<std::string>>;

class Workspace {
  public:
    // The ini names the catalog (user and password too), the archive directory and the
    // channel map 1=BHZ, 2=BHN, 3=BHE.
    explicit Workspace(CatalogKind kind = CatalogKind::kSqlite, bool uniquePath = true);

    const TempDir& Dir() const { return dir_; }
    std::string Path(const std::string& relative) const { return dir_ / relative; }
    std::string ArchiveDir() const { return dir_ / "archive"; }
    const TestCatalog& Catalog() const { return catalog_; }
    // Environment for programs started here: the catalog's ODBC files, TMPDIR in the
    // workspace.
    std::map<std::string, std::string> Env() const;

    // "[DATABASE]..." for the catalog, "[DATA] DIR=<dataDir>" and `channelMap`.
    std::string IniText(
        const std::string& dataDir,
        const std::string& channelMap = "[CHANNELMAP]\n1=BHZ\n2=BHN\n3=BHE\n") const;
    void WriteIni(const std::string& text) const;
    void WriteTrqIni(const std::string& text) const;
    void WriteRecording(const std::string& name, const plqgen::RecordingSpec& spec) const;

    // plq2trq FILE STATION (extra arguments after them), in the workspace.
    ProcessResult Convert(const std::string& recording, const std::string& station = "ABC",
                          const std::vector<std::string>& extra = {}) const;
    ProcessResult Trq(const std::vector<std::string>& args) const;
    // --dsn, --user and --password of the catalog, for trq.
    std::vector<std::string> LoginArgs() const;

    // Every file below the archive directory (relative path with '/'), but the station
    // locks, which stay for good.
    std::map<std::string, FileState> ArchiveFiles() const;
    // FILELIST as text, ordered by CPATH; LDDATE is left out unless named.
    Rows CatalogRows(const std::string& columns =
                         "CPATH,STA,CH,TBEGIN,TQTY,SPS,GAIN,DATATYPE,CREATER,FOFF") const;

  private:
    TempDir dir_;
    TestCatalog catalog_;
};

}  // namespace testsupport
