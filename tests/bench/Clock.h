#pragma once
// The one clock every bench program reads: the system time in 100-ns units since 1601, at the precision
// the platform has. Process starts are stamped in one program and compared in another, so all of them
// must read the same clock.
#include <windows.h>

// Declared by the headers only for Windows 8 and later; Windows 8 and Wine have it.
extern "C" __declspec(dllimport) void WINAPI GetSystemTimePreciseAsFileTime(LPFILETIME time);

namespace bench {

inline constexpr long long kTicksPerSecond = 10'000'000;
inline constexpr long long kTicksPerMillisecond = 10'000;

inline long long NowTicks() {
    FILETIME now{};
    ::GetSystemTimePreciseAsFileTime(&now);
    return static_cast<long long>((static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
}

inline FILETIME ToFileTime(long long ticks) {
    const auto value = static_cast<unsigned long long>(ticks);
    return FILETIME{static_cast<DWORD>(value & 0xFFFFFFFFu), static_cast<DWORD>(value >> 32)};
}

// Sleeps until the clock reaches the moment, then spins out the last millisecond, so that an event
// aimed at a second boundary lands on it.
inline void SleepUntil(long long ticks) {
    for (;;) {
        const long long left = ticks - NowTicks();
        if (left <= 0) {
            return;
        }
        if (left > 2 * kTicksPerMillisecond) {
            ::Sleep(static_cast<DWORD>(left / kTicksPerMillisecond - 1));
        }
    }
}

}  // namespace bench
