#include "app/ChannelMap.h"

#include <vector>

#include "platform/Profile.h"

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

bool LoadChannelMap(ChannelMap& map, const std::string& iniPath) {
    const std::vector<std::string> keys =
        platform::ReadProfileKeys(iniPath, kChannelMapSection, kChannelKeyListCapacity);
    if (keys.empty() || keys.front().empty()) return false;

    // In the order the keys are listed, so that a later key with the same number wins.
    for (const std::string& key : keys) {
        if (key.empty()) break;  // the end of the list
        map.names[ChannelNumberOfKey(key)] = platform::ReadProfileString(
            iniPath, kChannelMapSection, key, "", kMaxChannelNameLength + 1);
    }
    return true;
}

const char* FindChannelName(const ChannelMap& map, int channelNumber) {
    const auto found = map.names.find(static_cast<uint16_t>(channelNumber));
    return found == map.names.end() ? nullptr : found->second.c_str();
}

void FreeChannelMap(ChannelMap& map) {
    map.names.clear();
}
