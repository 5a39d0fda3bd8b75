#include "plq2trq/RunFlow.h"

#include <csignal>
#include <filesystem>
#include <string>
#include <system_error>

#include "ingest/Conversion.h"
#include "odbc/DBException.h"
#include "odbc/Database.h"
#include "platform/Console.h"
#include "platform/ExitCodes.h"
#include "platform/IniFile.h"
#include "recorder/ChannelMap.h"

namespace {

constexpr char kVersion[] = "v1.0";

// A station argument that names an existing file is what a shell pattern gives
// (plq2trq *.plq ABC): the second recording would be taken for a station. A directory of
// that name is no sign of it: with no data directory set, the stations live right here.
bool NamesExistingFile(const char* argument) {
    std::error_code error;
    const auto status = std::filesystem::status(argument, error);
    return !error && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

// Returns ExitCode::kUsage after the usage line when the arguments cannot be a recording
// and a station; else 0, with a notice of arguments it ignores.
int CheckArguments(int argc, char** argv) {
    if (argc < 3) {
        ConsoleMessage("USAGE: %s file_name station_name", kConverterName);
        ConsoleNotice("%s", argc < 2 ? "no recorder file and no station name given"
                                     : "no station name given");
        return ExitCode::kUsage;
    }
    if (NamesExistingFile(argv[2])) {
        ConsoleMessage("USAGE: %s file_name station_name", kConverterName);
        ConsoleNotice(
            "the station name %s is an existing file: plq2trq FILE STATION converts one "
            "recording; to convert several, use plq2trq --station STATION FILE...",
            argv[2]);
        return ExitCode::kUsage;
    }
    std::string ignored;
    for (int i = 3; i < argc; ++i) ignored += std::string(" ") + argv[i];
    if (!ignored.empty())
        ConsoleNotice("ignored the arguments after the station name:%s", ignored.c_str());
    return 0;
}

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

int RunSteps(int argc, char** argv, CDatabase& database, ChannelMap& channelMap,
             const SettingsFiles& files) {
    if (const int refused = CheckArguments(argc, argv); refused != 0) return refused;
    ConsoleMessage("%s %s\nLoad parameters...", kConverterName, kVersion);

    std::string station;
    if (const int refused = AcceptStationName(argv[2], station); refused != 0) return refused;

    NoticeMissingOwnIni(files);
    const platform::IniFile ownIni = platform::IniFile::Read(files.ownIni);
    if (!LoadChannelMap(channelMap, ownIni, files.ownIni)) {
        ConsoleMessage("Not found channels map in %s! Use default (1,2,3 e.t.c)",
                       files.ownIni.c_str());
    }
    // Critical errors come back to the converter instead of ending it: a file size limit
    // (ulimit -f) would otherwise kill the process half-way through an archive file; ignored,
    // it makes the write fail with EFBIG, which the writer reports (-8).
    std::signal(SIGXFSZ, SIG_IGN);

    const ConnectionSettings settings = ReadSettings(ownIni, platform::IniFile::Read(files.trqIni));
    const CatalogLogin login = ConverterLogin(settings);
    const std::string printable = login.PrintableConnectString();
    ConsoleMessage("Connect to DB:%s DATA=%s...", printable.c_str(), settings.dataDir.c_str());
    if (!OpenConverterCatalog(database, login)) {
        ConsoleMessage("ERROR: Can't open Database: %s", printable.c_str());
        FreeChannelMap(channelMap);
        return ExitCode::kDatabase;
    }

    const ConversionResult result =
        ConvertRecording(argv[1], station, settings, database, channelMap);
    FreeChannelMap(channelMap);
    return result.exitCode;
}

}  // namespace

int RunConverter(int argc, char** argv, CDatabase& database, ChannelMap& channelMap,
                 const SettingsFiles& files) {
    // Errors nobody on the way handles end the run with one message instead of an abort.
    int code = ExitCode::kUnexpected;
    try {
        return RunSteps(argc, argv, database, channelMap, files);
    } catch (const CDBException&) {
        code = ReportUnexpectedFailure();
    } catch (const std::exception&) {
        code = ReportUnexpectedFailure();
    }
    FreeChannelMap(channelMap);
    return code;
}
