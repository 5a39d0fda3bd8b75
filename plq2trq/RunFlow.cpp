#include "plq2trq/RunFlow.h"

#include <csignal>
#include <string>

#include "ingest/Conversion.h"
#include "odbc/DBException.h"
#include "odbc/Database.h"
#include "platform/Console.h"
#include "platform/ExitCodes.h"
#include "platform/IniFile.h"
#include "recorder/ChannelMap.h"

namespace {

constexpr char kVersion[] = "v1.0";

int RunSteps(int argc, char** argv, CDatabase& database, ChannelMap& channelMap,
             const SettingsFiles& files) {
    if (argc < 3) {
        ConsoleMessage("USAGE: %s file_name station_name", kConverterName);
        ConsoleNotice("%s", argc < 2 ? "no recorder file and no station name given"
                                     : "no station name given");
        return ExitCode::kUsage;
    }
    ConsoleMessage("%s %s\nLoad parameters...", kConverterName, kVersion);

    std::string station;
    if (const int refused = AcceptStationName(argv[2], station); refused != 0) return refused;

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
