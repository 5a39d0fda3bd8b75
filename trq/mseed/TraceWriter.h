#pragma once
// Where `trq export` puts the miniSEED records of its traces: a file or standard output
// (MiniSeedWriter.h), or an SDS tree (SdsWriter.h). An export makes one writer, hands it
// its traces one at a time, finishes it and prints its summary.

#include <string>
#include <string_view>

#include "trq/mseed/MiniSeedPacker.h"

namespace trq {

class TraceWriter {
  public:
    virtual ~TraceWriter() = default;

    // Packs every sample of `trace` into records and writes them. Throws std::runtime_error
    // naming the output when they cannot be written, or libmseed fails.
    virtual void Write(const MiniSeedTrace& trace) = 0;
    // Completes the output. Throws std::runtime_error when it cannot. A file whose writer
    // goes unfinished is removed; what went to standard output or into SDS day files stays.
    virtual void Finish() = 0;
    // The closing line after "trq export: ", what was written where: "wrote out.mseed: 3
    // records, 3000 samples " and `source` ("from 3 files", "in 2 traces"), or for an SDS
    // tree, which counts its day files instead, "wrote below DIR: 3 records, 3000 samples
    // into 2 day files".
    virtual std::string Summary(std::string_view source) const = 0;
};

}  // namespace trq
