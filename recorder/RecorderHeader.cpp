#include "recorder/RecorderHeader.h"

#include <cstring>

#include "platform/BinaryFile.h"

// Stand-in until the header reader lands.
RecorderHeader DecodeRecorderHeader(const unsigned char (&)[kRecorderHeaderSize]) { return {}; }

int ReadRecorderHeader(platform::BinaryFile&, RecorderHeader&) { return 1; }

bool HasFormatKey(const RecorderHeader& header) {
    return std::strstr(header.systemName, kFormatKey) != nullptr;
}
