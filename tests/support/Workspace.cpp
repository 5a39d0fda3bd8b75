#include "tests/support/Workspace.h"

#include <cstdio>
#include <filesystem>
#include <ostream>

namespace testsupport {

std::string Digest(const std::string& bytes) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (unsigned char byte : bytes) {
        hash ^= byte;
        hash *= 0x100000001b3ull;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

void PrintTo(const FileState& state, std::ostream* os) {
    *os << "{" << state.size << " bytes, " << state.digest << "}";
}

Workspace::Workspace(CatalogKind kind, bool uniquePath)
    : catalog_(MakeCatalog(kind, dir_, "TRQ", uniquePath)) {
    std::filesystem::create_directories(ArchiveDir());
    WriteIni(IniText(ArchiveDir()));
}

std::map<std::string, std::string> Workspace::Env() const {
    std::map<std::string, std::string> env = catalog_.env;
    env["TMPDIR"] = dir_.Path();
    return env;
}

std::string Workspace::IniText(const std::string& dataDir, const std::string& channelMap) const {
    return "[DATABASE]\nODBC=" + catalog_.dsn + "\nUSER=" + catalog_.user +
           "\nPASSWORD=" + catalog_.password + "\n[DATA]\nDIR=" + dataDir + "\n" + channelMap;
}

void Workspace::WriteIni(const std::string& text) const {
    WriteFile(dir_ / "plq2trq.ini", text);
}

void Workspace::WriteTrqIni(const std::string& text) const {
    const std::string etc = dir_ / PLQ_SYSCONFDIR;
    std::filesystem::create_directories(etc);
    WriteFile(etc + "/trq.ini", text);
}

void Workspace::WriteRecording(const std::string& name, const plqgen::RecordingSpec& spec) const {
    plqgen::WriteRecording(dir_ / name, spec);
}

ProcessResult Workspace::Convert(const std::string& recording, const std::string& station,
                                 const std::vector<std::string>& extra) const {
    std::vector<std::string> args{recording, station};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunProcess(ConverterPath(), args, dir_.Path(), Env());
}

ProcessResult Workspace::Trq(const std::vector<std::string>& args) const {
    return RunProcess(TrqPath(), args, dir_.Path(), Env());
}

std::vector<std::string> Workspace::LoginArgs() const {
    return {"--dsn", catalog_.dsn, "--user", catalog_.user, "--password", catalog_.password};
}

std::map<std::string, FileState> Workspace::ArchiveFiles() const {
    std::map<std::string, FileState> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(ArchiveDir())) {
        if (!entry.is_regular_file() || entry.path().filename() == ".plq2trq.lock") continue;
        const std::string bytes = ReadFile(entry.path().string());
        files[std::filesystem::relative(entry.path(), ArchiveDir()).string()] = {bytes.size(),
                                                                                 Digest(bytes)};
    }
    return files;
}

Rows Workspace::CatalogRows(const std::string& columns) const {
    return QueryRows(catalog_, "SELECT " + columns + " FROM FILELIST ORDER BY CPATH");
}

}  // namespace testsupport
