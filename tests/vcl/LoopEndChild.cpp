// The child of the shut-down tests: its main form has a running timer and a
// worker that keeps handing calls to the main thread, and its message loop ends by an exception
// while the worker runs. The form's destructor stops the worker and serves its
// calls until it has ended, as the program's main form does. What happened is
// written, line by line, to the result file.
//
// usage: LoopEndChild.exe MODE RESULT-FILE
//   uncaught  the exception leaves the entry function: the terminate handler ends the program
//   caught    the entry function catches it and returns 0
#include <windows.h>

#include <shellapi.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>

#include "rtl/Classes.h"
#include "rtl/ExceptHooks.h"
#include "rtl/Startup.h"
#include "vcl/Forms.h"

namespace {

wchar_t gResultFile[MAX_PATH];

void Write(const char* text) noexcept
{
    HANDLE file = CreateFileW(gResultFile, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
    WriteFile(file, "\n", 1, &written, nullptr);
    CloseHandle(file);
}

// After the entry function, at static destruction: the form must be gone by now.
struct StaticDestructionMark {
    ~StaticDestructionMark() { Write("static destruction"); }
} gMark;

class TWorker : public rtl::TThread {
public:
    std::atomic<int> FCalls{0};

protected:
    void Execute() override
    {
        while (!Terminated()) {
            rtl::Synchronize([this] { ++FCalls; });
            Sleep(5);
        }
        Write("worker finished");
    }
};

class TLoopEndForm : public vcl::TForm {
public:
    TLoopEndForm() : TForm(L"LOOPENDFORM")
    {
        RegisterHandler("tmTickTimer", &TLoopEndForm::tmTickTimer);
        FWorker->Start();
    }
    ~TLoopEndForm() override
    {
        FWorker->Terminate();
        while (!FWorker->Finished()) {
            if (!rtl::CheckSynchronize()) Sleep(10);
        }
        FWorker.reset();
        Write("form destroyed");
    }
    int Calls() const { return FWorker->FCalls; }
    // A timer that runs when the form goes leaves the application's hidden window then.
    void tmTickTimer(rtl::TObject*) {}

private:
    std::unique_ptr<TWorker> FWorker = std::make_unique<TWorker>();
};

void ReportUnhandled(void* object, const std::type_info* type, void*) noexcept
{
    Write(("unhandled: " + rtl::ExceptionMessage(object, type)).c_str());
}

// The loop of TApplication::Run, with a fault of its own once the worker's
// calls are being served.
void RunLoopThatFails(TLoopEndForm& form)
{
    form.Show();
    for (;;) {
        vcl::Application->HandleMessage();
        if (form.Calls() >= 5) throw rtl::Exception("the loop failed");
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    const rtl::TProgramStartup programStartup;
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr || argc < 3) return 2;
    const std::wstring mode = argv[1];
    wcsncpy(gResultFile, argv[2], MAX_PATH - 1);
    rtl::ExceptProc = ReportUnhandled;
    TLoopEndForm* form = vcl::Application->CreateForm<TLoopEndForm>();
    if (mode == L"uncaught") RunLoopThatFails(*form);
    try {
        RunLoopThatFails(*form);
    } catch (const rtl::Exception& e) {
        Write(("caught: " + e.Message()).c_str());
    }
    return 0;
}
