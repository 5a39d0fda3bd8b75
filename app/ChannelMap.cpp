#include "app/ChannelMap.h"

// Stand-in until the channel map lands.
bool LoadChannelMap(ChannelMap&, const std::string&) { return false; }

const char* FindChannelName(const ChannelMap& map, int channelNumber) {
    auto found = map.names.find(static_cast<uint16_t>(channelNumber));
    return found == map.names.end() ? nullptr : found->second.c_str();
}

void FreeChannelMap(ChannelMap& map) { map.names.clear(); }
