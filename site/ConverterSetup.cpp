#include "site/ConverterSetup.h"

#include <csignal>
#include <filesystem>
#include <system_error>

#include "platform/Console.h"
#include "platform/IniFile.h"
#include "recorder/ChannelMap.h"

namespace {

// Without its own ini the run takes everything from trq.ini or the fallbacks; an operator
// who started it in the wrong directory should hear so.
void NoticeMissingOwnIni(const SettingsFiles& files) {
    std::error_code error;
    if (std::filesystem::exists(files.ownIni, error) || error) return;
    if (std::filesystem::exists(files.trqIni, error)) {
        ConsoleNotice(
            "no %s: the run uses the settings of %s (data source TRQ and the working directory "
            "where it has none) and channel names CH1, CH2, ...",
            files.ownIni.c_str(), files.trqIni.c_str());
    } else {
        ConsoleNotice(
            "no %s: the run uses data source TRQ, the working directory as data directory and "
            "channel names CH1, CH2, ... (there is no %s either)",
            files.ownIni.c_str(), files.trqIni.c_str());
    }
}

}  // namespace

ConverterSetup::ConverterSetup(const SettingsFiles& files, ChannelMap& channelMap,
                               ConverterForm form)
    : channelMap_(channelMap) {
    if (form == ConverterForm::kClassic) NoticeMissingOwnIni(files);
    const platform::IniFile ownIni = platform::IniFile::Read(files.ownIni);
    const bool mapped = LoadChannelMap(channelMap, ownIni, files.ownIni);
    if (form == ConverterForm::kInspect) return;
    if (!mapped && form == ConverterForm::kClassic) {
        ConsoleMessage("Not found channels map in %s! Use default (1,2,3 e.t.c)",
                       files.ownIni.c_str());
    } else if (!mapped) {
        ConsoleNotice("no channel map in %s: channels are named CH1, CH2, ...",
                      files.ownIni.c_str());
    }
    // Ignored, the signal of a file size limit makes the write fail instead, and the failure
    // is reported like any other.
    std::signal(SIGXFSZ, SIG_IGN);
    settings_ = ReadSettings(ownIni, platform::IniFile::Read(files.trqIni));
}

ConverterSetup::~ConverterSetup() {
    FreeChannelMap(channelMap_);
}
