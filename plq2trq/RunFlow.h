#pragma once
// The converter's classic form, `plq2trq FILE STATION`: arguments, banner, setup (channel
// map and settings, site/ConverterSetup.h) and connection, then the conversion of the one
// recording it names (ingest/Conversion.h), ending with its exit code.

#include "site/Settings.h"

class CDatabase;
struct ChannelMap;

// Runs one conversion with the program-wide connection and channel map; returns the
// process exit code (see platform/ExitCodes.h).
int RunConverter(int argc, char** argv, CDatabase& database, ChannelMap& channelMap,
                 const SettingsFiles& files);
