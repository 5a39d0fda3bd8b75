#include "trq/UtcTime.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace trq {

namespace {

constexpr int64_t kSecondsPerDay = 86400;

int64_t FloorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

std::string Format(double epochSeconds, int decimals, char dateTimeSeparator, const char* suffix) {
    if (decimals < 0 || decimals > 6) throw std::invalid_argument("FormatUtc: decimals 0..6");
    // Beyond about year 30000 the civil fields leave the range chrono's calendar computes.
    if (!std::isfinite(epochSeconds) || std::fabs(epochSeconds) > 9.0e11) return "(not a time)";
    int64_t scale = 1;
    for (int i = 0; i < decimals; ++i) scale *= 10;
    // Round once, in units of the last digit shown, so that .9996 s with three decimals
    // carries into the next second instead of printing 1000 ms.
    const auto ticks =
        static_cast<int64_t>(std::llround(epochSeconds * static_cast<double>(scale)));
    const int64_t second = FloorDiv(ticks, scale);
    const int64_t fraction = ticks - second * scale;
    const CivilTime civil = EpochSecondsToCivil(second);
    char text[64];
    int length =
        std::snprintf(text, sizeof text, "%04d-%02d-%02d%c%02d:%02d:%02d", civil.year, civil.month,
                      civil.day, dateTimeSeparator, civil.hour, civil.minute, civil.second);
    if (decimals > 0) {
        std::snprintf(text + length, sizeof text - static_cast<std::size_t>(length), ".%0*lld",
                      decimals, static_cast<long long>(fraction));
    }
    return std::string(text) + suffix;
}

}  // namespace

bool IsValidDate(int year, int month, int day) {
    using namespace std::chrono;
    if (month < 1 || month > 12 || day < 1 || day > 31) return false;
    return year_month_day{std::chrono::year{year}, std::chrono::month{static_cast<unsigned>(month)},
                          std::chrono::day{static_cast<unsigned>(day)}}
        .ok();
}

int64_t CivilToEpochSeconds(const CivilTime& time) {
    using namespace std::chrono;
    const sys_days date{year_month_day{std::chrono::year{time.year},
                                       std::chrono::month{static_cast<unsigned>(time.month)},
                                       std::chrono::day{static_cast<unsigned>(time.day)}}};
    return static_cast<int64_t>(date.time_since_epoch().count()) * kSecondsPerDay +
           int64_t{time.hour} * 3600 + int64_t{time.minute} * 60 + time.second;
}

CivilTime EpochSecondsToCivil(int64_t epochSecond) {
    using namespace std::chrono;
    const int64_t dayNumber = FloorDiv(epochSecond, kSecondsPerDay);
    const int64_t secondOfDay = epochSecond - dayNumber * kSecondsPerDay;
    const year_month_day date{sys_days{days{dayNumber}}};
    CivilTime civil;
    civil.year = static_cast<int>(date.year());
    civil.month = static_cast<int>(static_cast<unsigned>(date.month()));
    civil.day = static_cast<int>(static_cast<unsigned>(date.day()));
    civil.hour = static_cast<int>(secondOfDay / 3600);
    civil.minute = static_cast<int>(secondOfDay % 3600 / 60);
    civil.second = static_cast<int>(secondOfDay % 60);
    return civil;
}

std::string FormatUtc(double epochSeconds, int decimals) {
    return Format(epochSeconds, decimals, ' ', "");
}

std::string FormatIsoUtc(double epochSeconds, int decimals) {
    return Format(epochSeconds, decimals, 'T', "Z");
}

}  // namespace trq
