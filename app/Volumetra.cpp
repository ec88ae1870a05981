// The program's entry function: version, application, main window, message loop.
#include <windows.h>

#include <exception>

#include "app/main.h"
#include "rtl/Startup.h"
#include "vcl/Forms.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    // Undone when this function returns, however the loop ended: the main
    // form, which waits for a running calibration, goes before the runtime's
    // main-thread calls it needs for that.
    const rtl::TProgramStartup programStartup;
    wchar_t fileName[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, fileName, MAX_PATH);
    if (length > 0 && length < MAX_PATH)
        app::ReadProgramVersion(fileName, app::ProgramVersion);

    try {
        vcl::Application->SetTitle(app::kMessageCaption);
        // The first form is the main one: it goes on the task bar, and
        // closing it ends the loop.
        vcl::Application->CreateForm<app::TMainForm>();
        vcl::Application->Run();
    } catch (...) {
        vcl::Application->ShowException(std::current_exception());
    }
    return 0;
}
