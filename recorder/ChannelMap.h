#pragma once
// Channel numbers to channel names, from section "CHANNELMAP" of the converter's own ini
// file: the key 1 with the value BHZ names channel 1 BHZ.

#include <cstdint>
#include <string>
#include <unordered_map>

namespace platform {
class IniFile;
}

// Longest channel name kept; a longer value is cut.
inline constexpr std::size_t kMaxChannelNameLength = 30;
// Room for the section's key names, each with a terminating NUL, plus one more NUL: keys
// past it are dropped (with a notice). Real maps name a handful of channels.
inline constexpr std::size_t kChannelKeyListCapacity = 15999;

struct ChannelMap {
    std::unordered_map<uint16_t, std::string> names;
};

// Fills `map` from the entries of every section "CHANNELMAP" of `ini` (read from
// `iniPath`, named in notices). Returns true when there is at least one entry; false (map
// unchanged) for a missing file, a missing section or a section without entries. Key names
// are read like atoi and reduced to 16 bits; an entry listed later replaces an earlier one
// with the same number ("1=" and "001=" alike). Names are cut to 30 bytes without
// splitting a UTF-8 character.
bool LoadChannelMap(ChannelMap& map, const platform::IniFile& ini, const std::string& iniPath);

// The name stored for the low 16 bits of `channelNumber`, or nullptr. The pointer stays
// valid until FreeChannelMap.
const char* FindChannelName(const ChannelMap& map, int channelNumber);

// The archive name of recorder channel `channel`: its entry, or "CH<n>".
std::string ChannelNameOf(const ChannelMap& map, int channel);

// Removes every entry; the map is empty afterwards.
void FreeChannelMap(ChannelMap& map);
