// Writes the command-line parameters text it sees to the file named by
// VOLUMETRA_CHILD_OUT, so that the parent can start it with any command line.
#include <windows.h>

#include <string>

#include "crash/report/collectors/HeaderCollectors.h"
#include "rtl/Startup.h"

int main()
{
    const rtl::TProgramStartup programStartup;
    char path[MAX_PATH];
    const DWORD length = GetEnvironmentVariableA("VOLUMETRA_CHILD_OUT", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 2;
    const std::string text = crash::CommandLineParametersText();
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 3;
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return written == text.size() ? 0 : 4;
}
