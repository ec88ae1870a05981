// The scratch and artifact folders the test drivers hand to test programs.
#pragma once
#include <windows.h>

#include <string>

namespace testsupport {

// The folder named by the environment variable, or the current folder when it
// is not set (a test program started by hand).
inline std::wstring EnvironmentFolder(const wchar_t* variable)
{
    wchar_t buffer[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(variable, buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return L".";
    return buffer;
}

}  // namespace testsupport
