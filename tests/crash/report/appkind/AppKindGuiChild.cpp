// A windowed program that writes what kind of application it takes itself
// for to the file named by VOLUMETRA_CHILD_OUT.
#include <windows.h>

#include <cstdio>

#include "crash/report/appkind/ApplicationKind.h"
#include "rtl/Startup.h"

int main()
{
    const rtl::TProgramStartup programStartup;
    char path[MAX_PATH];
    const DWORD length = GetEnvironmentVariableA("VOLUMETRA_CHILD_OUT", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 2;
    char text[128];
    const int size =
        std::snprintf(text, sizeof text, "console=%d cgi=%d wincgi=%d isapi=%d web=%d gui=%d",
                      crash::IsConsoleApplication(), crash::IsCGIApplication(), crash::IsWinCGIApplication(),
                      crash::IsISAPIApplication(), crash::IsWebApplication(), crash::IsGUIApplication());
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 3;
    DWORD written = 0;
    WriteFile(file, text, static_cast<DWORD>(size), &written, nullptr);
    CloseHandle(file);
    return 0;
}
