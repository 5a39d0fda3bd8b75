#pragma once
// What the archive tests see of a writer: the registrations it hands a recording registrar
// and the files it leaves, each as one line of text that a table row can spell out.

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "archive/ArchiveWriter.h"
#include "platform/FileServices.h"
#include "tests/support/Bytes.h"
#include "tests/support/TempDir.h"

namespace writercase {

// 2013-10-22 13:47:34 UTC.
inline constexpr EpochSeconds T = 1382449654.0;

inline std::string Text(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// The length of every file when it was last synced, by file name: what a crash leaves.
inline std::map<std::string, int64_t>& SyncedLengths() {
    static std::map<std::string, int64_t> lengths;
    return lengths;
}

// The real file calls, with every successful fdatasync noted in SyncedLengths.
inline platform::FileCalls SyncNotingCalls() {
    platform::FileCalls calls = platform::RealFileCalls();
    calls.Fdatasync = [](int fd) {
        const int result = platform::RealFileCalls().Fdatasync(fd);
        std::error_code error;
        const auto file =
            std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), error);
        struct stat status {};
        if (result == 0 && !error && ::fstat(fd, &status) == 0) {
            SyncedLengths()[file.filename().string()] = status.st_size;
        }
        return result;
    };
    return calls;
}

class RecordingRegistrar : public CatalogRegistrar {
  public:
    RegistrationOutcome Register(RegistrationKind kind, const FileRegistration& file) override {
        calls.emplace_back(kind, file);
        // The samples an extension claims must be on stable storage already.
        const std::string name = file.path.substr(file.path.find('\\') + 1);
        const int64_t claimed = 512 + std::llround(file.duration * file.rate) * 4;
        if (checkSynced && kind == RegistrationKind::kExtendedFile &&
            SyncedLengths()[name] < claimed) {
            unsynced.push_back(file.path + " " + Text("%.9g", file.duration));
        }
        return answer;
    }
    const std::string& CreatorName() const override { return creator; }

    // "N|E path start duration rate" per registration, and "checksum" when it brings the
    // file's; a run of one kind on one path is one line with the values of its last
    // registration, counted: "71E ...".
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        std::string last;
        int run = 0;
        for (const auto& [kind, f] : calls) {
            const std::string key = (kind == RegistrationKind::kNewFile ? "N " : "E ") + f.path;
            run = key == last ? run + 1 : 1;
            if (run > 1) lines.pop_back();
            lines.push_back((run > 1 ? std::to_string(run) : "") + key + " " +
                            Text("%.13g", f.start) + " " + Text("%.9g", f.duration) + " " +
                            Text("%.9g", f.rate) + (f.checksum ? " checksum" : ""));
            last = key;
        }
        return lines;
    }

    std::vector<std::pair<RegistrationKind, FileRegistration>> calls;
    RegistrationOutcome answer = RegistrationOutcome::kRegistered;
    std::string creator = "PLQ2TRQ";
    bool checkSynced = false;           // note extensions of samples not yet synced
    std::vector<std::string> unsynced;  // "path duration" of each
};

// "STA/name size runs" for every file below `dir`, sorted; the runs are the sample values
// after the 512-byte header as ranges of consecutive numbers: "0-99,200-249".
inline std::vector<std::string> FileLines(const std::string& dir) {
    std::vector<std::string> lines;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
        if (!entry.is_regular_file()) continue;
        // The writer's own files (their names start with a dot) show their text instead.
        const bool own = entry.path().filename().string()[0] == '.';
        const std::string bytes = testsupport::ReadFile(entry.path());
        const std::vector<float> s =
            own ? std::vector<float>() : testsupport::ArchiveSamples(bytes);
        std::string line = std::filesystem::relative(entry.path(), dir).string() + " " +
                           std::to_string(bytes.size()) +
                           (own && !bytes.empty() ? " " + bytes : "");
        for (std::size_t i = 0; i < s.size(); ++i) {
            if (i == 0 || s[i] != s[i - 1] + 1) line += (i ? "," : " ") + Text("%.9g", s[i]) + "-";
            if (i + 1 == s.size() || s[i + 1] != s[i] + 1) line += Text("%.9g", s[i]);
        }
        lines.push_back(line);
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

// A writer on the data directory <temp>/data.
struct TempWriter {
    TempWriter() {
        std::filesystem::create_directory(data);
        writer.emplace(registrar);
        writer->SetDataDir(data.c_str());
    }
    // The files below the data directory whose last registration does not bring their
    // checksum as the reference makes it (files never registered are another writer's).
    std::vector<std::string> WithoutTheirChecksum() const {
        std::vector<std::string> wrong;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(data)) {
            const std::string name = std::filesystem::relative(entry.path(), data).string();
            if (!entry.is_regular_file() || entry.path().filename().string()[0] == '.') continue;
            const std::string path =
                name.substr(0, name.find('/')) + "\\" + name.substr(name.find('/') + 1);
            const auto last =
                std::find_if(registrar.calls.rbegin(), registrar.calls.rend(),
                             [&](const auto& call) { return call.second.path == path; });
            if (last != registrar.calls.rend() &&
                last->second.checksum !=
                    testsupport::ReferenceChecksum(testsupport::ReadFile(entry.path()))) {
                wrong.push_back(name);
            }
        }
        return wrong;
    }
    // The registrations made, then the files below the data directory.
    std::vector<std::string> Outcome() const {
        std::vector<std::string> lines = registrar.Lines();
        for (const std::string& file : FileLines(data)) lines.push_back(file);
        return lines;
    }

    testsupport::TempDir dir;
    std::string data = dir / "data";
    RecordingRegistrar registrar;
    std::optional<CArchiveWriter> writer;
};

}  // namespace writercase
