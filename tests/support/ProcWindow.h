// A window of a class made for one window procedure, for child programs that
// need a procedure the system calls (a message-only window by default).
#pragma once
#include <windows.h>

namespace testsupport {

inline HWND CreateProcWindow(WNDPROC proc, const wchar_t* className, DWORD style = 0, HWND parent = HWND_MESSAGE,
                             RECT rect = {}, const wchar_t* caption = L"")
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = proc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = className;
    ::RegisterClassW(&windowClass);
    return ::CreateWindowExW(0, className, caption, style, rect.left, rect.top, rect.right - rect.left,
                             rect.bottom - rect.top, parent, nullptr, windowClass.hInstance, nullptr);
}

// Sends the message to a message-only window of the procedure, then destroys it.
inline void SendToProcWindow(WNDPROC proc, const wchar_t* className, UINT message)
{
    const HWND window = CreateProcWindow(proc, className);
    ::SendMessageW(window, message, 0, 0);
    ::DestroyWindow(window);
}

}  // namespace testsupport
