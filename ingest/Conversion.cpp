#include "ingest/Conversion.h"

#include <cstring>
#include <exception>
#include <new>

#include "archive/ArchiveText.h"
#include "archive/ArchiveWriter.h"
#include "archive/StreamCodes.h"
#include "catalog/DatabaseRegistrar.h"
#include "catalog/FileListCheck.h"
#include "ingest/StationSession.h"
#include "odbc/DBException.h"
#include "odbc/DataSourceFile.h"
#include "odbc/Database.h"
#include "platform/Console.h"
#include "platform/ExitCodes.h"
#include "platform/Utf8.h"
#include "recorder/ChannelMap.h"
#include "recorder/RecordingOpener.h"

namespace {

// The station name is kept in a 32-byte buffer: at most 31 characters.
constexpr std::size_t kMaxStationNameLength = 31;

// The catalog connection's options: a row is changed by a statement that names it by the
// values read (odbc/PositionedStatement.h), without the ODBC cursor library, which would
// copy every registration's SELECT into a temporary file.
constexpr uint32_t kCatalogOptions = CDatabase::kSearchedPositionedWrites;

// The driver's messages on one line, for a notice.
std::string OneLine(std::string text) {
    while (!text.empty() && text.back() == '\n') text.pop_back();
    for (char& c : text) {
        if (c == '\n') c = ' ';
    }
    return text.empty() ? "no message from the driver" : text;
}

// Steps from the recorder file's open to the final flush; returns the exit code and fills
// the rest of the result.
int ConvertFile(CArchiveWriter& writer, CatalogRegistrar& registrar, const char* filePath,
                const std::string& station, const ChannelMap& channelMap, int lockWaitSeconds,
                ConversionResult& result) {
    ConsoleMessage("Convert file %s (sta=%s)...", filePath, station.c_str());
    OpenedRecording opened = OpenRecording(filePath, HeaderReadLine::kPrinted);
    if (opened.exitCode != 0) {
        ConsoleNotice("%s", opened.failure.c_str());
        return opened.exitCode;
    }
    Recording& recording = *opened.recording;

    ConsoleMessage("Convert data...");
    // A recording that will be refused is refused before the station is touched.
    const int checked = recording.Check(channelMap, &IsUsableChannelName);
    if (checked != 0) return checked;
    // One converter at a time writes a station: from here to the last registration.
    StationSession session(writer.DataDir(), station, registrar, lockWaitSeconds);
    if (session.Busy()) {
        ConsoleMessage("ERROR: station %s is being converted by another converter!!!",
                       station.c_str());
        ConsoleNotice("gave up waiting for station %s after %d s", station.c_str(),
                      lockWaitSeconds);
        return ExitCode::kStationBusy;
    }
    if (session.Failed()) {
        // Without the lock nothing is written: one line, not one per block.
        ConsoleMessage("ERROR: write file %s!!!", session.FailedPath().c_str());
        ConsoleNotice("cannot lock station %s: %s", station.c_str(), session.Failure().c_str());
        return ExitCode::kArchiveWrite;
    }

    SampleReceiver toWriter = [&writer, &result](const char* sta, const char* channel, double rate,
                                                 EpochSeconds start, int32_t count,
                                                 const float* samples) {
        writer.AddSamples(sta, channel, rate, start, count, samples);
        result.samples += count;
    };
    const int converted =
        recording.ReadChannels(toWriter, station.c_str(), channelMap, &IsUsableChannelName);
    if (converted == 0) ConsoleMessage("Done!\n");

    recording.Close();
    writer.FlushAll();
    session.ReportDeferred(writer);
    result.writeFailed = writer.WriteFailed();
    result.catalogFailed = writer.CatalogFailed();
    result.journalLeft = session.JournalLeft();
    result.deferredRegistrations = writer.DeferredCount();
    for (std::size_t s = 0; s < writer.StationCount(); ++s) {
        result.channels += writer.Station(s).ChannelCount();
    }
    const WrittenFiles& written = writer.Written();
    result.created = written.created;
    result.replaced = written.replaced;
    result.extended = written.extended;
    result.replacedOtherData = written.otherData;
    // "Done!" tells that every channel was read; the exit code also tells whether
    // everything read reached the archive and the catalog.
    if (converted != 0) return converted;
    if (writer.WriteFailed()) return ExitCode::kArchiveWrite;
    if (writer.CatalogFailed() || session.JournalLeft()) return ExitCode::kCatalog;
    return ExitCode::kConverted;
}

}  // namespace

