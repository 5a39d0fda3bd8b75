#include "archive/ArchiveHeader.h"

#include <charconv>
#include <cmath>
#include <map>
#include <optional>
#include <string_view>

#include "recorder/UtcTime.h"

namespace {

[[noreturn]] void Fail(const std::string& what) {
    throw ArchiveFormatError(what);
}

int ParseInt(std::string_view text, const char* what) {
    int value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end) {
        Fail(std::string("header line \"") + what + "\" does not hold a whole number: \"" +
             std::string(text) + "\"");
    }
    return value;
}

// "hh mi ss" or "dd mm yyyy": three whole numbers separated by single blanks.
void ParseTriple(std::string_view text, const char* what, int& first, int& second, int& third) {
    const auto blank1 = text.find(' ');
    const auto blank2 = blank1 == std::string_view::npos ? blank1 : text.find(' ', blank1 + 1);
    if (blank2 == std::string_view::npos) {
        Fail(std::string("header line \"") + what + "\" does not hold three numbers: \"" +
             std::string(text) + "\"");
    }
    first = ParseInt(text.substr(0, blank1), what);
    second = ParseInt(text.substr(blank1 + 1, blank2 - blank1 - 1), what);
    third = ParseInt(text.substr(blank2 + 1), what);
}

// Splits the header text into its lines; every line must end in CR LF.
std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const auto end = text.find("\r\n");
        if (end == std::string_view::npos) {
            Fail("header line \"" + std::string(text) + "\" does not end in CR LF");
        }
        lines.push_back(text.substr(0, end));
        text.remove_prefix(end + 2);
    }
    return lines;
}

// Key line values by key; each known key exactly once.
std::map<std::string, std::string_view> CollectKeyLines(const std::vector<std::string_view>& lines,
                                                        ArchiveHeader& header) {
    static const char* const kKnownKeys[] = {"Data offset",   "Start time", "Start date",
                                             "Time duration", "Data Type",  "SpS",
                                             "Gain",          "Station",    "Channels"};
    std::map<std::string, std::string_view> values;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const auto equals = lines[i].find('=');
        const std::string key(lines[i].substr(0, equals));
        bool known = false;
        for (const char* k : kKnownKeys) known = known || key == k;
        if (equals == std::string_view::npos || !known) {
            header.otherLines.emplace_back(lines[i]);
            continue;
        }
        if (!values.emplace(key, lines[i].substr(equals + 1)).second) {
            Fail("header line \"" + key + "=\" appears more than once");
        }
    }
    for (const char* k : kKnownKeys) {
        if (values.find(k) == values.end()) Fail(std::string("header has no \"") + k + "=\" line");
    }
    return values;
}

void CheckTimeOfDay(int hour, int minute, int second, const char* what) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
        Fail(std::string("header line \"") + what + "\" is not a time of day");
    }
}

}  // namespace

int64_t ArchiveHeader::StartSecond() const {
    return CivilToEpochSeconds(
        {startYear, startMonth, startDay, startHour, startMinute, startSecond});
}

std::string ArchiveHeader::CatalogPathItGives() const {
    const ArchiveTime start{startYear, startMonth, startDay, startHour, startMinute, startSecond};
    return CatalogPath(station, ArchiveFileName(start, channel, station));
}

ArchiveHeader ParseArchiveHeader(std::span<const unsigned char, kArchiveHeaderSize> bytes) {
    std::size_t nul = 0;
    while (nul < bytes.size() && bytes[nul] != 0) ++nul;
    if (nul == bytes.size()) Fail("header text has no terminating NUL within 512 bytes");
    for (std::size_t i = nul + 1; i < bytes.size(); ++i) {
        if (bytes[i] != ' ') {
            Fail("header byte " + std::to_string(i) + " after the text is not a space");
        }
    }
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), nul);
    const std::vector<std::string_view> lines = SplitLines(text);
    if (lines.empty() || lines[0] != kArchiveFormatLine) {
        Fail(std::string("header does not begin with the line \"") + kArchiveFormatLine + "\"");
    }

    ArchiveHeader header;
    const auto values = CollectKeyLines(lines, header);

    header.dataOffset = ParseInt(values.at("Data offset"), "Data offset=");
    if (header.dataOffset != static_cast<int>(kArchiveHeaderSize)) {
        Fail("header line \"Data offset=\" is " + std::to_string(header.dataOffset) + ", not 512");
    }
    ParseTriple(values.at("Start time"), "Start time=", header.startHour, header.startMinute,
                header.startSecond);
    CheckTimeOfDay(header.startHour, header.startMinute, header.startSecond, "Start time=");
    ParseTriple(values.at("Start date"), "Start date=", header.startDay, header.startMonth,
                header.startYear);
    if (!IsValidDate(header.startYear, header.startMonth, header.startDay)) {
        Fail("header line \"Start date=\" is not a calendar date: \"" +
             std::string(values.at("Start date")) + "\"");
    }
    ParseTriple(values.at("Time duration"), "Time duration=", header.durationHours,
                header.durationMinutes, header.durationSeconds);
    if (header.durationHours < 0 || header.durationMinutes < 0 || header.durationSeconds < 0) {
        Fail("header line \"Time duration=\" is negative");
    }

    header.dataType = std::string(values.at("Data Type"));
    if (header.dataType != "FLOAT") {
        Fail("header line \"Data Type=\" is \"" + header.dataType + "\", not FLOAT");
    }

    header.samplesPerSecondText = std::string(values.at("SpS"));
    const std::string_view rate = values.at("SpS");
    auto [end, ec] = std::from_chars(rate.data(), rate.data() + rate.size(),
                                     header.samplesPerSecond, std::chars_format::fixed);
    if (rate.empty() || ec != std::errc() || end != rate.data() + rate.size() ||
        !std::isfinite(header.samplesPerSecond) || header.samplesPerSecond <= 0) {
        Fail("header line \"SpS=\" is not a positive sample rate: \"" +
             header.samplesPerSecondText + "\"");
    }

    header.gain = ParseInt(values.at("Gain"), "Gain=");
    header.station = std::string(values.at("Station"));
    const std::string_view channel = values.at("Channels");
    if (channel.size() < 2 || channel.front() != '"' || channel.back() != '"') {
        Fail("header line \"Channels=\" does not hold a name in double quotes: \"" +
             std::string(channel) + "\"");
    }
    header.channel = std::string(channel.substr(1, channel.size() - 2));
    return header;
}
