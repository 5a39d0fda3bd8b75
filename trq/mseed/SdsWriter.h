#pragma once
// Writes traces into an SDS tree, the archive layout seismological tools read directly:
//   ROOT/YEAR/NET/STA/CHA.D/NET.STA.LOC.CHA.D.YEAR.DOY
// one file per stream and UTC day, records cut at midnight. A day file that exists already
// keeps its records: the new ones are merged in by start time, and samples whose times
// its records already cover are left out, so that exporting twice adds nothing.
//
// ROOT/manifest-xxh3-128.txt lists the day files written, one "HASH  PATH" line each (the
// shape of a BagIt manifest, and of `xxh128sum`'s output: `xxh128sum -c` checks it in
// ROOT), PATH relative to ROOT, sorted; the lines of files not written this time stay.

#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "trq/mseed/TraceWriter.h"

namespace trq {

class SdsWriter final : public TraceWriter {
  public:
    SdsWriter(std::string root, int recordLength);

    // Writes `trace` into its day files, each whole when this returns. Throws
    // std::runtime_error naming the file when one cannot be read or written, or libmseed
    // fails.
    void Write(const MiniSeedTrace& trace) override;
    // Every day file is complete: writes the manifest. Throws std::runtime_error naming it.
    void Finish() override { WriteManifest(); }
    // A writer that goes unfinished (a failed export) still lists what it wrote.
    ~SdsWriter() override;
    // Records and samples written over all calls, and the day files written to (each once,
    // however many pieces of its day it took); not `source`.
    std::string Summary(std::string_view source) const override;

    // The day file of a stream and a day (microseconds since 1970 within it).
    static std::string DayFilePath(const std::string& root, const MiniSeedTrace& trace,
                                   int64_t dayTime);

    // The manifest's name below ROOT.
    static std::string ManifestName();

  private:
    void WriteDay(const MiniSeedTrace& part);
    void WriteManifest();

    std::string root_;
    int recordLength_;
    int64_t records_ = 0, samples_ = 0;
    std::set<std::string> files_;                 // the day files written to
    std::map<std::string, std::string> written_;  // day files (below ROOT) and their hashes,
                                                  // until the manifest lists them
};

}  // namespace trq
