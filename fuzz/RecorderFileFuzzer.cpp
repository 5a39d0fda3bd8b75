// libFuzzer target: arbitrary bytes as a recorder file, through everything a conversion
// does with them short of the database: header reading, the format key test, the length
// test, decoding, and the archive writer into a temporary data directory, with a catalog
// stand-in that remembers the row of every archive file.
//
// Besides the sanitizers' findings it traps when a run leaves the archive and the catalog
// out of step: every archive file must consist of the 512-byte header and whole samples,
// and must hold exactly as many samples as its last registration says it covers.

#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "archive/ArchiveWriter.h"
#include "platform/ExitCodes.h"
#include "recorder/ChannelMap.h"
#include "recorder/RecordingOpener.h"

namespace {

constexpr char kStation[] = "FUZ";

// The catalog stand-in: the last registration of every path, as FILELIST would keep it.
class RowPerPath : public CatalogRegistrar {
  public:
    RegistrationOutcome Register(RegistrationKind, const FileRegistration& file) override {
        if (!(file.duration > 0) || !std::isfinite(file.duration) || !(file.rate > 0) ||
            !std::isfinite(file.start)) {
            __builtin_trap();  // a row no archive file can match
        }
        std::string path = file.path;
        for (char& c : path) {
            if (c == '\\') c = '/';
        }
        rows[path] = file;
        return RegistrationOutcome::kRegistered;
    }
    const std::string& CreatorName() const override { return creator_; }
    std::map<std::string, FileRegistration> rows;

  private:
    std::string creator_ = "PLQ2TRQ";
};

// Where each input lives: an anonymous memory file, opened by path like a recorder file,
// and a data directory below a temporary directory removed at exit.
struct Workspace {
    Workspace() {
        fd = ::memfd_create("recording.plq", 0);
        if (fd < 0) std::abort();
        recordingPath = "/proc/self/fd/" + std::to_string(fd);
        std::string pattern = (std::filesystem::temp_directory_path() / "plq-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        dataDir = pattern;
    }
    ~Workspace() {
        std::error_code ignored;
        std::filesystem::remove_all(dataDir, ignored);
        ::close(fd);
    }
    void Store(const uint8_t* data, size_t size) const {
        if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) {
            std::abort();
        }
    }
    int fd = -1;
    std::string recordingPath;
    std::string dataDir;
};

// Every archive file against its row; traps on a mismatch.
void CheckArchive(const std::string& dataDir, const RowPerPath& catalog) {
    const std::filesystem::path stationDir = std::filesystem::path(dataDir) / kStation;
    std::error_code error;
    if (!std::filesystem::exists(stationDir, error)) {
        if (!catalog.rows.empty()) __builtin_trap();  // rows without files
        return;
    }
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(stationDir)) {
        ++files;
        const auto size = static_cast<int64_t>(entry.file_size());
        if (size < 512 || (size - 512) % 4 != 0) __builtin_trap();
        const auto row =
            catalog.rows.find(std::string(kStation) + "/" + entry.path().filename().string());
        if (row == catalog.rows.end()) __builtin_trap();  // a file without its row
        const double described = row->second.duration * row->second.rate;
        if (std::fabs(described - static_cast<double>((size - 512) / 4)) > 0.01) __builtin_trap();
    }
    if (files != catalog.rows.size()) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Workspace workspace;
    workspace.Store(data, size);

    OpenedRecording opened =
        OpenRecording(workspace.recordingPath.c_str(), HeaderReadLine::kLeftOut);
    if (opened.exitCode == ExitCode::kOpenFile) std::abort();
    if (opened.exitCode != 0) return 0;

    RowPerPath catalog;
    {
        CArchiveWriter writer(catalog);
        writer.SetDataDir(workspace.dataDir.c_str());
        ChannelMap noMap;
        SampleReceiver toWriter = [&writer](const char* station, const char* channel, double rate,
                                            EpochSeconds start, int32_t count,
                                            const float* samples) {
            writer.AddSamples(station, channel, rate, start, count, samples);
        };
        opened.recording->ReadChannels(toWriter, kStation, noMap, nullptr);
        opened.recording->Close();
        writer.FlushAll();
    }
    CheckArchive(workspace.dataDir, catalog);

    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(workspace.dataDir) / kStation, ignored);
    return 0;
}
