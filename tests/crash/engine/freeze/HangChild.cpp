// The child of the hang watcher tests: a program with the crash reporter in
// force (the start-up list runs it) whose main thread blocks in one of
// several ways. It writes one line per event into the result file:
//   started      the report began (its first step ran), with latency=MS, the
//                time from the block to that step
//   report class=C thread=main|other first=PROC   the report's dialog step
//   complete     the report ended
//   ...          mode-specific lines, then "done"
//
// usage: HangChild.exe MODE RESULT-FILE
//   spin      FreezeTimeout 1; a message handler spins until a report started
//   min       the same with the window minimised; the handler spins until
//             the report completed
//   malloc    the handler allocates and frees, with the heaps locked, until
//             the report completed
//   off       as spin; the report's notify handler (on the watcher thread)
//             turns FreezeActivate off, then main turns it on again
//   answer    FreezeTimeout 5; the window answers for 10 s
//   console   FreezeTimeout 5; no window, main sleeps 5 s
//   held      FreezeTimeout 1; a main-thread report whose step takes 3 s
//   idle      FreezeTimeout 5; the window answers for the time given in
//             VOLUMETRA_IDLE_MS; writes the watcher's CPU time
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "crash/engine/EOptions.h"
#include "crash/engine/ExceptionLog.h"
#include "crash/engine/ReportSteps.h"
#include "crash/engine/api/PublicInterface.h"
#include "crash/engine/events/ExceptionEvents.h"
#include "crash/engine/freeze/FreezeWatcher.h"
#include "crash/engine/pipeline/Pipeline.h"
#include "crash/engine/pipeline/ReportContext.h"
#include "rtl/Classes.h"
#include "rtl/Startup.h"
#include "rtl/SyncObjs.h"
#include "rtl/SysUtils.h"
#include "tests/support/ProcWindow.h"
#include "tests/support/TimeScale.h"