CatalogLogin ConverterLogin(const ConnectionSettings& settings) {
    return {settings.dataSource,    settings.user, settings.password, true, "",
            settings.catalogTimeout};
}

bool OpenConverterCatalog(CDatabase& database, const CatalogLogin& login) {
    const std::string printable = login.PrintableConnectString();
    // Told before connecting: the SQLite driver would make an empty database in its place.
    std::string reason = login.wholeConnectString.empty() ? MissingDatabaseFile(login.dsn) : "";
    try {
        if (reason.empty() && login.Open(database, kCatalogOptions)) {
            // Refused here rather than at every registration after the archive is written.
            reason = FileListProblem(database);
            if (reason.empty()) return true;
            database.Close();
        } else if (reason.empty()) {
            reason = "the driver did not complete the connection";
        }
    } catch (const CDBException& error) {
        reason = OneLine(error.errorText);
    }
    ConsoleNotice("cannot open the catalog %s: %s", printable.c_str(), OneLine(reason).c_str());
    return false;
}

int AcceptStationName(const char* argument, std::string& station) {
    // Cut without splitting a UTF-8 character: a stray byte would end up in the directory,
    // the headers and the catalog rows.
    station = platform::CutUtf8(argument, kMaxStationNameLength);
    if (station.size() < std::strlen(argument)) {
        ConsoleNotice("the station name %s is longer than %zu bytes: only \"%s\" is used", argument,
                      kMaxStationNameLength, station.c_str());
    }
    if (!IsUsableStationName(station)) {
        ConsoleMessage("ERROR: bad station name %s!!!", station.c_str());
        ConsoleNotice(
            "station name \"%s\": a station names one directory below the data "
            "directory (not empty, not . or .., no / or \\, no blank at either end)",
            station.c_str());
        return ExitCode::kBadStation;
    }
    if (!IsMiniSeedStationCode(station)) {
        ConsoleNotice(
            "warning: the station name %s cannot be a miniSEED station code (1 to 5 letters "
            "and digits): trq export refuses its files and trq serve does not serve them",
            station.c_str());
    }
    return 0;
}

ConversionResult ConvertRecording(const char* filePath, const std::string& station,
                                  const ConnectionSettings& settings, CDatabase& database,
                                  const ChannelMap& channelMap, ExtensionUpdates updates) {
    ConversionResult result;
    try {
        DatabaseRegistrar registrar(database, kConverterName, ConverterLogin(settings),
                                    kCatalogOptions);
        CArchiveWriter writer(registrar);
        writer.SetDataDir(settings.dataDir.c_str());
        writer.SetMergeExtensions(updates == ExtensionUpdates::kLastOfEachFile);
        result.exitCode = ConvertFile(writer, registrar, filePath, station, channelMap,
                                      settings.stationLockWait, result);
    } catch (const CDBException&) {
        result.exitCode = ReportUnexpectedFailure();
    } catch (const std::exception&) {
        result.exitCode = ReportUnexpectedFailure();
    }
    return result;
}

int ReportUnexpectedFailure() {
    try {
        throw;
    } catch (const CDBException& error) {
        std::string text = error.errorText;
        while (!text.empty() && text.back() == '\n') text.pop_back();
        ConsoleMessage("ERROR: database failure %d: %s!!!", static_cast<int>(error.retCode),
                       text.c_str());
        ConsoleNotice("unexpected database failure %d: %s", static_cast<int>(error.retCode),
                      OneLine(error.errorText).c_str());
    } catch (const std::bad_alloc&) {
        ConsoleMessage("ERROR: not enough memory!!!");
        ConsoleNotice("not enough memory for the conversion");
    } catch (const std::exception& error) {
        ConsoleMessage("ERROR: %s!!!", error.what());
        ConsoleNotice("unexpected failure: %s", error.what());
    }
    return ExitCode::kUnexpected;
}
