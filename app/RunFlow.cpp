#include "app/RunFlow.h"

#include <algorithm>
#include <csignal>
#include <cstring>
#include <exception>
#include <string>

#include "app/ChannelMap.h"
#include "app/ConsoleMessage.h"
#include "archive/ArchiveWriter.h"
#include "odbc/DBException.h"
#include "odbc/Database.h"
#include "platform/BinaryFile.h"
#include "recorder/ChannelLoop.h"
#include "recorder/RecorderHeader.h"

namespace {

constexpr char kProgramName[] = "PLQ2TRQ";
constexpr char kVersion[] = "v1.0";
// The station name is kept in a 32-byte buffer: at most 31 characters.
constexpr std::size_t kMaxStationNameLength = 31;

std::string StoredStationName(const char* argument) {
    return std::string(argument, std::min(std::strlen(argument), kMaxStationNameLength));
}

// The station name becomes a directory below the data directory and a part of every
// archive path in the catalog: it must name exactly one directory entry there.
bool IsUsableStationName(const std::string& station) {
    return station.find_first_of("/\\") == std::string::npos && station != "." && station != "..";
}

// Opens the catalog connection with the ODBC cursor library, read-write, letting the
// driver complete missing connection details. A cancelled completion and a database error
// both count as a failed open.
bool OpenCatalog(CDatabase& database, const std::string& connect) {
    try {
        return database.Open(connect, CDatabase::kUseCursorLib);
    } catch (const CDBException&) {
        return false;
    }
}

// Steps from the recorder file's open to the final flush; returns the exit code. The
// caller frees the channel map afterwards and then destroys the writer.
int ConvertFile(CArchiveWriter& writer, const char* filePath, const std::string& station,
                const ChannelMap& channelMap) {
    ConsoleMessage("Convert file %s (sta=%s)...", filePath, station.c_str());
    platform::BinaryFile file = platform::BinaryFile::OpenReadOnly(filePath);
    if (!file.IsOpen()) {
        ConsoleMessage("ERROR: open file %s!!!", filePath);
        return ExitCode::kOpenFile;
    }

    ConsoleMessage("Read header...");
    RecorderHeader header;
    if (ReadRecorderHeader(file, header) != 0) {
        ConsoleMessage("ERROR: read file %s!!!", filePath);
        return ExitCode::kReadFile;
    }
    if (!HasFormatKey(header)) {
        ConsoleMessage("ERROR: file %s is not PLQ-format (not found key \"%s\")!!!", filePath,
                       kFormatKey);
        ConsoleMessage("%s", header.systemName);
        return ExitCode::kNotPlq;
    }

    ConsoleMessage("Convert data...");
    SampleReceiver toWriter = [&writer](const char* sta, const char* channel, double rate,
                                        EpochSeconds start, int32_t count, const float* samples) {
        writer.AddSamples(sta, channel, rate, start, count, samples);
    };
    const int result =
        ConvertChannels(toWriter, file, header, station.c_str(), channelMap, filePath);
    if (result == 0) ConsoleMessage("Done!\n");

    file.Close();
    writer.FlushAll();
    // "Done!" tells that every channel was read; the exit code also tells whether
    // everything read reached the archive and the catalog.
    if (result != 0) return result;
    if (writer.WriteFailed()) return ExitCode::kArchiveWrite;
    if (writer.CatalogFailed()) return ExitCode::kCatalog;
    return ExitCode::kConverted;
}

int RunSteps(int argc, char** argv, CDatabase& database, ChannelMap& channelMap,
             const SettingsFiles& files) {
    if (argc < 3) {
        ConsoleMessage("USAGE: %s file_name station_name", kProgramName);
        return ExitCode::kUsage;
    }
    ConsoleMessage("%s %s\nLoad parameters...", kProgramName, kVersion);

    const std::string station = StoredStationName(argv[2]);
    if (!IsUsableStationName(station)) {
        ConsoleMessage("ERROR: bad station name %s!!!", station.c_str());
        return ExitCode::kBadStation;
    }

    if (!LoadChannelMap(channelMap, files.ownIni)) {
        ConsoleMessage("Not found channels map in %s! Use default (1,2,3 e.t.c)",
                       files.ownIni.c_str());
    }
    // Critical errors come back to the converter instead of ending it: a file size limit
    // (ulimit -f) would otherwise kill the process half-way through an archive file; ignored,
    // it makes the write fail with EFBIG, which the writer reports (-8).
    std::signal(SIGXFSZ, SIG_IGN);

    const ConnectionSettings settings = ReadSettings(files);
    const std::string printable = PrintableConnectString(settings);
    ConsoleMessage("Connect to DB:%s DATA=%s...", printable.c_str(), settings.dataDir.c_str());
    if (!OpenCatalog(database, ConnectString(settings))) {
        ConsoleMessage("ERROR: Can't open Database: %s", printable.c_str());
        FreeChannelMap(channelMap);
        return ExitCode::kDatabase;
    }

    CArchiveWriter writer(&database, kProgramName);
    writer.SetDataDir(settings.dataDir.c_str());
    const int result = ConvertFile(writer, argv[1], station, channelMap);
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
    } catch (const std::exception& error) {
        ConsoleMessage("ERROR: %s!!!", error.what());
    }
    FreeChannelMap(channelMap);
    return ExitCode::kUnexpected;
}
