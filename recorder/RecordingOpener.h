#pragma once
// Opening a recorder file as the converter does before its channel loop: the open, the
// header read (which prints the header's dump) and the format key test, each printing the
// converter's error message when it fails. The converter and its dry run (`trq inspect`)
// both open recordings here.

#include <string>

#include "platform/BinaryFile.h"
#include "recorder/RecorderHeader.h"

struct OpenedRecording {
    // 0, or the exit code of the step that failed: ExitCode::kOpenFile, kReadFile, kNotPlq.
    int exitCode = 0;
    // Open unless the open failed; left open after a failed header read or key test.
    platform::BinaryFile file;
    RecorderHeader header;
    bool headerRead = false;
    // Why the step failed, one line for the operator's notice; empty when none did.
    std::string failure;
};

// Whether "Read header..." is printed before the header is read, as in the converter's run.
enum class HeaderReadLine { kPrinted, kLeftOut };

// Opens `path`, reads its header and tests it for the format key. On failure prints
// "ERROR: open file %s!!!", "ERROR: read file %s!!!" or "ERROR: file %s is not PLQ-format
// (not found key \"%s\")!!!" followed by the system name, and stops there.
OpenedRecording OpenRecording(const char* path, HeaderReadLine readLine);
