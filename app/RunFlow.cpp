#include "app/RunFlow.h"

#include "app/ConsoleMessage.h"

// Stand-in until the run flow lands.
SettingsFiles DefaultSettingsFiles() { return {"./plq2trq.ini", PLQ_SYSCONFDIR "/trq.ini"}; }

int RunConverter(int argc, char**, CDatabase&, ChannelMap&, const SettingsFiles&) {
    if (argc < 3) {
        ConsoleMessage("USAGE: %s file_name station_name", "PLQ2TRQ");
        return -1;
    }
    return 0;
}
