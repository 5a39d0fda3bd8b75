#pragma once
// What a run of the converter reads before it converts, in one place for each of its forms
// (plq2trq FILE STATION and the batch form) and for trq inspect, which names channels as the
// converter would: the channel map from the converter's own ini, the settings from that and
// trq.ini (Settings.h), and a file size limit that fails a write instead of ending the run.

#include "site/Settings.h"

struct ChannelMap;

// Who reads the setup, and so what is told of what it lacks.
enum class ConverterForm {
    // plq2trq FILE STATION: a notice when the own ini is missing, and the message "Not found
    // channels map in %s! Use default (1,2,3 e.t.c)" when it maps no channel.
    kClassic,
    // The batch form: a notice when the own ini maps no channel.
    kBatch,
    // trq inspect: the channel map alone, without a word; no settings, and no signal
    // disposition changed (it writes nothing).
    kInspect,
};

// The setup of one run. The channel map is the caller's (the classic form's is
// program-wide): filled here, and emptied (FreeChannelMap) when the setup goes.
class ConverterSetup {
  public:
    // Reads, in this order and telling what `form` tells: the channel map from
    // `files.ownIni` into `channelMap`; then, but for kInspect, makes a write beyond the
    // file size limit (ulimit -f) fail with EFBIG, which the archive writer reports (-8),
    // instead of ending the process with SIGXFSZ half-way through an archive file; and reads
    // the settings of both files (ReadSettings).
    ConverterSetup(const SettingsFiles& files, ChannelMap& channelMap, ConverterForm form);
    ~ConverterSetup();
    ConverterSetup(const ConverterSetup&) = delete;
    ConverterSetup& operator=(const ConverterSetup&) = delete;

    const ChannelMap& Channels() const { return channelMap_; }
    // The settings of both files; for kInspect, which reads none, the defaults of
    // ConnectionSettings (no data source).
    const ConnectionSettings& Settings() const { return settings_; }

  private:
    ChannelMap& channelMap_;
    ConnectionSettings settings_;
};
