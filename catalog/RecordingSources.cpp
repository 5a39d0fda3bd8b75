#include "catalog/RecordingSources.h"

namespace {

// The catalog keeps no record of the recordings converted: every file's are unknown.
class NoRecordingsRecord : public RecordingSources {
  public:
    std::vector<RecordingSource> RecordingsThatWrote(const std::string&) override { return {}; }
};

}  // namespace

std::unique_ptr<RecordingSources> OpenRecordingSources(CDatabase&) {
    return std::make_unique<NoRecordingsRecord>();
}
