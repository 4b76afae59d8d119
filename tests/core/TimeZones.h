#pragma once
// Dates and real daylight-saving rules for the scheduler's tests, as the platform describes a zone.
#include <windows.h>

namespace testing_support {

// A date and time of day as calendar fields, in whatever zone the caller means.
inline SYSTEMTIME Date(int year, int month, int day, int hour, int minute = 0, int second = 0) {
    SYSTEMTIME time{};
    time.wYear = static_cast<WORD>(year);
    time.wMonth = static_cast<WORD>(month);
    time.wDay = static_cast<WORD>(day);
    time.wHour = static_cast<WORD>(hour);
    time.wMinute = static_cast<WORD>(minute);
    time.wSecond = static_cast<WORD>(second);
    return time;
}

// US Eastern: 02:00 EST becomes 03:00 EDT on the second Sunday of March, and back on the first Sunday of
// November at 02:00.
inline TIME_ZONE_INFORMATION Eastern() {
    TIME_ZONE_INFORMATION zone{};
    zone.Bias = 300;
    zone.DaylightBias = -60;
    zone.StandardDate = {0, 11, 0, 1, 2, 0, 0, 0};
    zone.DaylightDate = {0, 3, 0, 2, 2, 0, 0, 0};
    return zone;
}

// Central Europe: 02:00 CET becomes 03:00 CEST on the last Sunday of March, and 03:00 CEST becomes 02:00
// CET on the last Sunday of October.
inline TIME_ZONE_INFORMATION CentralEurope() {
    TIME_ZONE_INFORMATION zone{};
    zone.Bias = -60;
    zone.DaylightBias = -60;
    zone.StandardDate = {0, 10, 0, 5, 3, 0, 0, 0};
    zone.DaylightDate = {0, 3, 0, 5, 2, 0, 0, 0};
    return zone;
}

}  // namespace testing_support
