#include "recorder/ChannelMap.h"

#include <cstdio>
#include <vector>

#include "platform/Console.h"
#include "platform/IniFile.h"
#include "platform/Utf8.h"

namespace {

constexpr char kChannelMapSection[] = "CHANNELMAP";

bool IsLeadingSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The channel number a key name stands for: its leading decimal integer read as atoi
// reads it (leading white space skipped, an optional sign, digits up to the first other
// character, 0 without digits), reduced to its low 16 bits. Only the low 16 bits of the
// number matter, so the digits are accumulated modulo 2^16: a digit string of any length
// gives a defined number (one beyond the range of an int wraps around instead of
// overflowing). "65537" gives 1, "-1" gives 65535, "2abc" gives 2, "abc" gives 0.
uint16_t ChannelNumberOfKey(const std::string& key) {
    std::size_t i = 0;
    while (i < key.size() && IsLeadingSpace(key[i])) ++i;
    bool negative = false;
    if (i < key.size() && (key[i] == '+' || key[i] == '-')) {
        negative = key[i] == '-';
        ++i;
    }
    uint32_t number = 0;
    for (; i < key.size() && key[i] >= '0' && key[i] <= '9'; ++i) {
        number = (number * 10 + static_cast<uint32_t>(key[i] - '0')) & 0xFFFFu;
    }
    if (negative) number = (0x10000u - number) & 0xFFFFu;
    return static_cast<uint16_t>(number);
}

}  // namespace

bool LoadChannelMap(ChannelMap& map, const platform::IniFile& ini, const std::string& iniPath) {
    const std::vector<platform::IniEntry> entries = ini.Entries(kChannelMapSection);
    if (entries.empty()) return false;
    // Bytes of the key list so far (names and their NULs); its closing NUL needs one more.
    std::size_t used = 0;
    std::size_t dropped = 0;
    for (const platform::IniEntry& entry : entries) {
        if (used + entry.name.size() + 2 > kChannelKeyListCapacity) {
            ++dropped;
            continue;
        }
        used += entry.name.size() + 1;
        // In file order, so that a later entry with the same number wins.
        map.names[ChannelNumberOfKey(entry.name)] =
            platform::CutUtf8(entry.value, kMaxChannelNameLength);
    }
    if (dropped > 0) {
        ConsoleNotice(
            "%zu entries of [%s] in %s were dropped: the channel map holds %zu bytes "
            "of key names",
            dropped, kChannelMapSection, iniPath.c_str(), kChannelKeyListCapacity);
    }
    return true;
}

const char* FindChannelName(const ChannelMap& map, int channelNumber) {
    const auto found = map.names.find(static_cast<uint16_t>(channelNumber));
    return found == map.names.end() ? nullptr : found->second.c_str();
}

std::string ChannelNameOf(const ChannelMap& map, int channel) {
    const char* mapped = FindChannelName(map, channel);
    if (mapped != nullptr) return mapped;
    char defaultName[16];
    std::snprintf(defaultName, sizeof defaultName, "CH%d", channel);
    return defaultName;
}

void FreeChannelMap(ChannelMap& map) {
    map.names.clear();
}
