// The program's entry function: version, main window, message loop.
#include <windows.h>

#include "app/main.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand)
{
    wchar_t fileName[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, fileName, MAX_PATH);
    if (length > 0 && length < MAX_PATH)
        app::ReadProgramVersion(fileName, app::ProgramVersion);

    app::TMainForm mainForm;
    if (!mainForm.Show(showCommand))
        return 0;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
