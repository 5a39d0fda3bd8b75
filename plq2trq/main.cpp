// plq2trq FILE STATION: converts one PLQ recorder file into the TRQ archive.

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
    return RunConverter(argc, argv, theDatabase, theChannelMap, DefaultSettingsFiles());
}
