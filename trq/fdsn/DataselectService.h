#pragma once
// fdsnws-dataselect 1.1 over the archive: exactly the samples of each selection's window,
// one record series per continuous segment (a gap, an overlap or a change of sample rate
// starts a new one), as miniSEED 2 records whose start times come from TBEGIN to the
// microsecond, in the encoding --encoding gives each series (trq/mseed/EncodingChoice.h).
//
// A request is planned from the catalog before anything is sent, so that "no data" (204 or
// 404) and "too much" (413) are answered with their status; then the records are made and
// sent piece by piece, reading the archive files a few records at a time, so that memory
// stays bounded whatever the window.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "catalog/ContinuousSegments.h"
#include "catalog/WindowSamples.h"
#include "trq/fdsn/DataselectRequest.h"
#include "trq/fdsn/FdsnService.h"
#include "trq/fdsn/ServeSettings.h"
#include "trq/fdsn/ServedStreams.h"
#include "trq/fdsn/ServerLog.h"
#include "trq/mseed/MiniSeedPacker.h"

namespace trq {

struct PlannedTrace {
    ContinuousSegment segment;
    TimeWindow window;
    int64_t samples = 0;  // of the segment within the window
    std::string network;  // codes the records carry
    std::string location;
};

struct DataselectPlan {
    std::vector<PlannedTrace> traces;  // in the order of the selections, streams and time
    int64_t samples = 0;
    double seconds = 0;  // samples / rate, summed over the traces
};

// The traces `request` asks for. Rows whose files are missing, disagree with them or lie
// outside the data directory are left out and noted in `log`. Throws FdsnError (413) when
// the request asks for more than `settings` allow, CatalogError when the catalog fails.
DataselectPlan PlanDataselect(ServedStreams& streams, const DataselectRequest& request,
                              const ServeSettings& settings, ServerLog& log);

// The archive files (CPATH) of the plan's traces that meet their windows, each once, in
// the order read.
std::vector<std::string> FilesRead(const DataselectPlan& plan);

// The records of a plan, made a few at a time.
class MiniSeedStream {
  public:
    // Under an encoding that may refuse a series (steim2), chooses every series' encoding
    // at once: throws Steim2Refusal before a record is made. Else each series' encoding is
    // chosen when its turn comes.
    MiniSeedStream(DataselectPlan plan, const ServeSettings& settings);

    // The next whole records, about 16 of them; empty once all are made. Throws
    // ArchiveReadError or ArchiveFormatError when a file cannot be read, std::runtime_error
    // when libmseed fails.
    std::string Next();

  private:
    // Reads the trace's samples once ahead: whether Steim-2 carries every one of them.
    bool Steim2CarriesTrace(const PlannedTrace& trace) const;
    // The encoding the settings give the trace. Throws Steim2Refusal.
    MiniSeedEncoding EncodingOf(const PlannedTrace& trace) const;

    DataselectPlan plan_;
    ServeSettings settings_;
    std::size_t samplesPerPiece_;
    std::size_t trace_ = 0;                     // the trace being sent
    std::optional<WindowSampleReader> reader_;  // its samples
    int64_t sent_ = 0;                          // of its samples
    std::vector<MiniSeedEncoding> encodings_;   // of the traces chosen so far, in order
    bool steim2_ = false;                       // its records are Steim-2, else float32
    int64_t records_ = 0;                       // made so far, for their sequence numbers
};

// The service as the route table lists it.
const FdsnService& DataselectService();

}  // namespace trq
