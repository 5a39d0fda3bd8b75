#include "recorder/plq/RecorderHeader.h"

#include <cstring>

#include "platform/BinaryFile.h"
#include "platform/Console.h"

namespace {

int16_t Int16At(const unsigned char* raw, std::size_t offset) {
    return static_cast<int16_t>(static_cast<uint16_t>(raw[offset] | (raw[offset + 1] << 8)));
}

int32_t Int32At(const unsigned char* raw, std::size_t offset) {
    uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) value |= static_cast<uint32_t>(raw[offset + i]) << (8 * i);
    return static_cast<int32_t>(value);
}

}  // namespace

int WidenRecorderYear(int16_t stored) {
    // Recorders store two-digit years: up to 90 is this century, 91 to 99 the last one.
    // Negative values count as this century too (-1 becomes 1999).
    if (stored >= 100) return stored;
    return stored <= 90 ? stored + 2000 : stored + 1900;
}

// Field by field as laid out in the FIELD / TYPE / OFFSET table of RecorderHeader.h.
RecorderHeader DecodeRecorderHeader(const unsigned char (&raw)[kRecorderHeaderSize]) {
    RecorderHeader header;
    // The name ends at the first NUL or after 36 bytes; byte 36 never belongs to it.
    const void* nul = std::memchr(raw, '\0', kSystemNameLength);
    const std::size_t nameLength =
        nul != nullptr ? static_cast<const unsigned char*>(nul) - raw : kSystemNameLength;
    std::memcpy(header.systemName, raw, nameLength);
    header.systemName[nameLength] = '\0';

    header.reserved36 = Int16At(raw, 36);
    header.reserved38 = Int16At(raw, 38);
    header.reserved40 = Int16At(raw, 40);
    header.reserved42 = Int16At(raw, 42);
    header.year = static_cast<int16_t>(WidenRecorderYear(Int16At(raw, 44)));
    header.month = Int16At(raw, 46);
    header.day = Int16At(raw, 48);
    header.hour = Int16At(raw, 50);
    header.minute = Int16At(raw, 52);
    header.second = Int16At(raw, 54);
    header.millisecond = Int16At(raw, 56);
    header.samplesPerSecond = Int16At(raw, 58);
    header.reserved60 = Int16At(raw, 60);
    header.reserved62 = Int16At(raw, 62);
    header.channelCount = Int16At(raw, 64);
    header.samplesPerChannel = Int32At(raw, 66);
    header.sampleFormat = Int16At(raw, 70);
    header.reserved72 = Int16At(raw, 72);
    return header;
}

int ReadRecorderHeader(platform::BinaryFile& file, RecorderHeader& header) {
    unsigned char raw[kRecorderHeaderSize];
    if (file.Read(raw, sizeof raw) != static_cast<int64_t>(sizeof raw)) return 1;
    header = DecodeRecorderHeader(raw);

    ConsoleMessage("System => %s", header.systemName);
    ConsoleMessage("year mnt day |  h-mi-s  | sps nch form nsamp");
    ConsoleMessage("%4d  %2d  %2d | %02d-%02d-%02d | %3d %2d  %2d  %d", header.year, header.month,
                   header.day, header.hour, header.minute, header.second, header.samplesPerSecond,
                   header.channelCount, header.sampleFormat, header.samplesPerChannel);
    return 0;
}

bool HasFormatKey(const RecorderHeader& header) {
    return std::strstr(header.systemName, kFormatKey) != nullptr;
}
