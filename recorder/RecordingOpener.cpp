#include "recorder/RecordingOpener.h"

#include <string>
#include <utility>

#include "platform/BinaryFile.h"
#include "platform/Console.h"
#include "platform/ExitCodes.h"
#include "recorder/plq/PlqRecording.h"

OpenedRecording OpenRecording(const char* path, HeaderReadLine readLine) {
    platform::BinaryFile file = platform::BinaryFile::OpenReadOnly(path);
    if (!file.IsOpen()) {
        ConsoleMessage("ERROR: open file %s!!!", path);
        OpenedRecording failed;
        failed.exitCode = ExitCode::kOpenFile;
        failed.failure = std::string("open ") + path + ": " + file.OpenFailure();
        return failed;
    }
    if (readLine == HeaderReadLine::kPrinted) ConsoleMessage("Read header...");
    const int64_t length = file.Length();
    // A format is told by the key its header carries. Another format's test goes here, in
    // front of PLQ, which takes every file no other format claims: its own key test refuses
    // a file of no known format with the converter's message.
    OpenedRecording opened = OpenPlqRecording(std::move(file), path);
    opened.fileLength = length;
    return opened;
}
