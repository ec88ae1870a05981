// The child program of the raise-path tests: each mode ends in a way a test
// program must not (terminate, a fault no one catches), and writes what the
// hooks saw to the result file given after the mode.
#include <windows.h>

#include <unwind.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "rtl/Classes.h"
#include "rtl/ExceptHooks.h"
#include "rtl/Startup.h"
#include "rtl/SysUtils.h"

// Counts the C runtime's allocations while a raise hook runs (the program is
// linked with --wrap=malloc, so the unwinder's own calls come here too).
extern "C" void* __real_malloc(size_t size);
volatile bool gCountMallocs = false;
volatile int gMallocs = 0;
extern "C" void* __wrap_malloc(size_t size)
{
    if (gCountMallocs) gMallocs = gMallocs + 1;
    return __real_malloc(size);
}

namespace {

wchar_t gResultFile[MAX_PATH];

void Write(const char* text)
{
    HANDLE file = CreateFileW(gResultFile, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
    WriteFile(file, "\n", 1, &written, nullptr);
    CloseHandle(file);
}

const char* WalkEndName(rtl::TWalkEnd end)
{
    switch (end) {
    case rtl::TWalkEnd::weCaught: return "caught";
    case rtl::TWalkEnd::weTerminate: return "terminate";
    default: return "nohandler";
    }
}

// The function every mode raises in; the hooks look for it on the stack.
__attribute__((noinline)) void Thrower()
{
    throw rtl::EConvertError("lost");
}

__attribute__((noinline)) void NoexceptCaller() noexcept
{
    Thrower();
    asm volatile("" ::: "memory");
}

BOOL CALLBACK ThrowingCodePageCallback(LPSTR)
{
    Thrower();
    return TRUE;
}

// Whether an unwinder walk from here passes a frame of `function`.
bool OnStack(const void* function)
{
    struct Search {
        const void* FFunction;
        bool FFound;
    } search{function, false};
    _Unwind_Backtrace(
        [](_Unwind_Context* context, void* parameter) {
            auto* s = static_cast<Search*>(parameter);
            void* ip = reinterpret_cast<void*>(_Unwind_GetIP(context));
            if (_Unwind_FindEnclosingFunction(ip) == s->FFunction) s->FFound = true;
            return _URC_NO_REASON;
        },
        &search);
    return search.FFound;
}

void RecordWalk(const rtl::TRaiseInfo& raise) noexcept
{
    static bool first = true;
    if (!first) return;
    first = false;
    const rtl::TWalkResult result = rtl::WalkHandlers(raise, nullptr, nullptr);
    char line[96];
    std::snprintf(line, sizeof line, "walk %s", WalkEndName(result.End));
    Write(line);
}

void ReportUnhandled(void* object, const std::type_info* type, void* address) noexcept
{
    char line[256];
    std::snprintf(line, sizeof line, "proc %s '%s' thrower-on-stack=%d address-in-thrower=%d",
                  rtl::ExceptionClassName(type).c_str(), rtl::ExceptionMessage(object, type).c_str(),
                  OnStack(reinterpret_cast<const void*>(&Thrower)) ? 1 : 0,
                  _Unwind_FindEnclosingFunction(address) == reinterpret_cast<void*>(&Thrower) ? 1 : 0);
    Write(line);
}

LONG ReportFilter(EXCEPTION_POINTERS* pointers) noexcept
{
    char line[96];
    std::snprintf(line, sizeof line, "filter %08lX",
                  static_cast<unsigned long>(pointers->ExceptionRecord->ExceptionCode));
    Write(line);
    return EXCEPTION_EXECUTE_HANDLER;
}

__attribute__((noinline)) int ReadThrough(const volatile int* pointer)
{
    return *pointer;
}

__attribute__((noinline)) int Recurse(int depth)
{
    volatile char page[4096];
    page[0] = static_cast<char>(depth);
    return depth > 1000000000 ? page[0] : Recurse(depth + 1) + page[0];
}

// A bare throw with no exception being handled: the C++ runtime terminates.
__attribute__((noinline)) void RethrowNothing()
{
    throw;
}

// An exception of another language's runtime: the C++ catch (...) takes it,
// but the C++ runtime has no object or type to tell for it.
void DeleteForeign(_Unwind_Reason_Code, _Unwind_Exception*) {}

__attribute__((noinline)) void RaiseForeign()
{
    static _Unwind_Exception foreign;
    std::memset(&foreign, 0, sizeof foreign);
    std::memcpy(&foreign.exception_class, "TESTFRGN", 8);
    foreign.exception_cleanup = DeleteForeign;
    _Unwind_RaiseException(&foreign);
}

int SynchronizeFromWorker(void*)
{
    rtl::Synchronize([] { Write("synchronized"); });
    return 0;
}

int ThreadThatThrows(void*)
{
    Thrower();
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const rtl::TProgramStartup programStartup;
    if (argc < 3) return 2;
    const std::wstring mode = argv[1];
    wcsncpy(gResultFile, argv[2], MAX_PATH - 1);
    rtl::RaiseHook = RecordWalk;
    rtl::ExceptProc = ReportUnhandled;
    rtl::UnhandledFilterProc = ReportFilter;
    if (mode == L"uncaught") {
        Thrower();
    } else if (mode == L"noexcept") {
        NoexceptCaller();
    } else if (mode == L"callback") {
        try {
            EnumSystemCodePagesA(ThrowingCodePageCallback, CP_INSTALLED);
        } catch (...) {
            Write("caught outside the callback");
        }
    } else if (mode == L"thread") {
        DWORD id = 0;
        HANDLE thread = rtl::BeginThread(nullptr, 0, ThreadThatThrows, nullptr, 0, id);
        WaitForSingleObject(thread, 30000);
        DWORD code = 0;
        GetExitCodeThread(thread, &code);
        char line[64];
        std::snprintf(line, sizeof line, "thread exit %lu", static_cast<unsigned long>(code));
        Write(line);
        return 0;
    } else if (mode == L"fault") {
        rtl::RaiseHook = nullptr;
        ReadThrough(nullptr);
        Write("fault returned");
    } else if (mode == L"fault-in-hook") {
        // A fault inside a hook is not thrown from (the hook's caller cannot
        // take an exception): the catch below is passed, the filter gets it.
        rtl::RaiseHook = [](const rtl::TRaiseInfo&) noexcept { ReadThrough(nullptr); };
        try {
            Thrower();
        } catch (...) {
            Write("caught");
        }
    } else if (mode == L"stack-overflow") {
        rtl::RaiseHook = nullptr;
        try {
            Recurse(0);
        } catch (...) {
            Write("caught a stack overflow");
        }
    } else if (mode == L"first-walk") {
        // The first raise of the process, walked from its hook.
        rtl::RaiseHook = [](const rtl::TRaiseInfo& raise) noexcept {
            gCountMallocs = true;
            const rtl::TWalkResult result = rtl::WalkHandlers(raise, nullptr, nullptr);
            gCountMallocs = false;
            char line[96];
            std::snprintf(line, sizeof line, "walk %s, %d allocations", WalkEndName(result.End), gMallocs);
            Write(line);
        };
        try {
            Thrower();
        } catch (...) {}
    } else if (mode == L"synchronize-first") {
        // No TThread and no Synchronize on the main thread before the worker
        // asks: only the main thread's message loop can serve it.
        DWORD id = 0;
        HANDLE thread = rtl::BeginThread(nullptr, 0, SynchronizeFromWorker, nullptr, 0, id);
        const DWORD deadline = GetTickCount() + 5000;
        bool ended = false;
        while (!ended) {
            const DWORD now = GetTickCount();
            if (static_cast<LONG>(deadline - now) <= 0) break;
            const DWORD wait = MsgWaitForMultipleObjects(1, &thread, FALSE, deadline - now, QS_ALLINPUT);
            ended = wait == WAIT_OBJECT_0;
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        }
        Write(ended ? "worker ended" : "worker still waiting");
        if (!ended) return 0;  // the worker waits forever
    } else if (mode == L"bare-rethrow") {
        RethrowNothing();
    } else if (mode == L"foreign-end-catch") {
        rtl::EndCatchHook = [](void* object, const std::type_info* type) noexcept {
            Write(object == nullptr && type == nullptr ? "end of catch: no object" : "end of catch: an object");
        };
        try {
            RaiseForeign();
        } catch (...) {
            Write("caught the foreign exception");
        }
    } else if (mode == L"fault-zlib") {
        rtl::RaiseHook = nullptr;
        try {
            inflate(reinterpret_cast<z_stream*>(16), Z_NO_FLUSH);
        } catch (...) {
            Write("caught zlib's fault");
        }
    } else if (mode == L"fault-sysdll") {
        // msvcrt is a system DLL here: its fault is no C++ throw, the catch
        // below never sees it.
        using StrLen = size_t(__cdecl*)(const char*);
        auto strLen =
            reinterpret_cast<StrLen>(reinterpret_cast<void*>(GetProcAddress(LoadLibraryW(L"msvcrt.dll"), "strlen")));
        try {
            strLen(reinterpret_cast<const char*>(16));
        } catch (...) {
            Write("caught a system DLL's fault");
        }
    }
    Write("main returned");
    return 0;
}
