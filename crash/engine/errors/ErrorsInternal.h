// Internals of the warnings and the internal-error hook shared by the folder's
// files and its tests: the exception being handled, and the seams the tests
// replace (message boxes, the debugger test).
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <typeinfo>

namespace crash::errors {

// The exception being handled on this thread, as a hook sees it.
struct TCurrentException {
    void* Object = nullptr;  // the thrown object; null when nothing is handled
    const std::type_info* Type = nullptr;
    // The return address of its raise, when the thread's last raise is this
    // object's; else 0.
    std::uintptr_t Address = 0;
    // Its message when it is an exception of ours or of the standard library.
    bool HasMessage = false;
    std::string Message;
    std::string ClassName;   // with HasMessage
    bool IsLanguage = true;  // raised by code, not made from a fault
    bool IsAbort = false;    // the silent abort, or a socket error
};
TCurrentException CurrentException();

using TMessageBoxProc = int (*)(const std::string& text, const char* caption, UINT flags) noexcept;
using TDebuggerTest = bool (*)() noexcept;

// MessageBoxA without an owner; tests answer themselves.
extern std::atomic<TMessageBoxProc> MessageBoxProc;
// IsDebuggerAttached; a child started under a debugger loop sees none under
// Wine, so tests answer themselves.
extern std::atomic<TDebuggerTest> DebuggerTest;

// "%08X" of the value.
std::string Hex8(std::uintptr_t value);

}  // namespace crash::errors
