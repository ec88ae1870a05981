// The child of the pipeline tests: one raise shape per mode, with the crash
// reporter in force and a recording step table that writes one line per
// report into the result file:
//   report class=C message=M thread=T stage=S id=XXXX frames=F1,F2,...
// then "end code=N" lines for threads and "done" when main returns.
//
// usage: PipelineChild.exe MODE RESULT-FILE
#include <windows.h>

#include <atomic>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "crash/engine/EDebugData.h"
#include "crash/engine/ExceptionLog.h"
#include "crash/engine/capture/Capture.h"
#include "rtl/Classes.h"
#include "rtl/Startup.h"
#include "rtl/SysUtils.h"
#include "tests/support/ProcWindow.h"

namespace {

std::wstring gResultFile;
std::wstring gMode;
rtl::TCriticalSection gWriteLock;
// Names of the threads the mode starts, by id.
struct TNamedThread {
    DWORD ID;
    std::string Name;
};
std::vector<TNamedThread> gNames;
rtl::TCriticalSection gNamesLock;
LONG gReportsInProgress = 0;
// The source frames of the exception thread, taken while the report's call
// stack exists (the dialog step).
std::string gFrames;

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

std::string NameOf(DWORD id)
{
    if (id == rtl::MainThreadID()) return "main";
    rtl::TCriticalSectionLock hold(gNamesLock);
    for (const TNamedThread& named : gNames)
        if (named.ID == id) return named.Name;
    return "thread" + std::to_string(id);
}

void Name(const std::string& name)
{
    rtl::TCriticalSectionLock hold(gNamesLock);
    gNames.push_back({::GetCurrentThreadId(), name});
}

// The last stage of every report that is not handed over: records it.
void RecordReportLine()
{
    crash::TPipelineState& state = crash::PipelineState();
    const crash::TReportContext* context = state.Context;
    std::string line = "report";
    if (::InterlockedIncrement(&gReportsInProgress) != 1) line += " overlapping";
    if (context != nullptr) {
        line += " class=" + context->ExceptionClassName;
        const rtl::TObject* object = rtl::AsValidTObject(context->ExceptionObject);
        const auto* exception = object != nullptr ? dynamic_cast<const rtl::Exception*>(object) : nullptr;
        line += " message=" + (exception != nullptr ? exception->Message() : std::string());
    }
    line += " thread=" + NameOf(state.ExceptionThreadID);
    line += " stage=" + std::to_string(state.Stage);
    line += " id=" + state.ExceptionIdentifier;
    char message[256] = {};
    ::GetEnvironmentVariableA("_ExceptMsg", message, sizeof message);
    line += " env=" + std::string(message);
    line += " frames=" + gFrames;
    gFrames.clear();
    ::Sleep(20);
    ::InterlockedDecrement(&gReportsInProgress);
    Write(line + "\n");
}

void RecordReport()
{
    try {
        RecordReportLine();
    } catch (const rtl::Exception& error) {
        Write("recording failed: " + error.Message() + "\n");
    } catch (const std::exception& error) {
        Write(std::string("recording failed: ") + error.what() + "\n");
    } catch (...) {
        Write("recording failed\n");
    }
}

void SetRecordingSteps()
{
    crash::ReportSteps.ShowExceptionBox.Set([](crash::TReportContext&, bool) {
        crash::SetDialogKind(crash::edtNone);
        const crash::TPipelineState& state = crash::PipelineState();
        if (const crash::TVexlorStackList* stack = state.Record.CallStack) {
            // The first thread's group: the exception thread's, or, for a
            // synchronised call, the main thread's where it raised.
            const std::uint32_t thread = stack->Count() > 0 ? stack->Items(0)->ThreadID : 0;
            for (int i = 0; i < stack->Count(); ++i) {
                const crash::TVexlorDebugInfo* item = stack->Items(i);
                if (item->DebugDetail != crash::ddSourceCode || item->ThreadID != thread) continue;
                gFrames += std::string(item->ProcedureName.View()) + ",";
            }
        }
    });
    crash::ReportSteps.TerminateAfterReport.Set(RecordReport);
}

// ---- Raise shapes ----

__attribute__((noinline)) void Thrower()
{
    throw rtl::Exception("thrown");
}

__attribute__((noinline)) void Faulter()
{
    volatile int* null = nullptr;
    *null = 1;
}

struct TCleanup {
    ~TCleanup() { asm volatile("" ::: "memory"); }
};

__attribute__((noinline)) void CleanupOnly()
{
    TCleanup cleanup;
    Thrower();
}

__attribute__((noinline)) void NoexceptBoundary() noexcept
{
    Thrower();
}

// Called through a pointer the compiler cannot follow, and its result stored
// before use, so that the recursion is neither dropped nor made a loop.
int Recurse(int n);
int (*volatile gRecurse)(int) = Recurse;

__attribute__((noinline)) int Recurse(int n)
{
    volatile char pad[512];
    pad[0] = static_cast<char>(n);
    pad[1] = static_cast<char>(gRecurse(n + 1));
    return pad[0] + pad[1];
}

LRESULT CALLBACK ThrowingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_USER) Thrower();
    return ::DefWindowProcW(window, message, wParam, lParam);
}

