#include "watch/WatchLog.h"

#include <cstdio>

#include "recorder/UtcTime.h"

namespace {

std::string Format(const char* format, auto... args) {
    char line[512];
    std::snprintf(line, sizeof line, format, args...);
    return line;
}

// "1080000 samples, 3 files (created 3, replaced 1), 0.04 s"
std::string WorkDone(const WatchResult& r) {
    const ConversionResult& c = r.conversion;
    std::string files;
    const std::pair<const char*, std::size_t> counts[] = {{"created", c.created.size()},
                                                          {"replaced", c.replaced.size()},
                                                          {"extended", c.extended.size()}};
    for (const auto& [name, count] : counts) {
        if (count == 0) continue;
        files += Format("%s%s %zu", files.empty() ? " (" : ", ", name, count);
    }
    if (!files.empty()) files += ")";
    const std::size_t total = c.created.size() + c.replaced.size() + c.extended.size();
    return Format("%lld samples, %zu files", static_cast<long long>(c.samples), total) + files +
           Format(", %.2f s", r.seconds);
}

}  // namespace

std::string Named(const WatchJob& job) {
    return job.path + " (" + job.station + ")";
}

std::string RecordingLine(const WatchResult& r, int quietSeconds) {
    const WatchJob& job = r.job;
    const RecordingRecord& record = r.conversion.record;
    if (job.kind == WatchJob::Kind::kIncomplete) {
        const std::string length =
            job.announced > 0
                ? Format("%lld of %lld bytes", static_cast<long long>(record.size),
                         static_cast<long long>(job.announced))
                : Format("%lld bytes, too short for a header", static_cast<long long>(record.size));
        return "incomplete " + Named(job) + ": " + length +
               Format(", unchanged for %d s; taken when it changes", quietSeconds);
    }
    if (r.unchanged) {
        return "unchanged " + Named(job) + ": the content converted at " +
               FormatIsoUtc(job.known->converted, 0) + "; not converted again";
    }
    const int code = r.conversion.exitCode;
    if (code != 0 && code != -9) {
        const std::string reason = r.lines.empty() ? record.reason : r.lines.front();
        return Format("FAILED %d ", code) + Named(job) + ": " + reason;
    }
    std::string line = (code == 0 ? "converted " : "journaled ") + Named(job) + ": " + WorkDone(r);
    if (code != 0) line += "; its rows wait in the station's journal";
    if (job.known) {
        const RecordOutcome before = job.known->outcome;
        line += "; it changed since " +
                (before == RecordOutcome::kConverted || before == RecordOutcome::kJournaled
                     ? std::string("its conversion")
                     : std::string("it was recorded ") + RecordOutcomeName(before)) +
                " at " + FormatIsoUtc(job.known->converted, 0);
    }
    return line;
}

std::vector<std::string> WarningLines(const WatchResult& r) {
    std::vector<std::string> lines;
    for (const std::string& notice : r.lines)
        lines.push_back("warning " + Named(r.job) + ": " + notice);
    return lines;
}
