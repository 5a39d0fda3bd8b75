// plq2trq FILE STATION: converts one PLQ recorder file into the TRQ archive.
// plq2trq --station STA FILE... | --tree DIR [options]: the batch form (batch/BatchRun.h),
// chosen when the first argument is an option.

#include <string_view>

#include "batch/BatchRun.h"
#include "odbc/Database.h"
#include "plq2trq/RunFlow.h"
#include "recorder/ChannelMap.h"

namespace {
// Program-wide objects, constructed before the entry runs and destroyed after it returns
// in reverse order: the channel map first, then the connection (which closes it).
CDatabase theDatabase;
ChannelMap theChannelMap;
}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string_view(argv[1]).starts_with("--")) {
        return RunBatch(argc, argv, DefaultSettingsFiles());
    }
    return RunConverter(argc, argv, theDatabase, theChannelMap, DefaultSettingsFiles());
}
