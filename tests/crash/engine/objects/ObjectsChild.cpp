// The child program of the process-helper tests: restarts itself, ends
// without a restart, or reads the clipboard, and writes what it saw to the
// result file given after the mode.
//
// usage: ObjectsChild.exe restart|halt|clipboard RESULT-FILE
#include <windows.h>
#include <tlhelp32.h>

#include <cstring>
#include <string>

#include "crash/engine/ECore.h"
#include "crash/engine/ExceptionLog.h"
#include "rtl/Handles.h"
#include "rtl/Startup.h"

namespace {

constexpr char kRestartedVariable[] = "VOLUMETRA_OBJECTS_RESTARTED";

void Write(const std::string& file, const std::string& text)
{
    HANDLE handle = CreateFileA(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(handle);
}

std::string ClipboardText()
{
    if (!OpenClipboard(nullptr)) return "<not opened>";
    std::string text = "<none>";
    if (HANDLE data = GetClipboardData(CF_TEXT)) {
        if (const char* bytes = static_cast<const char*>(GlobalLock(data))) {
            text = bytes;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

DWORD ParentProcessId()
{
    const DWORD self = GetCurrentProcessId();
    rtl::FileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = snapshot && Process32FirstW(snapshot.Get(), &entry); more;
         more = Process32NextW(snapshot.Get(), &entry))
        if (entry.th32ProcessID == self) return entry.th32ParentProcessID;
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    // What the library's start-up will do first.
    crash::RecordStartFolder();
    const rtl::TProgramStartup programStartup;
    if (argc < 3) return 2;
    const std::string mode = argv[1];
    const std::string result = argv[2];
    if (GetEnvironmentVariableA(kRestartedVariable, nullptr, 0) != 0) {
        // Started by a restart: what it was started with, and by whom. A
        // process a "halt" should not have started stays a while to be seen.
        if (mode != "restart") Sleep(10000);
        Write(result + ".restarted", std::string(GetCommandLineA()) + "\n" + crash::CurrentDirectory() + "\n" +
                                         std::to_string(ParentProcessId()) + "\n");
        return 0;
    }
    if (mode == "restart") {
        Write(result, std::string(GetCommandLineA()) + "\n" + crash::StartFolder() + "\n");
        SetEnvironmentVariableA(kRestartedVariable, "1");
        // The restart goes to the folder of the start, not the current one.
        char windows[MAX_PATH];
        GetWindowsDirectoryA(windows, MAX_PATH);
        SetCurrentDirectoryA(windows);
        crash::RestartApplication(true);
    }
    if (mode == "halt") {
        Write(result, "halting\n");
        SetEnvironmentVariableA(kRestartedVariable, "1");
        crash::RestartApplication(false);
    }
    if (mode == "clipboard") {
        Write(result, ClipboardText());
        return 0;
    }
    return 3;
}
