#include "app/RunFlow.h"

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "app/StationSession.h"
#include "archive/ArchiveText.h"
#include "archive/ArchiveWriter.h"
#include "catalog/DatabaseRegistrar.h"
#include "odbc/DBException.h"
#include "odbc/Database.h"
#include "platform/BinaryFile.h"
#include "platform/Console.h"
#include "platform/IniFile.h"
#include "platform/Utf8.h"
#include "recorder/ChannelLoop.h"
#include "recorder/ChannelMap.h"
#include "recorder/RecorderHeader.h"

namespace {

constexpr char kProgramName[] = "PLQ2TRQ";
constexpr char kVersion[] = "v1.0";
// The station name is kept in a 32-byte buffer: at most 31 characters.
constexpr std::size_t kMaxStationNameLength = 31;

// The driver's messages on one line, for a notice.
std::string OneLine(std::string text) {
    while (!text.empty() && text.back() == '\n') text.pop_back();
    for (char& c : text) {
        if (c == '\n') c = ' ';
    }
    return text.empty() ? "no message from the driver" : text;
}

// Cut without splitting a UTF-8 character: a stray byte would end up in the directory,
// the headers and the catalog rows.
std::string StoredStationName(const char* argument) {
    return platform::CutUtf8(argument, kMaxStationNameLength);
}

// The catalog connection's options: a row is changed by a statement that names it by the
// values read (odbc/PositionedStatement.h), without the ODBC cursor library, which would
// copy every registration's SELECT into a temporary file.
constexpr uint32_t kCatalogOptions = CDatabase::kSearchedPositionedWrites;

// Opens the catalog connection read-write, letting the driver complete missing connection
// details. A cancelled completion and a database error both count as a failed open; the
// driver's reason goes to the operator.
bool OpenCatalog(CDatabase& database, const CatalogLogin& login) {
    const std::string printable = login.PrintableConnectString();
    std::string reason = "the driver did not complete the connection";
    try {
        if (login.Open(database, kCatalogOptions)) return true;
    } catch (const CDBException& error) {
        reason = OneLine(error.errorText);
    }
    ConsoleNotice("cannot open the catalog %s: %s", printable.c_str(), reason.c_str());
    return false;
}

// Steps from the recorder file's open to the final flush; returns the exit code. The
// caller frees the channel map afterwards and then destroys the writer.
int ConvertFile(CArchiveWriter& writer, CatalogRegistrar& registrar, const char* filePath,
                const std::string& station, const ChannelMap& channelMap, int lockWaitSeconds) {
    ConsoleMessage("Convert file %s (sta=%s)...", filePath, station.c_str());
    platform::BinaryFile file = platform::BinaryFile::OpenReadOnly(filePath);
    if (!file.IsOpen()) {
        ConsoleMessage("ERROR: open file %s!!!", filePath);
        ConsoleNotice("open %s: %s", filePath, file.OpenFailure().c_str());
        return ExitCode::kOpenFile;
    }

    ConsoleMessage("Read header...");
    RecorderHeader header;
    if (ReadRecorderHeader(file, header) != 0) {
        ConsoleMessage("ERROR: read file %s!!!", filePath);
        ConsoleNotice("read %s: %lld bytes, a recorder file header takes %zu", filePath,
                      static_cast<long long>(file.Length()), kRecorderHeaderSize);
        return ExitCode::kReadFile;
    }
    if (!HasFormatKey(header)) {
        ConsoleMessage("ERROR: file %s is not PLQ-format (not found key \"%s\")!!!", filePath,
                       kFormatKey);
        ConsoleMessage("%s", header.systemName);
        ConsoleNotice("%s: the system name in its header does not contain \"%s\"", filePath,
                      kFormatKey);
        return ExitCode::kNotPlq;
    }

    ConsoleMessage("Convert data...");
    // A recording that will be refused is refused before the station is touched.
    const int checked = CheckRecording(file, header, channelMap, &IsUsableChannelName);
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

    SampleReceiver toWriter = [&writer](const char* sta, const char* channel, double rate,
                                        EpochSeconds start, int32_t count, const float* samples) {
        writer.AddSamples(sta, channel, rate, start, count, samples);
    };
    const int result = ConvertChannels(toWriter, file, header, station.c_str(), channelMap,
                                       filePath, &IsUsableChannelName);
    if (result == 0) ConsoleMessage("Done!\n");

    file.Close();
    writer.FlushAll();
    session.ReportDeferred(writer);
    // "Done!" tells that every channel was read; the exit code also tells whether
    // everything read reached the archive and the catalog.
    if (result != 0) return result;
    if (writer.WriteFailed()) return ExitCode::kArchiveWrite;
    if (writer.CatalogFailed() || session.JournalLeft()) return ExitCode::kCatalog;
    return ExitCode::kConverted;
}

int RunSteps(int argc, char** argv, CDatabase& database, ChannelMap& channelMap,
             const SettingsFiles& files) {
    if (argc < 3) {
        ConsoleMessage("USAGE: %s file_name station_name", kProgramName);
        ConsoleNotice("%s", argc < 2 ? "no recorder file and no station name given"
                                     : "no station name given");
        return ExitCode::kUsage;
    }
    ConsoleMessage("%s %s\nLoad parameters...", kProgramName, kVersion);

    const std::string station = StoredStationName(argv[2]);
    if (station.size() < std::strlen(argv[2])) {
        ConsoleNotice("the station name %s is longer than %zu bytes: only \"%s\" is used", argv[2],
                      kMaxStationNameLength, station.c_str());
    }
    if (!IsUsableStationName(station)) {
        ConsoleMessage("ERROR: bad station name %s!!!", station.c_str());
        ConsoleNotice(
            "station name \"%s\": a station names one directory below the data "
            "directory (not empty, not . or .., no / or \\)",
            station.c_str());
        return ExitCode::kBadStation;
    }

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
    const CatalogLogin login{settings.dataSource,    settings.user, settings.password, true, "",
                             settings.catalogTimeout};
    const std::string printable = login.PrintableConnectString();
    ConsoleMessage("Connect to DB:%s DATA=%s...", printable.c_str(), settings.dataDir.c_str());
    if (!OpenCatalog(database, login)) {
        ConsoleMessage("ERROR: Can't open Database: %s", printable.c_str());
        FreeChannelMap(channelMap);
        return ExitCode::kDatabase;
    }

    DatabaseRegistrar registrar(database, kProgramName, login, kCatalogOptions);
    CArchiveWriter writer(registrar);
    writer.SetDataDir(settings.dataDir.c_str());
    const int result =
        ConvertFile(writer, registrar, argv[1], station, channelMap, settings.stationLockWait);
    FreeChannelMap(channelMap);
    return result;  // the writer is destroyed after the channel map was freed
}

}  // namespace

SettingsFiles DefaultSettingsFiles() {
    return {"./plq2trq.ini", PLQ_SYSCONFDIR "/trq.ini"};
}

int RunConverter(int argc, char** argv, CDatabase& database, ChannelMap& channelMap,
                 const SettingsFiles& files) {
    // Errors nobody on the way handles (out of memory, a database error outside the
    // catalog registration) end the run with one message instead of an abort.
    try {
        return RunSteps(argc, argv, database, channelMap, files);
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
    FreeChannelMap(channelMap);
    return ExitCode::kUnexpected;
}
