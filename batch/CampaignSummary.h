#pragma once
// What a batch did: one outcome per recording, the summary printed at the end, the JSON
// report, and the batch's exit code.

#include <map>
#include <string>
#include <vector>

#include "batch/CampaignPlan.h"

struct RecordingOutcome {
    PlannedRecording recording;
    // The exit code the classic form (plq2trq FILE STATION) would have ended with.
    int exitCode = 0;
    // Why it failed: the converter's error lines and notices; empty when converted.
    std::vector<std::string> reasons;
    // Every line the classic form prints on standard error for the recording (without the
    // program's name): why it failed, replaced files that held other data, warnings, waits.
    std::vector<std::string> notices;
    std::vector<std::string> created;
    std::vector<std::string> extended;
    std::vector<std::string> replaced;
    bool dryRun = false;  // told what would be done, did nothing
    // Of the replaced files, whether each held the data written into it again (true) or other
    // data (false). A dry run compares the files that are there now and no recording before
    // would make; a file that a recording before would make holds that recording's data by
    // then, and is not listed.
    std::map<std::string, bool> sameData;
};

// The batch's exit code: 0 when every recording converted, else the code of the most
// severe failure. The catalog and the archive (and so the whole run) outrank what is wrong
// with a recording's station or channel names, and those what is wrong with one recording
// file: -10, -3, -8, -9, -13, -7, -11, -12, -4, -5, -6.
int CampaignExitCode(const std::vector<RecordingOutcome>& outcomes);

// The short name of an exit code for the summary ("not PLQ", "catalog", ...).
const char* FailureName(int exitCode);

// Per station the time its converted recordings cover (a second delivery of a recording
// counts once, an overlap once), and the gaps and overlaps between them (one sample's
// tolerance).
struct StationCoverage {
    std::string station;
    double seconds = 0;
    int gaps = 0;
    double gapSeconds = 0;
    int overlaps = 0;
    double overlapSeconds = 0;
};
std::vector<StationCoverage> CoverageOf(const std::vector<RecordingOutcome>& outcomes);

// The end summary as lines of text: a run's ("Summary: ...") or a dry run's ("Dry run: ...").
std::vector<std::string> SummaryLines(const std::vector<RecordingOutcome>& outcomes, bool dryRun);

// The JSON report: {"exitCode": N, "recordings": [...], "stations": [...]}, indented. Each
// replaced file is {"path": ..., "sameData": true|false}, or null where a dry run did not
// compare it.
std::string ReportJson(const std::vector<RecordingOutcome>& outcomes, int exitCode);
