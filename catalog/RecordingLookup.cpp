#include "catalog/RecordingLookup.h"

#include <optional>

namespace {

class CatalogRecordingLookup : public RecordingLookup {
  public:
    explicit CatalogRecordingLookup(CDatabase& database) : database_(database) {}

    std::vector<RecordingSource> RecordingsThatWrote(const std::string& catalogPath) override {
        // Asked once: an older catalog without the record answers nothing for every file.
        if (!hasRecord_) hasRecord_ = HasRecordTables(database_);
        if (!*hasRecord_) return {};
        return RecordingsOfArchiveFile(database_, catalogPath);
    }

  private:
    CDatabase& database_;
    std::optional<bool> hasRecord_;
};

}  // namespace

std::unique_ptr<RecordingLookup> OpenRecordingLookup(CDatabase& database) {
    return std::make_unique<CatalogRecordingLookup>(database);
}