// A throw inside a window procedure, which the system calls.
void ThrowInCallback()
{
    testsupport::SendToProcWindow(ThrowingWindowProc, L"PipelineChildThrowing", WM_USER);
}

__attribute__((noinline)) void Alpha()
{
    throw rtl::Exception("alpha");
}

__attribute__((noinline)) void Beta()
{
    throw rtl::Exception("beta");
}

LONG CALLBACK SwallowNaming(EXCEPTION_POINTERS* pointers)
{
    return pointers->ExceptionRecord->ExceptionCode == 0x406D1388 ? EXCEPTION_CONTINUE_EXECUTION
                                                                  : EXCEPTION_CONTINUE_SEARCH;
}

void RunShape(const std::wstring& shape)
{
    if (shape == L"typed") {
        try {
            Thrower();
        } catch (const rtl::Exception&) {}
    } else if (shape == L"base") {
        try {
            Thrower();
        } catch (const rtl::TObject&) {}
    } else if (shape == L"catchall") {
        try {
            Thrower();
        } catch (...) {}
    } else if (shape == L"uncaught") {
        Thrower();
    } else if (shape == L"cleanup") {
        CleanupOnly();
    } else if (shape == L"noexcept") {
        NoexceptBoundary();
    } else if (shape == L"rethrowcaught") {
        try {
            try {
                Thrower();
            } catch (...) {
                throw;
            }
        } catch (...) {}
    } else if (shape == L"rethrowuncaught") {
        try {
            Thrower();
        } catch (...) {
            throw;
        }
    } else if (shape == L"faultcaught") {
        try {
            Faulter();
        } catch (const rtl::EAccessViolation&) {}
    } else if (shape == L"faultuncaught") {
        Faulter();
    } else if (shape == L"msvcrt") {
        try {
            volatile const char* null = nullptr;
            Write("length " + std::to_string(std::strlen(const_cast<const char*>(null))) + "\n");
        } catch (...) {}
    } else if (shape == L"overflow") {
        Recurse(0);
    } else if (shape == L"callback") {
        ThrowInCallback();
    } else if (shape == L"abort") {
        rtl::Abort();
    } else if (shape == L"outofrange") {
        throw std::out_of_range("index 7");
    } else if (shape == L"int") {
        throw 42;
    } else if (shape == L"naming") {
        PVOID handler = ::AddVectoredExceptionHandler(1, SwallowNaming);
        const ULONG_PTR info[4] = {0x1000, reinterpret_cast<ULONG_PTR>("worker"), static_cast<ULONG_PTR>(-1), 0};
        ::RaiseException(0x406D1388, 0, 4, info);
        ::RemoveVectoredExceptionHandler(handler);
    }
}

DWORD WINAPI ShapeThread(void* parameter)
{
    Name("worker");
    RunShape(*static_cast<const std::wstring*>(parameter));
    return 0;
}

void Ended(HANDLE thread)
{
    ::WaitForSingleObject(thread, INFINITE);
    DWORD code = 0;
    ::GetExitCodeThread(thread, &code);
    Write("end code=" + std::to_string(code) + "\n");
    ::CloseHandle(thread);
}

// ---- Eight workers from one function ----

HANDLE gRelease = nullptr;

