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
    std::vector<std::string> created;
    std::vector<std::string> extended;
    std::vector<std::string> replaced;
    bool dryRun = false;  // told what would be done, did nothing
    // Dry run: the replaced files that exist now and no recording before would make, each
    // with whether it holds the data the conversion would write into it again. (A file that
    // a recording before would make holds that recording's data by then: not compared.)
    std::map<std::string, bool> sameData;
};

// The batch's exit code: 0 when every recording converted, else the code of the most
// severe failure. Severity follows a run's order of steps, an unexpected failure first:
// -10, -3, -7, -4, -5, -6, -11, -12, -13, -8, -9 (a run with several failures ends with
// the first of -5, -8, -9 too).
int CampaignExitCode(const std::vector<RecordingOutcome>& outcomes);

// The short name of an exit code for the summary ("not PLQ", "catalog", ...).
const char* FailureName(int exitCode);

// Per station the seconds of data converted and the gaps and overlaps between its
// converted recordings (the end of one against the start of the next, one sample's
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

// The end summary as lines of text.
std::vector<std::string> SummaryLines(const std::vector<RecordingOutcome>& outcomes);

// The JSON report: {"recordings": [...], "summary": {...}}; one line of indented JSON. A dry
// run's recordings tell for each replaced file in `sameData` whether replacing it changes its
// data: "changesData": {"STA\\file": false, ...}.
std::string ReportJson(const std::vector<RecordingOutcome>& outcomes, int exitCode);
