#include "recorder/Calendar.h"

// Stand-in until the calendar lands.
bool IsLeapYear(int) { return false; }
EpochSeconds DateToEpochSeconds(int, int, int, int, int, float) { return 0; }
bool DayOfYearToMonthDay(int, int& month, int& day, int) {
    month = day = 0;
    return false;
}
bool EpochSecondsToDate(EpochSeconds, int&, int&, int&, int&, int&, float&) { return false; }
