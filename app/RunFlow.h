#pragma once
// The order of one conversion run: arguments, settings, connection, recorder file,
// channel loop, final flush, exit code.

#include <string>

#include "app/Settings.h"
#include "platform/ExitCodes.h"

class CDatabase;
struct ChannelMap;

// The settings files the converter uses: ./plq2trq.ini and trq.ini in the build-time
// system configuration directory.
SettingsFiles DefaultSettingsFiles();

// Runs one conversion with the program-wide connection and channel map; returns the
// process exit code (see ExitCode).
int RunConverter(int argc, char** argv, CDatabase& database, ChannelMap& channelMap,
                 const SettingsFiles& files);
