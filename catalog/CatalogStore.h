#pragma once
// The catalog's FILELIST rows for programs that read and mend it (the toolkit, the web
// services): a connection of its own, the rows read (all, or those of one path), deleted,
// and written through the converter's own registration (FileRowWriter.h).

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "catalog/CatalogLogin.h"
#include "catalog/CatalogRow.h"

class CDatabase;
class CDBException;

// A catalog operation failed; the message carries the driver's text.
class CatalogError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct CatalogSelection;

// The driver's text of a database error, on one line, for a CatalogError.
std::string DriverErrorText(const CDBException& error);

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
    // The rows a selection finds (see CatalogSelection.h), of every station and channel its
    // lists of patterns name, in time order: by TBEGIN, then station, channel and path.
    // Throws CatalogError.
    std::vector<CatalogRow> SelectRows(const CatalogSelection& selection);
    // Deletes every row of `path`. Throws CatalogError.
    void DeleteRows(const std::string& path);
    // The distinct stations (STA), and the distinct channels (CH) of one station, in
    // ascending order. Each name is one step along the index on (STA, CH, TBEGIN), so the
    // cost grows with the number of names, not of rows. Throws CatalogError.
    std::vector<std::string> ListStations();
    std::vector<std::string> ListChannels(const std::string& station);
    // Every station and channel of the catalog, by station and channel: the same steps along
    // the index, taken by the database in one statement (a round trip in all, where the
    // two above take one per name). Throws CatalogError.
    std::vector<std::pair<std::string, std::string>> ListStreams();

    CDatabase& Database() { return *database_; }

  private:
    // Appends the rows of one stream (no wildcards) that meet the selection's window.
    void AppendStreamRows(const std::string& station, const std::string& channel,
                          const CatalogSelection& selection, std::vector<CatalogRow>& rows);

    std::unique_ptr<CDatabase> database_;
};
