#include "trq/commands/RecordingSources.h"

#include "catalog/CatalogStore.h"
#include "odbc/DBException.h"
#include "recorder/UtcTime.h"

namespace trq {

RecordingSources::RecordingSources(CatalogArguments arguments) : arguments_(std::move(arguments)) {}

RecordingSources::~RecordingSources() = default;

std::optional<std::vector<RecordingSource>> RecordingSources::Of(const std::string& catalogPath) {
    if (!tried_) {
        tried_ = true;
        CatalogLogin login;
        try {
            login = FindCatalog(arguments_).login;
            catalog_ = std::make_unique<CatalogStore>(login, CatalogStore::Use::kReadOnly);
            if (!HasRecordTables(catalog_->Database())) {
                problem_ = "the catalog keeps no record of recordings (catalog-setup.sh adds it)";
                catalog_.reset();
            }
        } catch (const std::exception& e) {
            problem_ = "catalog " + login.dsn + ": " + e.what();
        } catch (const CDBException& e) {
            problem_ = "catalog " + login.dsn + ": " + DriverErrorText(e);
            catalog_.reset();
        }
    }
    if (!catalog_) return std::nullopt;
    try {
        return RecordingsOfArchiveFile(catalog_->Database(), catalogPath);
    } catch (const CDBException& e) {
        problem_ = "reading the record of recordings: " + DriverErrorText(e);
    }
    return std::nullopt;
}

std::string SourceText(const RecordingSource& source) {
    return source.recording.path + " (" + FileActionName(source.action) + ")";
}

nlohmann::json SourceJson(const RecordingSource& source) {
    const RecordingRecord& r = source.recording;
    return {{"path", r.path},
            {"station", r.station},
            {"action", FileActionName(source.action)},
            {"outcome", RecordOutcomeName(r.outcome)},
            {"exitCode", r.exitCode},
            {"converted", FormatIsoUtc(r.converted, 3)}};
}

}  // namespace trq
