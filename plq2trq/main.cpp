// plq2trq FILE STATION: converts one PLQ recorder file into the TRQ archive.
// plq2trq --station STA FILE... | --tree DIR [options]: the batch form (batch/BatchRun.h),
// chosen when the first argument is an option (plq2trq/CommandLine.h).
// plq2trq --watch DIR [--jobs N]: the watch mode, a service (watch/WatchService.h).

#include "batch/BatchOptions.h"
#include "batch/BatchRun.h"
#include "odbc/Database.h"
#include "plq2trq/CommandLine.h"
#include "plq2trq/RunFlow.h"
#include "recorder/ChannelMap.h"
#include "watch/WatchOptions.h"
#include "watch/WatchService.h"

namespace {
// Program-wide objects, constructed before the entry runs and destroyed after it returns
// in reverse order: the channel map first, then the connection (which closes it).
CDatabase theDatabase;
ChannelMap theChannelMap;
}  // namespace

int main(int argc, char** argv) {
    if (IsWatchCommandLine(argc, argv)) {
        WatchOptions options;
        if (const int parsed = ParseWatchOptions(argc, argv, options); parsed != 0)
            return parsed > 0 ? 0 : parsed;
        return RunWatch(options, DefaultSettingsFiles());
    }
    if (IsBatchCommandLine(argc, argv)) {
        BatchOptions options;
        if (const int parsed = ParseBatchOptions(argc, argv, options); parsed != 0)
            return parsed > 0 ? 0 : parsed;
        return RunBatch(options, DefaultSettingsFiles());
    }
    return RunConverter(argc, argv, theDatabase, theChannelMap, DefaultSettingsFiles());
}
