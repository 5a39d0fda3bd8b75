#pragma once
// One FILELIST row as the programs that read and mend the catalog see it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Added to CREATER of a row that `trq check --repair` rebuilt from a file's header alone:
// its TBEGIN is the header's whole second, the fraction the converter knew is lost.
inline constexpr char kHeaderOnlyCreatorSuffix[] = " (from header)";

// One FILELIST row.
struct CatalogRow {
    std::string station;     // STA
    double rate = 0;         // SPS
    int32_t gain = 0;        // GAIN
    std::string path;        // CPATH
    int32_t dataType = 0;    // DATATYPE
    std::string channel;     // CH
    std::string creator;     // CREATER
    int64_t loadTime = 0;    // LDDATE, seconds since 1970-01-01 UTC
    double start = 0;        // TBEGIN
    double duration = 0;     // TQTY
    int32_t dataOffset = 0;  // FOFF
    // Columns that are NULL in the table (their fields above then hold no value).
    std::vector<std::string> nullColumns;
};

// The number of samples a row announces: TQTY x SPS, when that is within a hundredth of a
// whole number.
std::optional<int64_t> RowSampleCount(const CatalogRow& row);
