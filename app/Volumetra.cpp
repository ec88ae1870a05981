// The program's entry function: version, application, main window, message loop.
#include <windows.h>

#include <exception>

#include "app/main.h"
#include "rtl/Libraries.h"
#include "vcl/Forms.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
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
    return 0;
}
