// The program's entry function: version, application, main window, message loop.
#include <windows.h>

#include <exception>

#include "app/main.h"
#include "rtl/Libraries.h"
#include "rtl/Startup.h"
#include "vcl/Forms.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    // Undone when this function returns, however the loop ended: the main
    // form, which waits for a running calibration, goes before the runtime's
    // main-thread calls it needs for that.
    const rtl::TProgramStartup programStartup;
    if (const std::wstring fileName = rtl::ModuleFileName(); !fileName.empty())
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
    // Threads of the crash reporter and of other modules may still run.
    rtl::Halt(0);
}
