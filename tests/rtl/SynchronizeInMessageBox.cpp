// Window test: a message box's own modal loop serves a worker's main-thread
// call. The call closes the box, so the box ends only if the call ran.
#include <windows.h>

#include <atomic>
#include <cstdio>

#include "rtl/Classes.h"
#include "rtl/Startup.h"
#include "tests/support/GuiTestSupport.h"

namespace {

HWND FindMessageBox(DWORD threadId)
{
    HWND found = nullptr;
    EnumThreadWindows(
        threadId,
        [](HWND window, LPARAM param) WINAPI -> BOOL {
            wchar_t name[16] = {};
            GetClassNameW(window, name, 16);
            if (lstrcmpW(name, L"#32770") != 0 || !IsWindowVisible(window)) return TRUE;
            *reinterpret_cast<HWND*>(param) = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

HWND WaitForMessageBox(DWORD threadId, DWORD timeoutMs)
{
    for (DWORD waited = 0; waited < timeoutMs; waited += 20) {
        if (const HWND box = FindMessageBox(threadId)) return box;
        Sleep(20);
    }
    return nullptr;
}

class Worker : public rtl::TThread {
public:
    std::atomic<DWORD> FRanOn{0};
    std::atomic<bool> FSawBox{false};

protected:
    void Execute() override
    {
        if (!WaitForMessageBox(rtl::MainThreadID(), 10000)) return;
        FSawBox = true;
        rtl::Synchronize([this] {
            FRanOn = GetCurrentThreadId();
            if (const HWND box = FindMessageBox(GetCurrentThreadId())) EndDialog(box, IDOK);
        });
    }
};

// Closes the box with "Cancel" when the call never came, so that a failing
// run ends instead of waiting for a click.
DWORD WINAPI Watchdog(void*)
{
    Sleep(20000);
    if (const HWND box = FindMessageBox(rtl::MainThreadID())) PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
    return 0;
}

}  // namespace

int main()
{
    const rtl::TProgramStartup programStartup;
    Worker worker;
    worker.Start();
    CloseHandle(CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr));
    const int answer = MessageBoxW(nullptr, L"Ожидание вызова", L"Волюметра", MB_OKCANCEL);
    worker.WaitFor();
    int failures = 0;
    testsupport::Check(worker.FSawBox, "the message box was shown", "the worker saw no box within 10 s", failures);
    testsupport::Check(answer == IDOK, "the call closed the box from inside its loop (IDOK)",
                       answer == IDCANCEL ? "IDCANCEL: the watchdog closed it after 20 s"
                                          : testsupport::Formatted("the box answered %d", answer),
                       failures);
    testsupport::CheckEqual(worker.FRanOn.load(), rtl::MainThreadID(),
                            "the call ran on the main thread (its thread id; 0: it never ran)", failures);
    return failures;
}
