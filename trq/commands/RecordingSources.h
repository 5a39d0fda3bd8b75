#pragma once
// Which recordings archive files hold, from the catalog's record of recordings
// (catalog/RecordingRows.h): for `trq info` and `trq list --sources`. The catalog is found as
// the converter finds it unless the command line names it, and connected to once, at the
// first question.

#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "catalog/RecordingRows.h"
#include "site/CatalogLocation.h"

class CatalogStore;

namespace trq {

class RecordingSources {
  public:
    explicit RecordingSources(CatalogArguments arguments);
    ~RecordingSources();

    // The recordings whose samples the archive file `catalogPath` holds, the one that made it
    // first; nothing when the catalog cannot tell (Problem says why).
    std::optional<std::vector<RecordingSource>> Of(const std::string& catalogPath);
    const std::string& Problem() const { return problem_; }

  private:
    CatalogArguments arguments_;
    std::unique_ptr<CatalogStore> catalog_;
    bool tried_ = false;
    std::string problem_;
};

// "/srv/trq/incoming/ABC/rec.plq (created)"
std::string SourceText(const RecordingSource& source);
// {"path", "station", "action", "outcome", "exitCode", "converted"}
nlohmann::json SourceJson(const RecordingSource& source);

}  // namespace trq
