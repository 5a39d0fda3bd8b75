#include "archive/CatalogRegistrar.h"

GroupOutcome CatalogRegistrar::RegisterExtensions(const std::vector<FileRegistration>& files) {
    GroupOutcome group;
    for (const FileRegistration& file : files) {
        group.outcome = Register(RegistrationKind::kExtendedFile, file);
        if (group.outcome != RegistrationOutcome::kRegistered) break;
        ++group.registered;
    }
    return group;
}

RegistrationOutcome CatalogRegistrar::RegisterRecording(const RecordingRecord&) {
    return RegistrationOutcome::kRegistered;
}
