// The child of the framework hook tests: the crash reporter started by the
// program's start-up list (so that the framework hooks are those start-up
// installs), a recording step table, and the class library's message boxes
// recorded instead of shown. It writes into the result file:
//   report class=C message=M thread=T handled=0|1 frames=F1,F2,...
//   box TEXT            (a message box of the class library)
//   done count=N        (main returns)
//
// usage: FrameworkChild.exe MODE RESULT-FILE
//   handle, handle-rtl   a window handler's exception through HandleException
//   show, show-rtl       the same through ShowException alone
//                        (-rtl: the crash reporter hands the exception back)
//   handle-in-handler    a report's handler hands its own exception to HandleException
//   handled              boCatchHandledExceptions: one raise caught in main
//   handled-threads      four threads, each handling 50 in a function of its own
//   handled-worker       the report worker raises and catches inside a step
//   probes               what start-up found of the other frameworks
//   loadlibrary          LoadLibrary calls counted from before the start-up list
#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "crash/engine/EHook.h"
#include "crash/engine/ExceptionLog.h"
#include "crash/engine/framework/FrameworkHooks.h"
#include "crash/engine/pipeline/Pipeline.h"
#include "rtl/Classes.h"
#include "rtl/ExceptHooks.h"
#include "rtl/Libraries.h"
#include "rtl/Startup.h"
#include "rtl/SysUtils.h"
#include "vcl/Forms.h"
#include "tests/support/ProcWindow.h"

