#include "archive/StreamCodes.h"

#include <cctype>

namespace {

constexpr std::size_t kStationCodeLength = 5;
constexpr std::size_t kChannelCodeLength = 3;

}  // namespace

std::string SeedCodeProblem(std::string_view code, std::size_t minLength, std::size_t maxLength) {
    // Appended piece by piece: g++ 12 -O2 and -O3 warn (-Wrestrict, wrongly) of
    // "\"" + std::string.
    const auto quoted = [code] { return std::string(1, '"').append(code).append("\""); };
    if (code.size() < minLength || code.size() > maxLength) {
        return quoted()
            .append(" is ")
            .append(std::to_string(code.size()))
            .append(" characters; a SEED record holds ")
            .append(std::to_string(minLength))
            .append(" to ")
            .append(std::to_string(maxLength));
    }
    for (char c : code) {
        if (!std::isalnum(static_cast<unsigned char>(c))) {
            return quoted().append(" holds a character other than A-Z, a-z and 0-9");
        }
    }
    return "";
}

std::string StreamCodeProblem(std::string_view station, std::string_view channel) {
    if (auto problem = SeedCodeProblem(station, 1, kStationCodeLength); !problem.empty()) {
        return "station " + problem;
    }
    if (auto problem = SeedCodeProblem(channel, 1, kChannelCodeLength); !problem.empty()) {
        return "channel " + problem;
    }
    return "";
}

bool IsMiniSeedStationCode(std::string_view station) {
    return SeedCodeProblem(station, 1, kStationCodeLength).empty();
}
