#include "recorder/RecordingOpener.h"

#include <cstdio>

#include "platform/Console.h"
#include "platform/ExitCodes.h"

OpenedRecording OpenRecording(const char* path, HeaderReadLine readLine) {
    OpenedRecording opened;
    opened.file = platform::BinaryFile::OpenReadOnly(path);
    if (!opened.file.IsOpen()) {
        ConsoleMessage("ERROR: open file %s!!!", path);
        opened.failure = std::string("open ") + path + ": " + opened.file.OpenFailure();
        opened.exitCode = ExitCode::kOpenFile;
        return opened;
    }
    if (readLine == HeaderReadLine::kPrinted) ConsoleMessage("Read header...");
    if (ReadRecorderHeader(opened.file, opened.header) != 0) {
        ConsoleMessage("ERROR: read file %s!!!", path);
        char reason[96];
        std::snprintf(reason, sizeof reason, ": %lld bytes, a recorder file header takes %zu",
                      static_cast<long long>(opened.file.Length()), kRecorderHeaderSize);
        opened.failure = std::string("read ") + path + reason;
        opened.exitCode = ExitCode::kReadFile;
        return opened;
    }
    opened.headerRead = true;
    if (!HasFormatKey(opened.header)) {
        ConsoleMessage("ERROR: file %s is not PLQ-format (not found key \"%s\")!!!", path,
                       kFormatKey);
        ConsoleMessage("%s", opened.header.systemName);
        opened.failure = std::string(path) + ": the system name in its header does not contain \"" +
                         kFormatKey + "\"";
        opened.exitCode = ExitCode::kNotPlq;
    }
    return opened;
}