DWORD WINAPI EightThread(void* parameter)
{
    Name("w" + std::to_string(reinterpret_cast<std::uintptr_t>(parameter)));
    ::WaitForSingleObject(gRelease, INFINITE);
    Thrower();
    return 0;
}

void RunEight(bool withMain)
{
    gRelease = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::vector<HANDLE> threads;
    for (std::uintptr_t i = 0; i < 8; ++i) {
        DWORD id = 0;
        threads.push_back(::CreateThread(nullptr, 0, EightThread, reinterpret_cast<void*>(i), 0, &id));
    }
    ::Sleep(200);
    ::SetEvent(gRelease);
    if (withMain) {
        // The main thread's own handled raises meanwhile.
        for (int i = 0; i < 20; ++i) {
            try {
                Thrower();
            } catch (const rtl::Exception&) {}
        }
    }
    for (HANDLE thread : threads) Ended(thread);
}

// The options of this program's record, which every report copies.
crash::TVexlorModuleOptions& ProgramOptions()
{
    return *crash::ModuleInfoByHandle(crash::LibraryModuleHandle())->ExtraInformation.Options;
}

HANDLE StartShape(const std::wstring* shape)
{
    DWORD id = 0;
    return ::CreateThread(nullptr, 0, ShapeThread, const_cast<std::wstring*>(shape), 0, &id);
}

// A thread object that waits until it is told to end.
struct TSleeper : rtl::TThread {
    HANDLE FStop = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    void Execute() override { ::WaitForSingleObject(FStop, INFINITE); }
    ~TSleeper() override
    {
        ::SetEvent(FStop);
        WaitFor();
        ::CloseHandle(FStop);
    }
};

std::atomic<bool> gChurn{true};

DWORD WINAPI HeapChurn(void*)
{
    const HANDLE heap = ::GetProcessHeap();
    while (gChurn) ::HeapFree(heap, 0, ::HeapAlloc(heap, 0, 64));
    return 0;
}

DWORD WINAPI Nothing(void*)
{
    return 0;
}

