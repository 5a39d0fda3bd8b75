#pragma once
// The catalog's FILELIST rows for programs that read and mend it (the toolkit, the web
// services): a connection of its own, the rows read (all, or those of one path), deleted,
// and written through the converter's own registration (FileRegistration.h).

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "catalog/CatalogLogin.h"

class CDatabase;

// A catalog operation failed; the message carries the driver's text.
class CatalogError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

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

struct CatalogSelection;

class CatalogStore {
  public:
    // What the connection is for. Mending rows goes through the converter's registration,
    // which needs the connection as the converter opens it (rows changed by statements that
    // name them by the values read); reading alone needs nothing of that. A read-only
    // connection asks the driver for read-only access, where it has one.
    enum class Use { kReadAndMend, kReadOnly };

    // Connects. Throws CatalogError with the driver's message.
    explicit CatalogStore(const CatalogLogin& login, Use use = Use::kReadAndMend);
    ~CatalogStore();
    CatalogStore(const CatalogStore&) = delete;
    CatalogStore& operator=(const CatalogStore&) = delete;

    // Every row, or the rows of one path when `path` is not empty. Throws CatalogError.
    std::vector<CatalogRow> ReadRows(const std::string& path = std::string());
    // The rows a selection finds (see CatalogSelection.h), in time order: by TBEGIN, then
    // station, channel and path. Throws CatalogError.
    std::vector<CatalogRow> SelectRows(const CatalogSelection& selection);
    // Deletes every row of `path`. Throws CatalogError.
    void DeleteRows(const std::string& path);
    // The distinct stations (STA), and the distinct channels (CH) of one station, in
    // ascending order. Each name is one step along the index on (STA, CH, TBEGIN), so the
    // cost grows with the number of names, not of rows. Throws CatalogError.
    std::vector<std::string> ListStations();
    std::vector<std::string> ListChannels(const std::string& station);

    CDatabase& Database() { return *database_; }

  private:
    std::unique_ptr<CDatabase> database_;
};
