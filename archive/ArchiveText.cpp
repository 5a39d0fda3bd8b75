#include "archive/ArchiveText.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace {

bool HasSeparator(std::string_view name) {
    return name.find_first_of("/\\") != std::string_view::npos;
}

// "KRV " is not KRV: a blank at either end makes a directory and rows of a station of its
// own that nobody can tell from the other by eye.
bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

}  // namespace

bool IsUsableStationName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && !HasSeparator(name) &&
           !IsBlank(name.front()) && !IsBlank(name.back());
}

bool IsUsableChannelName(std::string_view name) {
    return !HasSeparator(name);
}

ArchiveTime ArchiveTimeOf(EpochSeconds t) {
    ArchiveTime time;
    float seconds = 0;
    // On failure only the date fields stay unset; they keep their zeros.
    EpochSecondsToDate(t, time.year, time.month, time.day, time.hour, time.minute, seconds);
    time.second = static_cast<int>(seconds);  // truncation toward zero: 9.9 s shows as 09
    return time;
}

std::string ArchiveFileName(const ArchiveTime& start, std::string_view channel,
                            std::string_view station) {
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%02d%02d%04d-%02d%02d%02d-", start.day, start.month,
                  start.year, start.hour, start.minute, start.second);
    auto padded = [](std::string_view name) {
        return name.size() >= 3 ? std::string(name)
                                : std::string(3 - name.size(), ' ') + std::string(name);
    };
    return stamp + padded(channel) + "." + padded(station);
}

std::string CatalogPath(std::string_view station, std::string_view fileName) {
    return std::string(station) + "\\" + std::string(fileName);
}

std::string CatalogPathOfFile(const std::string& path) {
    const std::filesystem::path file(path);
    const std::filesystem::path absolute = std::filesystem::absolute(file).lexically_normal();
    return CatalogPath(absolute.parent_path().filename().string(), absolute.filename().string());
}

bool CatalogPathStaysBelow(std::string_view catalogPath) {
    std::size_t begin = 0;
    for (;;) {
        const std::size_t end = catalogPath.find_first_of("\\/", begin);
        const std::string_view part = catalogPath.substr(begin, end - begin);
        if (part.empty() || part == "." || part == "..") return false;
        if (end == std::string_view::npos) return true;
        begin = end + 1;
    }
}

std::string DiskPathOfCatalogPath(const std::string& dataDir, std::string_view catalogPath) {
    std::string path = dataDir.empty() ? std::string() : dataDir + "/";
    for (char c : catalogPath) path += c == '\\' ? '/' : c;
    return path;
}

// Archive file header, written once when the file is created:
//
//   FIELD        TYPE                                  OFFSET
//   text         ASCII lines, each ending in CR LF     0
//   terminator   one NUL byte                          length of the text (at most 511)
//   padding      spaces (0x20)                         after the NUL, up to 511
//   samples      float32 little-endian, time order     512
//
// The ten lines, in order: [TRQ5.x] / Data offset=512 / Start time=hh mm ss /
// Start date=dd mm yyyy / Time duration=hh mm ss / Data Type=FLOAT / SpS=<rate, %f> /
// Gain=1 / Station=<station> / Channels="<channel>".
bool ComposeHeader(std::span<char, kArchiveHeaderSize> header, const ArchiveTime& start,
                   const ArchiveTime& duration, double rate, const char* station,
                   const char* channel) {
    std::fill(header.begin(), header.end(), ' ');
    // snprintf stops at 511 characters and a NUL, so the bytes after the NUL keep their spaces.
    int length = std::snprintf(header.data(), header.size(),
                               "[TRQ5.x]\r\n"
                               "Data offset=512\r\n"
                               "Start time=%02d %02d %02d\r\n"
                               "Start date=%02d %02d %04d\r\n"
                               "Time duration=%02d %02d %02d\r\n"
                               "Data Type=FLOAT\r\n"
                               "SpS=%f\r\n"
                               "Gain=%d\r\n"
                               "Station=%s\r\n"
                               "Channels=\"%s\"\r\n",
                               start.hour, start.minute, start.second, start.day, start.month,
                               start.year, duration.hour, duration.minute, duration.second, rate,
                               kArchiveGain, station, channel);
    return length >= 0 && static_cast<std::size_t>(length) < header.size();
}

bool ComposeFileHeader(std::span<char, kArchiveHeaderSize> header, EpochSeconds start, double rate,
                       const char* station, const char* channel) {
    // The duration line shows a zero duration, as converted by the calendar.
    return ComposeHeader(header, ArchiveTimeOf(start), ArchiveTimeOf(0.0), rate, station, channel);
}
