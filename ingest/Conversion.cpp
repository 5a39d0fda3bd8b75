#include "ingest/Conversion.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <exception>
#include <filesystem>
#include <future>
#include <new>
#include <optional>
#include <system_error>

#include "archive/ArchiveText.h"
#include "archive/ArchiveWriter.h"
#include "archive/StreamCodes.h"
#include "catalog/DatabaseRegistrar.h"
#include "catalog/FileListCheck.h"
#include "ingest/StationSession.h"
#include "odbc/DBException.h"
#include "odbc/DataSourceFile.h"
#include "odbc/Database.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/ContentHash.h"
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
                std::optional<StationSession>& held, ConversionResult& result) {
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
    StationSession& session = held.emplace(writer.DataDir(), station, registrar, lockWaitSeconds);
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

// Passes every line on to the sink installed before it, remembering the first one that
// says why a conversion failed: the first "ERROR: " message, else the first notice.
class ReasonSink : public ConsoleSink {
  public:
    ReasonSink() : next_(InstalledConsoleSink()), installed_(*this) {}
    void Message(std::string_view line) override {
        if (error_.empty() && line.starts_with("ERROR: ")) error_ = line;
        next_.Message(line);
    }
    void Notice(std::string_view line) override {
        if (notice_.empty()) notice_ = line;
        next_.Notice(line);
    }
    void Progress(std::string_view state) override { next_.Progress(state); }
    bool ProgressInPlace() const override { return next_.ProgressInPlace(); }
    std::string Reason() const { return error_.empty() ? notice_ : error_; }

  private:
    ConsoleSink& next_;
    std::string error_;
    std::string notice_;
    ScopedConsoleSink installed_;
};

// Keeps the record in the catalog or, when the catalog cannot take it and the station is
// held, in the station's journal.
bool KeepRecord(DatabaseRegistrar& registrar, const std::optional<StationSession>& session,
                const RecordingRecord& record) {
    if (registrar.RegisterRecording(record) == RegistrationOutcome::kRegistered) return true;
    return session && session->Held() && session->KeepInJournal(record);
}

void DescribeRecording(RecordingRecord& record, const RecordingIdentity& identity) {
    record.path = identity.path, record.size = identity.size;
    record.modified = identity.modified, record.hash = identity.hash;
}

// IdentifyRecording on a thread of its own; at once where no thread can be started.
std::future<RecordingIdentity> IdentifyLater(const char* filePath) {
    try {
        return std::async(std::launch::async, IdentifyRecording, std::string(filePath));
    } catch (const std::system_error&) {
        return std::async(std::launch::deferred, IdentifyRecording, std::string(filePath));
    }
}

}  // namespace

RecordingIdentity IdentifyRecording(const std::string& path) {
    RecordingIdentity identity;
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    identity.path = (error ? std::filesystem::path(path) : absolute).lexically_normal().string();
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return identity;
    identity.size = status.st_size;
    identity.modified = static_cast<double>(status.st_mtim.tv_sec) +
                        static_cast<double>(status.st_mtim.tv_nsec) / 1e9;
    std::string failure;
    identity.hash = platform::FileSha256(path, failure);
    return identity;
}

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
                                  const ChannelMap& channelMap, const ConversionOptions& options) {
    ConversionResult result;
    RecordingRecord& record = result.record;
    record.station = station;
    // The recording's hash is read beside the conversion, on a core of its own (the file is
    // in the page cache by then or soon): its record needs it only at the end.
    std::future<RecordingIdentity> identified;
    if (options.identity) {
        DescribeRecording(record, *options.identity);
    } else {
        identified = IdentifyLater(filePath);
    }
    ReasonSink reasons;
    try {
        DatabaseRegistrar registrar(database, kConverterName, ConverterLogin(settings),
                                    kCatalogOptions);
        if (options.catalogAway) registrar.GiveUp();
        CArchiveWriter writer(registrar);
        writer.SetDataDir(settings.dataDir.c_str());
        writer.SetMergeExtensions(options.updates == ExtensionUpdates::kLastOfEachFile);
        std::optional<StationSession> session;
        result.exitCode = ConvertFile(writer, registrar, filePath, station, channelMap,
                                      settings.stationLockWait, session, result);
        if (identified.valid()) DescribeRecording(record, identified.get());
        record.exitCode = result.exitCode;
        record.outcome = OutcomeOfExitCode(result.exitCode);
        if (result.exitCode != 0) record.reason = reasons.Reason();
        record.created = result.created, record.replaced = result.replaced;
        record.extended = result.extended;
        record.converted = platform::NowWithFraction();
        result.recordKept = KeepRecord(registrar, session, record);
        result.catalogAway = registrar.GaveUp();
    } catch (const CDBException&) {
        result.exitCode = ReportUnexpectedFailure();
    } catch (const std::exception&) {
        result.exitCode = ReportUnexpectedFailure();
    }
    if (identified.valid()) DescribeRecording(record, identified.get());
    return result;
}

ConversionResult ConvertRecording(const char* filePath, const std::string& station,
                                  const ConnectionSettings& settings, CDatabase& database,
                                  const ChannelMap& channelMap, ExtensionUpdates updates) {
    ConversionOptions options;
    options.updates = updates;
    return ConvertRecording(filePath, station, settings, database, channelMap, options);
}

bool WriteRecordingRecord(const RecordingRecord& record, const ConnectionSettings& settings,
                          CDatabase& database) {
    try {
        DatabaseRegistrar registrar(database, kConverterName, ConverterLogin(settings),
                                    kCatalogOptions);
        return registrar.RegisterRecording(record) == RegistrationOutcome::kRegistered;
    } catch (const std::exception&) {
        ReportUnexpectedFailure();
    }
    return false;
}

JournalApplication ApplyStationJournal(const std::string& station,
                                       const ConnectionSettings& settings, CDatabase& database) {
    DatabaseRegistrar registrar(database, kConverterName, ConverterLogin(settings),
                                kCatalogOptions);
    const StationSession session(settings.dataDir, station, registrar, settings.stationLockWait);
    JournalApplication application;
    application.applied = session.JournalApplied();
    application.remaining = session.JournalRemaining();
    application.busy = session.Busy();
    application.catalogAway = registrar.GaveUp();
    return application;
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
