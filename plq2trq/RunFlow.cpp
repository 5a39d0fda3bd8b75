#include "plq2trq/RunFlow.h"

#include <string>

#include "ingest/Conversion.h"
#include "odbc/DBException.h"
#include "odbc/Database.h"
#include "platform/Console.h"
#include "platform/ExitCodes.h"
#include "plq2trq/CommandLine.h"
#include "site/ConverterSetup.h"

namespace {

constexpr char kVersion[] = "v1.0";

int RunSteps(int argc, char** argv, CDatabase& database, ChannelMap& channelMap,
             const SettingsFiles& files) {
    if (const int refused = CheckClassicArguments(argc, argv); refused != 0) return refused;
    ConsoleMessage("%s %s\nLoad parameters...", kConverterName, kVersion);

    std::string station;
    if (const int refused = AcceptStationName(argv[2], station); refused != 0) return refused;

    // Empties the channel map on every way out.
    const ConverterSetup setup(files, channelMap, ConverterForm::kClassic);
    const ConnectionSettings& settings = setup.Settings();
    const CatalogLogin login = ConverterLogin(settings);
    const std::string printable = login.PrintableConnectString();
    ConsoleMessage("Connect to DB:%s DATA=%s...", printable.c_str(), settings.dataDir.c_str());
    if (!OpenConverterCatalog(database, login)) {
        ConsoleMessage("ERROR: Can't open Database: %s", printable.c_str());
        return ExitCode::kDatabase;
    }
    return ConvertRecording(argv[1], station, settings, database, setup.Channels()).exitCode;
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
    return code;
}