DWORD WINAPI ThreadStarter(void*)
{
    while (gChurn) {
        DWORD id = 0;
        const HANDLE thread = ::CreateThread(nullptr, 0, Nothing, nullptr, 0, &id);
        if (thread != nullptr) {
            ::WaitForSingleObject(thread, INFINITE);
            ::CloseHandle(thread);
        }
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
    crash::CreateModuleLists();
    crash::InstallModuleDataReader();
    crash::InstallThreadHooks();
    crash::CreateVexlorLogList();
    crash::StartExceptionPipeline();
    SetRecordingSteps();
    const std::wstring mode = gMode;
    if (mode.rfind(L"main-", 0) == 0) {
        RunShape(mode.substr(5));
    } else if (mode.rfind(L"worker-", 0) == 0) {
        std::wstring shape = mode.substr(7);
        DWORD id = 0;
        Ended(::CreateThread(nullptr, 0, ShapeThread, &shape, 0, &id));
    } else if (mode == L"eight") {
        RunEight(false);
    } else if (mode == L"eight-main") {
        RunEight(true);
    } else if (mode == L"eight-minimised") {
        // Each report restores the main window from its raising thread while
        // the window's own thread does not pump: nothing may wait for it.
        const HWND window = ::CreateWindowExW(WS_EX_APPWINDOW | WS_EX_NOACTIVATE, L"STATIC", L"main", WS_POPUP | WS_VISIBLE,
                                              100, 100, 300, 200, nullptr, nullptr, nullptr, nullptr);
        ::ShowWindow(window, SW_MINIMIZE);
        for (MSG message; ::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);) ::DispatchMessageW(&message);
        Write(::IsIconic(window) ? "minimised\n" : "not minimised\n");
        RunEight(true);
        ::DestroyWindow(window);
    } else if (mode == L"reenter") {
        // A step that raises and reports from inside the report worker.
        crash::ReportSteps.CapturePngScreenshot.Set([] {
            try {
                Thrower();
            } catch (...) {}
            const bool passed = crash::NotifyException(nullptr, nullptr, false, nullptr, false, crash::aeNone, nullptr,
                                                       crash::rtUnknown, nullptr, nullptr, 0, 0);
            Write(passed ? "inner passed\n" : "inner reported\n");
        });
        std::wstring shape = L"uncaught";
        DWORD id = 0;
        Ended(::CreateThread(nullptr, 0, ShapeThread, &shape, 0, &id));
    } else if (mode == L"password") {
        // The data reader asks this program for its password during a
        // report: the handler runs on the thread that raised.
        auto* log = new crash::TVexlorLog();
        log->SetOnPasswordRequest([](crash::TVexlorExceptionRecord, std::string& password) {
            Write("handler thread=" + NameOf(::GetCurrentThreadId()) + "\n");
            password = "pass";
        });
        crash::ReportSteps.CapturePngScreenshot.Set(
            [] { Write("password=" + crash::ModulePassword(::GetModuleHandleW(nullptr)) + "\n"); });
        std::wstring shape = L"uncaught";
        DWORD id = 0;
        Ended(::CreateThread(nullptr, 0, ShapeThread, &shape, 0, &id));
    } else if (mode == L"notifynull") {
        auto* log = new crash::TVexlorLog();
        log->SetOnExceptionNotify([](crash::TVexlorExceptionRecord, bool&) {
            volatile int* null = nullptr;
            *null = 5;
        });
        std::wstring shape = L"uncaught";
        DWORD id = 0;
        Ended(::CreateThread(nullptr, 0, ShapeThread, &shape, 0, &id));
    } else if (mode == L"sync") {
        try {
            Alpha();
        } catch (const rtl::Exception&) {}
        struct TSyncThread : rtl::TThread {
            void Execute() override
            {
                rtl::Synchronize([] { Beta(); });
            }
        } thread;
        thread.Start();
        thread.WaitFor();
    } else if (mode == L"identifier") {
        // The identifier's text and value, for a check against another
        // implementation of the checksum.
        crash::ReportSteps.TerminateAfterReport.Set([] {
            const crash::TPipelineState& state = crash::PipelineState();
            Write("idtext=" + state.ExceptionIdentifierText + "\nid=" + state.ExceptionIdentifier + "\n");
        });
        std::wstring shape = L"uncaught";
        Ended(StartShape(&shape));
    } else if (mode == L"console") {
        // The report goes to standard output: here, the result file.
        const HANDLE output = ::CreateFileW(gResultFile.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                            nullptr, OPEN_ALWAYS, 0, nullptr);
        ::SetStdHandle(STD_OUTPUT_HANDLE, output);
        crash::ReportSteps.IsConsoleApplication.Set([] { return true; });
        std::wstring shape = L"uncaught";
        Ended(StartShape(&shape));
    } else if (mode == L"pausefail") {
        // The threads are paused for the report, whose screenshot step fails.
        crash::TBehaviourOptions behaviour = ProgramOptions().BehaviourOptions();
        behaviour.Include(crash::boPauseBorlandThreads);
        ProgramOptions().SetBehaviourOptions(behaviour);
        crash::ReportSteps.CapturePngScreenshot.Set([] { throw rtl::Exception("screenshot"); });
        TSleeper sleeper;
        sleeper.Start();
        ::Sleep(100);
        std::wstring shape = L"uncaught";
        Ended(StartShape(&shape));
        const DWORD sleeperCount = ::SuspendThread(sleeper.Handle());
        ::ResumeThread(sleeper.Handle());
        Write("suspended sleeper=" + std::to_string(sleeperCount) + "\n");
    } else if (mode == L"heapchurn") {
        crash::TLogOptions log = ProgramOptions().LogOptions();
        log.Exclude(crash::loSaveModulesAndProcessesSections);
        ProgramOptions().SetLogOptions(log);
        DWORD id = 0;
        const HANDLE churn = ::CreateThread(nullptr, 0, HeapChurn, nullptr, 0, &id);
        const HANDLE starter = ::CreateThread(nullptr, 0, ThreadStarter, nullptr, 0, &id);
        std::wstring shape = L"uncaught";
        for (int i = 0; i < 20; ++i) Ended(StartShape(&shape));
        gChurn = false;
        ::WaitForSingleObject(churn, INFINITE);
        ::WaitForSingleObject(starter, INFINITE);
    } else {
        return 3;
    }
    Write("done failed=" + std::to_string(crash::PipelineState().FailedStage) +
          " count=" + std::to_string(crash::PipelineState().ExceptionCount) + "\n");
    return 0;
}
