#pragma once
// The converter's command line: arguments, banner, channel map, settings and connection,
// then the conversion of the one recording it names (ingest/Conversion.h), ending with
// its exit code.

#include "site/Settings.h"

class CDatabase;
struct ChannelMap;

// Runs one conversion with the program-wide connection and channel map; returns the
// process exit code (see platform/ExitCodes.h).
int RunConverter(int argc, char** argv, CDatabase& database, ChannelMap& channelMap,
                 const SettingsFiles& files);
