#pragma once
// Channel numbers to channel names, from section "CHANNELMAP" of the converter's own ini
// file: the key 1 with the value BHZ names channel 1 BHZ.

#include <cstdint>
#include <string>
#include <unordered_map>

// Longest channel name kept; a longer value is cut.
inline constexpr std::size_t kMaxChannelNameLength = 30;
// Size of the key list the profile reader fills.
inline constexpr std::size_t kChannelKeyListCapacity = 15999;

struct ChannelMap {
    std::unordered_map<uint16_t, std::string> names;
};

// Fills `map` from section "CHANNELMAP" of the ini file at `iniPath`. Returns true when the
// section holds at least one key; false (map unchanged) for a missing file, a missing
// section or a section without keys. Key names are read like atoi and reduced to 16 bits;
// a key listed later replaces an earlier one with the same number.
bool LoadChannelMap(ChannelMap& map, const std::string& iniPath);

// The name stored for the low 16 bits of `channelNumber`, or nullptr. The pointer stays
// valid until FreeChannelMap.
const char* FindChannelName(const ChannelMap& map, int channelNumber);

// Removes every entry; the map is empty afterwards.
void FreeChannelMap(ChannelMap& map);
