// The child of the call-stack tests: an exception no handler takes reaches the
// runtime's exception procedure with the thrower's frames still on the
// stack; the procedure walks the stack and writes whether the thrower and its
// callers are there. The runtime then ends the program with exit code 1.
//
// usage: StackChild.exe terminate|noexcept RESULT-FILE
#include <windows.h>

#include <string>
#include <vector>

#include "crash/engine/EDebugData.h"
#include "crash/engine/ExceptionLog.h"
#include "rtl/Startup.h"
#include "rtl/SysUtils.h"
#include "tests/crash/engine/stack/StackOracle.h"

namespace {

std::wstring gResultFile;
std::vector<stacktest::Frame> gFrames;

void Write(const std::string& text)
{
    HANDLE file =
        ::CreateFileW(gResultFile.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    ::CloseHandle(file);
}

void WalkUnhandled(void*, const std::type_info*, void* address) noexcept
{
    try {
        // Here faults are not thrown: the walk's checks are all that guards it.
        const rtl::TThreadExceptState* state = rtl::CurrentExceptState();
        Write(state && state->HookDepth > 0 ? "in a hook\n" : "not in a hook\n");
        std::unique_ptr<crash::TVexlorStackList> stack = crash::GetCurrentCallStack();
        if (!stack || gFrames.empty() || !address) {
            Write("no walk\n");
            return;
        }
        // The thrower at its very throw.
        const auto raise = reinterpret_cast<std::uintptr_t>(address);
        const std::vector<stacktest::Frame> thrower = {{raise, stacktest::FunctionOf(raise - 1), true}};
        const std::string missing = stacktest::MissingFrames(*stack, thrower);
        Write(missing.empty() ? "thrower found\n" : missing + stacktest::Describe(*stack) + "\n");
        const std::vector<stacktest::Frame> callers(gFrames.begin() + 1, gFrames.end());
        const std::string missingCallers = stacktest::MissingFrames(*stack, callers);
        Write(missingCallers.empty() ? "callers found\n" : missingCallers + stacktest::Describe(*stack) + "\n");
    } catch (...) {
        Write("the walk raised\n");
    }
}

__attribute__((noinline)) void Thrower(int n)
{
    gFrames = stacktest::OwnFrames();
    if (n > 0) throw rtl::Exception("nobody takes this");
}

__attribute__((noinline)) void Middle(int n)
{
    Thrower(n + 1);
    asm volatile("" ::: "memory");
}

// The unwinder calls terminate when it meets this frame, from inside its own
// search, where the frame-pointer chain is broken.
__attribute__((noinline)) void NoexceptMiddle(int n) noexcept
{
    Thrower(n + 1);
    asm volatile("" ::: "memory");
}

__attribute__((noinline)) void Outer(bool noexceptBoundary)
{
    if (noexceptBoundary)
        NoexceptMiddle(1);
    else
        Middle(1);
    asm volatile("" ::: "memory");
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const rtl::TProgramStartup programStartup;
    if (argc < 3) return 2;
    const std::wstring mode = argv[1];
    gResultFile = argv[2];
    crash::CreateModuleLists();
    crash::InstallModuleDataReader();
    rtl::ExceptProc = WalkUnhandled;
    Outer(mode == L"noexcept");
    Write("returned\n");
    return 0;
}
