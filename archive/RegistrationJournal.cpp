#include "archive/RegistrationJournal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/FileServices.h"

namespace {

constexpr char kNewKind[] = "new";
constexpr char kUpdateKind[] = "update";
constexpr char kRecordingKind[] = "recording";
constexpr std::size_t kFieldCount = 10;
constexpr std::size_t kChecksumFieldCount = 4;

std::string Encoded(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c < 0x20 || c == '%') {
            char escape[4];
            std::snprintf(escape, sizeof escape, "%%%02X", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

bool Decoded(const std::string& text, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return false;
        char* end = nullptr;
        const std::string hex = text.substr(i + 1, 2);
        const long value = std::strtol(hex.c_str(), &end, 16);
        if (end != hex.c_str() + 2) return false;
        out += static_cast<char>(value);
        i += 2;
    }
    return true;
}

std::string Number(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

bool ParseDouble(const std::string& text, double& value) {
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && end == text.c_str() + text.size();
}

bool ParseInt(const std::string& text, int32_t& value) {
    char* end = nullptr;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    value = static_cast<int32_t>(parsed);
    return !text.empty() && end == text.c_str() + text.size() && parsed == value;
}

std::vector<std::string> SplitFields(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1) {
        fields.push_back(line.substr(start, tab - start));
    }
    fields.push_back(line.substr(start));
    return fields;
}

bool ParseInt64(const std::string& text, int64_t& value) {
    char* end = nullptr;
    value = std::strtoll(text.c_str(), &end, 10);
    return !text.empty() && end == text.c_str() + text.size();
}

std::string RecordingLine(const RecordingRecord& r) {
    std::string line = std::string(kRecordingKind) + '\t' + Encoded(r.path) + '\t' +
                       Encoded(r.station) + '\t' + std::to_string(r.size) + '\t' +
                       Number(r.modified) + '\t' + Encoded(r.hash) + '\t' + Number(r.converted) +
                       '\t' + RecordOutcomeName(r.outcome) + '\t' + std::to_string(r.exitCode) +
                       '\t' + Encoded(r.reason);
    const std::pair<FileAction, const std::vector<std::string>*> files[] = {
        {FileAction::kCreated, &r.created},
        {FileAction::kReplaced, &r.replaced},
        {FileAction::kExtended, &r.extended}};
    for (const auto& [action, paths] : files) {
        for (const std::string& path : *paths) {
            line += '\t' + std::string(FileActionName(action)) + ':' + Encoded(path);
        }
    }
    return line + '\n';
}

bool ParseRecording(const std::vector<std::string>& f, RecordingRecord& r) {
    int32_t exitCode = 0;
    if (f.size() < kFieldCount || !Decoded(f[1], r.path) || !Decoded(f[2], r.station) ||
        !ParseInt64(f[3], r.size) || !ParseDouble(f[4], r.modified) || !Decoded(f[5], r.hash) ||
        !ParseDouble(f[6], r.converted) || !ParseRecordOutcome(f[7], r.outcome) ||
        !ParseInt(f[8], exitCode) || !Decoded(f[9], r.reason)) {
        return false;
    }
    r.exitCode = exitCode;
    for (std::size_t i = kFieldCount; i < f.size(); ++i) {
        const std::size_t colon = f[i].find(':');
        FileAction action = FileAction::kCreated;
        std::string path;
        if (colon == std::string::npos || !ParseFileAction(f[i].substr(0, colon), action) ||
            !Decoded(f[i].substr(colon + 1), path)) {
            return false;
        }
        (action == FileAction::kCreated    ? r.created
         : action == FileAction::kReplaced ? r.replaced
                                           : r.extended)
            .push_back(std::move(path));
    }
    return true;
}

bool ParseChecksum(const std::vector<std::string>& f, std::optional<FileChecksum>& checksum) {
    if (f.size() == kFieldCount) return true;
    FileChecksum read;
    char* end = nullptr;
    read.length = std::strtoll(f[10].c_str(), &end, 10);
    read.fileHash = f[12];
    if (f[10].empty() || *end != '\0' || f[11] != kChecksumAlgorithm ||
        read.fileHash.size() != kHashDigits || !SplitBlockHashes(f[13], read.blockHashes)) {
        return false;
    }
    checksum = std::move(read);
    return true;
}

bool ParseLine(const std::string& line, JournalEntry& entry) {
    const std::vector<std::string> f = SplitFields(line);
    if (!f.empty() && f[0] == kRecordingKind) {
        entry.recording.emplace();
        return ParseRecording(f, *entry.recording);
    }
    if (f.size() != kFieldCount && f.size() != kFieldCount + kChecksumFieldCount) return false;
    if (f[0] == kNewKind) {
        entry.kind = RegistrationKind::kNewFile;
    } else if (f[0] == kUpdateKind) {
        entry.kind = RegistrationKind::kExtendedFile;
    } else {
        return false;
    }
    FileRegistration& file = entry.file;
    return Decoded(f[1], file.path) && Decoded(f[2], file.station) && Decoded(f[3], file.channel) &&
           ParseDouble(f[4], file.start) && ParseDouble(f[5], file.duration) &&
           ParseDouble(f[6], file.rate) && ParseInt(f[7], file.gain) &&
           ParseInt(f[8], file.dataType) && Decoded(f[9], entry.creator) &&
           ParseChecksum(f, file.checksum);
}

// Replaces the journal with `lines` (removes it when there are none): written beside it
// and renamed over it, so that a kill leaves either the old journal or the new one.
std::string RewriteJournal(const std::string& path, const std::string& lines) {
    if (lines.empty()) {
        if (platform::RemoveFile(path.c_str()) || errno == ENOENT) return {};
        return "unlink " + path + ": " + std::strerror(errno);
    }
    const std::string temporary = path + ".tmp";
    platform::OutputFile file = platform::OutputFile::CreateTruncated(temporary.c_str());
    if (file.IsOpen() && file.Write(lines.data(), lines.size()) && file.Close() &&
        platform::RenameFile(temporary.c_str(), path.c_str())) {
        return {};
    }
    const std::string reason = file.LastError().Describe(temporary);
    platform::RemoveFile(temporary.c_str());
    return reason.empty() ? "rename " + temporary + ": " + std::strerror(errno) : reason;
}

std::string ChecksumFields(const std::optional<FileChecksum>& checksum) {
    if (!checksum) return {};
    return '\t' + std::to_string(checksum->length) + '\t' + kChecksumAlgorithm + '\t' +
           checksum->fileHash + '\t' + JoinedBlockHashes(checksum->blockHashes);
}

}  // namespace

std::string JournalLine(const JournalEntry& entry) {
    if (entry.recording) return RecordingLine(*entry.recording);
    const FileRegistration& f = entry.file;
    return std::string(entry.kind == RegistrationKind::kNewFile ? kNewKind : kUpdateKind) + '\t' +
           Encoded(f.path) + '\t' + Encoded(f.station) + '\t' + Encoded(f.channel) + '\t' +
           Number(f.start) + '\t' + Number(f.duration) + '\t' + Number(f.rate) + '\t' +
           std::to_string(f.gain) + '\t' + std::to_string(f.dataType) + '\t' +
           Encoded(entry.creator) + ChecksumFields(f.checksum) + '\n';
}

std::string AppendToJournal(const std::string& path, const JournalEntry& entry) {
    const std::string line = JournalLine(entry);
    platform::OutputFile file = platform::OutputFile::OpenAppending(path.c_str());
    if (file.IsOpen() && file.Write(line.data(), line.size()) && file.Close()) return {};
    return file.LastError().Describe(path);
}

JournalContents ReadJournal(const std::string& path) {
    JournalContents contents;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (errno != ENOENT) contents.error = "open " + path + ": " + std::strerror(errno);
        return contents;
    }
    std::ostringstream text;
    text << in.rdbuf();
    const std::string all = text.str();
    std::size_t start = 0;
    for (std::size_t end; (end = all.find('\n', start)) != std::string::npos; start = end + 1) {
        JournalEntry entry;
        if (ParseLine(all.substr(start, end - start), entry)) {
            contents.entries.push_back(std::move(entry));
        } else {
            contents.unreadable.push_back(all.substr(start, end - start));
        }
    }
    return contents;
}

JournalReplay ReplayJournal(const std::string& path, const JournalRegistration& registerEntry) {
    JournalReplay replay;
    const JournalContents contents = ReadJournal(path);
    if (!contents.error.empty()) {
        replay.error = contents.error;
        return replay;
    }
    if (contents.entries.empty() && contents.unreadable.empty()) return replay;
    std::string kept;
    for (const JournalEntry& entry : contents.entries) {
        RegistrationOutcome outcome = RegistrationOutcome::kCatalogUnavailable;
        if (!replay.catalogUnavailable) outcome = registerEntry(entry);
        if (outcome == RegistrationOutcome::kRegistered) {
            ++replay.applied;
            continue;
        }
        if (outcome == RegistrationOutcome::kCatalogUnavailable) replay.catalogUnavailable = true;
        if (outcome == RegistrationOutcome::kFailed) ++replay.failed;
        kept += JournalLine(entry);
        ++replay.remaining;
    }
    for (const std::string& line : contents.unreadable) kept += line + '\n';
    replay.unreadable = contents.unreadable.size();
    replay.remaining += replay.unreadable;
    replay.error = RewriteJournal(path, kept);
    return replay;
}
