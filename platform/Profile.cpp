#include "platform/Profile.h"

// Stand-in until the ini reader lands: every lookup reads as missing.
namespace platform {

std::string ReadProfileString(const std::string&, const std::string&, const std::string&,
                              const std::string& defaultValue, std::size_t capacity) {
    return defaultValue.substr(0, capacity ? capacity - 1 : 0);
}

std::vector<std::string> ReadProfileKeys(const std::string&, const std::string&, std::size_t) {
    return {};
}

}  // namespace platform