namespace {

std::wstring gResultFile;
rtl::TCriticalSection gWriteLock;
std::string gFrames;
std::atomic<int> gReports{0};

struct TNamedThread {
    DWORD ID;
    std::string Name;
};
std::vector<TNamedThread> gNames;
rtl::TCriticalSection gNamesLock;

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

void Name(const std::string& name)
{
    rtl::TCriticalSectionLock hold(gNamesLock);
    gNames.push_back({::GetCurrentThreadId(), name});
}

std::string NameOf(DWORD id)
{
    if (id == rtl::MainThreadID()) return "main";
    rtl::TCriticalSectionLock hold(gNamesLock);
    for (const TNamedThread& named : gNames)
        if (named.ID == id) return named.Name;
    return "thread" + std::to_string(id);
}

void RecordReport()
{
    try {
        const crash::TPipelineState& state = crash::PipelineState();
        const crash::TReportContext* context = state.Context;
        std::string line = "report";
        if (context != nullptr) {
            line += " class=" + context->ExceptionClassName;
            const rtl::TObject* object = rtl::AsValidTObject(context->ExceptionObject);
            const auto* exception = object != nullptr ? dynamic_cast<const rtl::Exception*>(object) : nullptr;
            line += " message=" + (exception != nullptr ? exception->Message() : std::string());
            line += std::string(" handled=") + (context->Params != nullptr && context->Params->Handled ? "1" : "0");
        }
        line += " thread=" + NameOf(state.ExceptionThreadID);
        line += " frames=" + gFrames;
        gFrames.clear();
        ++gReports;
        Write(line + "\n");
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

crash::TVexlorModuleOptions& ProgramOptions()
{
    return *crash::ModuleInfoByHandle(crash::LibraryModuleHandle())->ExtraInformation.Options;
}

void IncludeBehaviour(crash::TBehaviourOption option)
{
    crash::TBehaviourOptions behaviour = ProgramOptions().BehaviourOptions();
    behaviour.Include(option);
    ProgramOptions().SetBehaviourOptions(behaviour);
}

// ---- Message boxes ----

// The class library's boxes, recorded and answered at once: this program's
// imports of MessageBoxW lead here.
int WINAPI RecordedMessageBoxW(HWND, LPCWSTR text, LPCWSTR, UINT)
{
    Write("box " + rtl::WideToAnsi(text != nullptr ? text : L"") + "\n");
    return IDOK;
}

void RecordMessageBoxes()
{
    void* real = nullptr;
    crash::TryHookDllProcedureEx({rtl::WideToAnsi(rtl::ModuleFileName())}, "user32.dll", "MessageBoxW",
                                 reinterpret_cast<void*>(&RecordedMessageBoxW), real, true);
}

// ---- The class library ----

bool gThroughShow = false;

__attribute__((noinline)) void FailingHandler()
{
    throw rtl::Exception("handler failed");
}

LRESULT CALLBACK HandlerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_USER) {
        // As the class library's controls do with their handlers' exceptions.
        try {
            FailingHandler();
        } catch (...) {
            if (gThroughShow)
                vcl::Application->ShowException(std::current_exception());
            else
                vcl::Application->HandleException(nullptr, std::current_exception());
        }
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

void RunHandler()
{
    testsupport::SendToProcWindow(HandlerWindowProc, L"FrameworkChildHandler", WM_USER);
}

// ---- Handled exceptions ----

__attribute__((noinline)) void HandledRaiser()
{
    throw rtl::Exception("handled once");
}

// One function per thread, so that a report shows whose stack it walked.
#define HANDLING_WORKER(NAME)                                 \
    __attribute__((noinline)) void NAME()                     \
    {                                                         \
        for (int i = 0; i < 50; ++i) {                        \
            try {                                             \
                throw rtl::Exception(#NAME);                  \
            } catch (const rtl::Exception&) {                 \
                asm volatile("" ::: "memory");                \
            }                                                 \
        }                                                     \
    }
HANDLING_WORKER(HandlingWorkerA)
HANDLING_WORKER(HandlingWorkerB)
HANDLING_WORKER(HandlingWorkerC)
HANDLING_WORKER(HandlingWorkerD)

HANDLE gRelease = nullptr;

struct TWorker {
    const char* Name;
    void (*Run)();
};

DWORD WINAPI WorkerThread(void* parameter)
{
    const auto* worker = static_cast<const TWorker*>(parameter);
    Name(worker->Name);
    ::WaitForSingleObject(gRelease, INFINITE);
    worker->Run();
    return 0;
}

void RunHandlingThreads()
{
    static const TWorker workers[] = {{"wA", HandlingWorkerA},
                                      {"wB", HandlingWorkerB},
                                      {"wC", HandlingWorkerC},
                                      {"wD", HandlingWorkerD}};
    gRelease = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::vector<HANDLE> threads;
    for (const TWorker& worker : workers) {
        DWORD id = 0;
        threads.push_back(::CreateThread(nullptr, 0, WorkerThread, const_cast<TWorker*>(&worker), 0, &id));
    }
    ::Sleep(200);
    ::SetEvent(gRelease);
    for (HANDLE thread : threads) {
        ::WaitForSingleObject(thread, INFINITE);
        ::CloseHandle(thread);
    }
}

__attribute__((noinline)) void UncaughtInThread()
{
    throw rtl::Exception("thread ends");
}

DWORD WINAPI UncaughtThread(void*)
{
    Name("uncaught");
    UncaughtInThread();
    return 0;
}

// ---- LoadLibrary counting ----

std::atomic<int> gLoadLibraryCalls{0};
void* gRealLoadLibrary[4] = {};

HMODULE WINAPI CountedLoadLibraryA(LPCSTR name)
{
    ++gLoadLibraryCalls;
    return reinterpret_cast<decltype(&::LoadLibraryA)>(gRealLoadLibrary[0])(name);
}
HMODULE WINAPI CountedLoadLibraryW(LPCWSTR name)
{
    ++gLoadLibraryCalls;
    return reinterpret_cast<decltype(&::LoadLibraryW)>(gRealLoadLibrary[1])(name);
}
HMODULE WINAPI CountedLoadLibraryExA(LPCSTR name, HANDLE file, DWORD flags)
{
    ++gLoadLibraryCalls;
    return reinterpret_cast<decltype(&::LoadLibraryExA)>(gRealLoadLibrary[2])(name, file, flags);
}
HMODULE WINAPI CountedLoadLibraryExW(LPCWSTR name, HANDLE file, DWORD flags)
{
    ++gLoadLibraryCalls;
    return reinterpret_cast<decltype(&::LoadLibraryExW)>(gRealLoadLibrary[3])(name, file, flags);
}

// Patches this program's imports (the crash reporter is linked into it, so
// its calls go through them) before anything of the start-up list runs.
int InstallLoadLibraryCounter()
{
    const std::string self = rtl::WideToAnsi(rtl::ModuleFileName());
    const char* names[4] = {"LoadLibraryA", "LoadLibraryW", "LoadLibraryExA", "LoadLibraryExW"};
    void* replacements[4] = {reinterpret_cast<void*>(&CountedLoadLibraryA), reinterpret_cast<void*>(&CountedLoadLibraryW),
                             reinterpret_cast<void*>(&CountedLoadLibraryExA),
                             reinterpret_cast<void*>(&CountedLoadLibraryExW)};
    int patched = 0;
    for (int i = 0; i < 4; ++i) {
        if (crash::TryHookDllProcedureEx({self}, "kernel32.dll", names[i], replacements[i], gRealLoadLibrary[i], true))
            ++patched;
        if (gRealLoadLibrary[i] == nullptr)
            gRealLoadLibrary[i] = reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), names[i]));
    }
    return patched;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3) return 2;
    const std::wstring mode = argv[1];
    gResultFile = argv[2];
    const int patched = mode == L"loadlibrary" ? InstallLoadLibraryCounter() : 0;
    const int beforeStartup = gLoadLibraryCalls.load();
    const rtl::TProgramStartup programStartup;
    if (mode == L"loadlibrary") {
        const int duringStartup = gLoadLibraryCalls.load() - beforeStartup;
        // The positive control: one deliberate call is counted.
        const HMODULE module = ::LoadLibraryW(L"kernel32.dll");
        if (module != nullptr) ::FreeLibrary(module);
        Write("patched=" + std::to_string(patched) + " startup=" + std::to_string(duringStartup) +
              " control=" + std::to_string(gLoadLibraryCalls.load() - beforeStartup - duringStartup) + "\n");
        return 0;
    }
    if (!crash::FrameworkHooksInstalled()) {
        Write("framework hooks not installed\n");
        return 4;
    }
    SetRecordingSteps();
    RecordMessageBoxes();
    if (mode == L"handle" || mode == L"handle-rtl" || mode == L"show" || mode == L"show-rtl") {
        gThroughShow = mode.rfind(L"show", 0) == 0;
        if (mode.ends_with(L"-rtl")) IncludeBehaviour(crash::boCallRTLExceptionEvent);
        RunHandler();
    } else if (mode == L"handle-in-handler") {
        // A report's handler runs on the main thread and hands an exception
        // of its own to the class library: that one is the application's.
        auto* log = new crash::TVexlorLog();
        log->SetOnExceptionNotify([](crash::TVexlorExceptionRecord, bool&) {
            try {
                throw rtl::Exception("in the handler");
            } catch (...) {
                vcl::Application->HandleException(nullptr, std::current_exception());
            }
        });
        RunHandler();
    } else if (mode == L"handled") {
        IncludeBehaviour(crash::boCatchHandledExceptions);
        try {
            HandledRaiser();
        } catch (const rtl::Exception&) {
            Write("caught\n");
        }
    } else if (mode == L"handled-threads") {
        IncludeBehaviour(crash::boCatchHandledExceptions);
        // 200 reports: the sections of the process and the code around the
        // address are left out, the stacks are what is looked at.
        crash::TLogOptions log = ProgramOptions().LogOptions();
        log.Exclude(crash::loSaveModulesAndProcessesSections);
        log.Exclude(crash::loSaveAssemblerAndCPUSections);
        ProgramOptions().SetLogOptions(log);
        RunHandlingThreads();
    } else if (mode == L"handled-worker") {
        IncludeBehaviour(crash::boCatchHandledExceptions);
        crash::ReportSteps.CapturePngScreenshot.Set([] {
            try {
                throw rtl::Exception("inside a step");
            } catch (const rtl::Exception&) {
                Write("step caught\n");
            }
        });
        DWORD id = 0;
        const HANDLE thread = ::CreateThread(nullptr, 0, UncaughtThread, nullptr, 0, &id);
        ::WaitForSingleObject(thread, INFINITE);
        ::CloseHandle(thread);
    } else if (mode == L"probes") {
        int count = 0;
        const crash::TFrameworkProbe* probes = crash::FrameworkProbes(count);
        for (int i = 0; i < count; ++i)
            Write(std::string("probe ") + probes[i].Routine + " package=" +
                  (probes[i].Package != nullptr ? probes[i].Package : "-") + " id=" + std::to_string(probes[i].SymbolId) +
                  " loaded=" + (probes[i].Loaded ? "1" : "0") + " symbol=" + (probes[i].SymbolPresent ? "1" : "0") +
                  "\n");
        Write(std::string("points handle=") + (rtl::HandleExceptionHook.load() != nullptr ? "1" : "0") +
              " show=" + (rtl::ShowExceptionHook.load() != nullptr ? "1" : "0") +
              " endcatch=" + (rtl::EndCatchHook.load() != nullptr ? "1" : "0") + "\n");
    } else {
        return 3;
    }
    Write("done count=" + std::to_string(gReports.load()) +
          " failed=" + std::to_string(crash::PipelineState().FailedStage) + "\n");
    return 0;
}
