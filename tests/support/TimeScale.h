// How long the tests wait for something to happen, on a slower machine.
#pragma once
#include <windows.h>

#include <cwchar>

namespace testsupport {

// VOLUMETRA_TIME_SCALE (a number, 1 when unset or smaller) stretches the
// bounds of the tests' waits for a condition: the emulated route runs every
// program several times slower. A bound only ends a wait that has already
// failed, so a larger one costs nothing when the condition comes; durations
// that a test measures are not scaled.
inline double TimeScale()
{
    static const double scale = [] {
        wchar_t text[32] = {};
        const DWORD length = GetEnvironmentVariableW(L"VOLUMETRA_TIME_SCALE", text, 32);
        const double value = length > 0 && length < 32 ? std::wcstod(text, nullptr) : 1.0;
        return value > 1.0 ? value : 1.0;
    }();
    return scale;
}

// A wait's bound in milliseconds, stretched by TimeScale().
inline DWORD Scaled(DWORD ms)
{
    return static_cast<DWORD>(ms * TimeScale());
}

}  // namespace testsupport
