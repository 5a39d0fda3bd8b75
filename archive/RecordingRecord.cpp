#include "archive/RecordingRecord.h"

#include "platform/ExitCodes.h"

namespace {

constexpr const char* kOutcomeNames[] = {"converted", "journaled", "failed", "incomplete"};
constexpr const char* kActionNames[] = {"created", "replaced", "extended"};

template <typename Enum, std::size_t N>
bool ParseName(const char* const (&names)[N], const std::string& word, Enum& value) {
    for (std::size_t i = 0; i < N; ++i) {
        if (word == names[i]) {
            value = static_cast<Enum>(i);
            return true;
        }
    }
    return false;
}

}  // namespace

const char* RecordOutcomeName(RecordOutcome outcome) {
    return kOutcomeNames[static_cast<int>(outcome)];
}

bool ParseRecordOutcome(const std::string& word, RecordOutcome& outcome) {
    return ParseName(kOutcomeNames, word, outcome);
}

RecordOutcome OutcomeOfExitCode(int exitCode) {
    if (exitCode == ExitCode::kConverted) return RecordOutcome::kConverted;
    return exitCode == ExitCode::kCatalog ? RecordOutcome::kJournaled : RecordOutcome::kFailed;
}

const char* FileActionName(FileAction action) {
    return kActionNames[static_cast<int>(action)];
}

bool ParseFileAction(const std::string& word, FileAction& action) {
    return ParseName(kActionNames, word, action);
}
