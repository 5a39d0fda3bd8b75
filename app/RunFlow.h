#pragma once
// The order of one conversion run: arguments, settings, connection, recorder file,
// channel loop, final flush, exit code.

#include <string>

class CDatabase;
struct ChannelMap;

// Where the two ini files are read from.
struct SettingsFiles {
    std::string ownIni;  // the converter's own ini, "./plq2trq.ini" in the converter
    std::string trqIni;  // the archive system's trq.ini
};

// The settings files the converter uses: ./plq2trq.ini and trq.ini in the build-time
// system configuration directory.
SettingsFiles DefaultSettingsFiles();

// Runs one conversion with the program-wide connection and channel map; returns the
// process exit code.
int RunConverter(int argc, char** argv, CDatabase& database, ChannelMap& channelMap,
                 const SettingsFiles& files);