namespace {

std::wstring gResultFile;
std::wstring gMode;
rtl::TCriticalSection gWriteLock;
std::atomic<bool> gReportStarted{false};
std::atomic<bool> gReportDone{false};
std::atomic<bool> gGiveUp{false};
std::atomic<int> gReports{0};
LARGE_INTEGER gBlockStart{};
DWORD gWatcherAtReport = 0;
HANDLE gOldWatcher = nullptr;

void Write(const std::string& text)
{
    rtl::TCriticalSectionLock hold(gWriteLock);
    HANDLE file = ::CreateFileW(gResultFile.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    ::CloseHandle(file);
}

double MillisecondsSince(const LARGE_INTEGER& start)
{
    LARGE_INTEGER now, frequency;
    ::QueryPerformanceCounter(&now);
    ::QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void SetRecordingSteps()
{
    // The first step of every report.
    crash::ReportSteps.SetCustomErrorMessage.Set([](const std::string&) {
        if (gReportStarted.exchange(true)) return;
        char line[64];
        std::snprintf(line, sizeof line, "started latency=%.0f\n", MillisecondsSince(gBlockStart));
        Write(line);
    });
    crash::ReportSteps.ShowExceptionBox.Set([](crash::TReportContext& context, bool) {
        crash::SetDialogKind(crash::edtNone);
        const crash::TPipelineState& state = crash::PipelineState();
        std::string line = "report class=" + context.ExceptionClassName;
        line += state.ExceptionThreadID == rtl::MainThreadID() ? " thread=main" : " thread=other";
        line += " first=";
        if (const crash::TVexlorStackList* stack = state.Record.CallStack; stack != nullptr && stack->Count() > 0)
            line += std::string(stack->Items(0)->ProcedureName.View());
        if (gMode == L"held") ::Sleep(3000);
        Write(line + "\n");
        ++gReports;
    });
    crash::ReportSteps.TerminateAfterReport.Set([] {
        Write("complete\n");
        gReportDone = true;
    });
}

__attribute__((noinline)) void Spin()
{
    ::QueryPerformanceCounter(&gBlockStart);
    volatile unsigned counter = 0;
    while (!gReportStarted.load(std::memory_order_relaxed) && !gGiveUp.load(std::memory_order_relaxed)) counter = counter + 1;
}

__attribute__((noinline)) void SpinUntilDone()
{
    ::QueryPerformanceCounter(&gBlockStart);
    volatile unsigned counter = 0;
    while (!gReportDone.load(std::memory_order_relaxed) && !gGiveUp.load(std::memory_order_relaxed)) counter = counter + 1;
    Write(gReportDone ? "completed while spinning\n" : "gave up\n");
}

// Allocates with every heap of the process locked most of the time, so that
// a suspension nearly always finds the thread inside a heap's lock.
__attribute__((noinline)) void AllocateUntilDone()
{
    static HANDLE heaps[64];
    const DWORD count = std::min<DWORD>(::GetProcessHeaps(64, heaps), 64);
    ::QueryPerformanceCounter(&gBlockStart);
    while (!gReportDone.load(std::memory_order_relaxed) && !gGiveUp.load(std::memory_order_relaxed)) {
        for (DWORD i = 0; i < count; ++i) ::HeapLock(heaps[i]);
        void* block = std::malloc(64 + (::GetTickCount() & 255));
        for (volatile int k = 0; k < 2000; k = k + 1) {}
        std::free(block);
        for (DWORD i = count; i > 0; --i) ::HeapUnlock(heaps[i - 1]);
    }
    Write(gReportDone ? "completed while allocating\n" : "gave up\n");
}

constexpr UINT kBlock = WM_APP + 1;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kBlock) {
        if (gMode == L"min")
            SpinUntilDone();
        else if (gMode == L"malloc")
            AllocateUntilDone();
        else
            Spin();
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

HWND MakeWindow()
{
    const HWND window = testsupport::CreateProcWindow(WindowProc, L"HangChildWindow", WS_OVERLAPPEDWINDOW, nullptr,
                                                      {100, 100, 400, 300}, L"Hang child");
    ::ShowWindow(window, gMode == L"min" ? SW_MINIMIZE : SW_SHOWNORMAL);
    return window;
}

// Pumps for the time given, or until the window is gone.
void Pump(DWORD milliseconds)
{
    const ULONGLONG end = ::GetTickCount64() + milliseconds;
    while (::GetTickCount64() < end) {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

// Ends every spin after at most a minute (stretched by the time scale).
void StartGiveUpTimer()
{
    static DWORD limit = testsupport::Scaled(60000);
    ::CreateThread(
        nullptr, 0,
        [](void*) WINAPI -> DWORD {
            ::Sleep(limit);
            gGiveUp = true;
            return 0;
        },
        nullptr, 0, nullptr);
}

void Configure(int timeout)
{
    crash::TVexlorModuleOptions* options = crash::CurrentVexlorLogOptions();
    options->SetFreezeTimeout(timeout);
    // Through the own options' switch: this starts the watcher.
    options->SetFreezeActivate(true);
}

int RunBlocked()
{
    Configure(1);
    HWND window = MakeWindow();
    StartGiveUpTimer();
    Pump(200);
    ::PostMessageW(window, kBlock, 0, 0);
    // The block returns once the report started (or completed); the pump
    // that follows lets the report end and shows that no second comes.
    const ULONGLONG end = ::GetTickCount64() + testsupport::Scaled(60000);
    while (!gReportDone && !gGiveUp && ::GetTickCount64() < end) Pump(50);
    Pump(2000);
    Write("reports=" + std::to_string(gReports.load()) + "\n");
    return 0;
}

int RunSwitchedOff()
{
    auto* log = new crash::TVexlorLog();
    log->SetOnExceptionNotify([](crash::TVexlorExceptionRecord, bool&) {
        gWatcherAtReport = ::GetCurrentThreadId();
        const bool onWatcher = gWatcherAtReport == crash::FreezeWatcherThreadID();
        ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(), ::GetCurrentProcess(), &gOldWatcher,
                          SYNCHRONIZE, FALSE, 0);
        crash::CurrentVexlorLogOptions()->SetFreezeActivate(false);
        Write(std::string("handler on-watcher=") + (onWatcher ? "yes" : "no") +
              " after-off=" + std::to_string(crash::FreezeWatcherThreadID()) + "\n");
    });
    RunBlocked();
    const bool ended =
        gOldWatcher != nullptr && ::WaitForSingleObject(gOldWatcher, testsupport::Scaled(10000)) == WAIT_OBJECT_0;
    Write(std::string("old watcher ended=") + (ended ? "yes" : "no") + "\n");
    const std::uint32_t before = crash::FreezeWatcherStartCount();
    crash::TVexlorModuleOptions* options = crash::CurrentVexlorLogOptions();
    options->SetFreezeActivate(true);
    options->SetFreezeActivate(true);
    crash::StartFreezeWatcher();
    const DWORD now = crash::FreezeWatcherThreadID();
    Write("new starts=" + std::to_string(crash::FreezeWatcherStartCount() - before) +
          " running=" + (now != 0 && now != gWatcherAtReport ? "new" : "none") + "\n");
    return 0;
}

int RunAnswering(DWORD milliseconds)
{
    Configure(5);
    MakeWindow();
    Pump(milliseconds);
    return 0;
}

int RunHeldReport()
{
    Configure(1);
    MakeWindow();
    Pump(200);
    // A report of the main thread whose dialog step takes 3 s: the main
    // thread does not pump meanwhile.
    rtl::Exception error("held");
    crash::NotifyException(&error, reinterpret_cast<void*>(&RunHeldReport), false, nullptr, false, crash::aeNone,
                           nullptr, crash::rtLocal, nullptr, nullptr, 0, 0);
    Pump(2000);
    return 0;
}

int RunIdle()
{
    char text[32] = {};
    const DWORD milliseconds =
        ::GetEnvironmentVariableA("VOLUMETRA_IDLE_MS", text, sizeof text) > 0 ? std::atoi(text) : 20000;
    Configure(5);
    MakeWindow();
    Pump(milliseconds);
    FILETIME created, exited, kernel, user;
    if (::GetThreadTimes(crash::FreezeWatcherHandle(), &created, &exited, &kernel, &user)) {
        const auto ticks = [](const FILETIME& t) {
            return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
        };
        char line[96];
        std::snprintf(line, sizeof line, "watcher cpu ms=%.1f over ms=%lu\n",
                      static_cast<double>(ticks(kernel) + ticks(user)) / 10000.0, milliseconds);
        Write(line);
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const rtl::TProgramStartup programStartup;
    if (argc < 3) return 2;
    gMode = argv[1];
    gResultFile = argv[2];
    SetRecordingSteps();
    int code = 3;
    if (gMode == L"spin" || gMode == L"min" || gMode == L"malloc")
        code = RunBlocked();
    else if (gMode == L"off")
        code = RunSwitchedOff();
    else if (gMode == L"answer")
        code = RunAnswering(10000);
    else if (gMode == L"console") {
        Configure(5);
        ::Sleep(5000);
        code = 0;
    } else if (gMode == L"held")
        code = RunHeldReport();
    else if (gMode == L"idle")
        code = RunIdle();
    Write("reports=" + std::to_string(gReports.load()) + " done\n");
    return code;
}
