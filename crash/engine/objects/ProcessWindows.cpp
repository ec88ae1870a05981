// The windows of a process: its main window, the rectangle they cover, the
// windows that are new since a snapshot, and serving the own queue.
#include "crash/engine/objects/ObjectsAndWindows.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace crash {
namespace {

// Runs `visit` for every top-level window of the process (Z order, topmost
// first) until it answers false. The visitor must not raise: it runs inside
// a Win32 callback.
template <class TVisit>
void ForEachProcessWindow(DWORD processId, TVisit visit)
{
    struct TSearch {
        DWORD FProcessId;
        TVisit* FVisit;
    } search{processId, &visit};
    ::EnumWindows(
        [](HWND window, LPARAM parameter) WINAPI -> BOOL {
            auto& s = *reinterpret_cast<TSearch*>(parameter);
            DWORD owner = 0;
            ::GetWindowThreadProcessId(window, &owner);
            return owner != s.FProcessId || (*s.FVisit)(window) ? TRUE : FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
}

bool HasClassName(HWND window, const char* name) noexcept
{
    char className[64] = {};
    return ::GetClassNameA(window, className, sizeof className) > 0 && std::strcmp(className, name) == 0;
}

bool HasExStyle(HWND window, LONG style) noexcept
{
    return (::GetWindowLongA(window, GWL_EXSTYLE) & style) != 0;
}

bool IsMainWindowCandidate(HWND window) noexcept
{
    RECT rect;
    if (!::IsWindowVisible(window) || !::GetWindowRect(window, &rect) || rect.right <= rect.left ||
        rect.bottom <= rect.top)
        return false;
    const HWND desktop = ::GetDesktopWindow();
    // An owner that is a tool window is a helper of the window it belongs to.
    HWND owner = ::GetWindow(window, GW_OWNER);
    if (owner != nullptr && owner != desktop && !HasClassName(owner, "TApplication") &&
        HasExStyle(owner, WS_EX_TOOLWINDOW))
        owner = ::GetWindow(owner, GW_OWNER);
    if (owner != nullptr && owner != desktop && !HasClassName(owner, "TApplication")) return false;
    return !HasExStyle(window, WS_EX_TOOLWINDOW) || HasExStyle(window, WS_EX_APPWINDOW);
}

// The own process's top-level windows at the last snapshot. Main thread only.
std::vector<HWND>& SnapshotWindows()
{
    static std::vector<HWND> windows;
    return windows;
}

}  // namespace

HWND UserWindowOrNone(HWND window) noexcept
{
    return window == ::GetDesktopWindow() ? nullptr : window;
}

HWND FindProcessMainWindow(DWORD processId)
{
    HWND found = nullptr;
    ForEachProcessWindow(processId, [&](HWND window) noexcept {
        if (!IsMainWindowCandidate(window)) return true;
        found = window;
        return false;
    });
    return found;
}

bool IsIDEProcess(DWORD processId)
{
    if (processId == 0) return false;
    bool found = false;
    ForEachProcessWindow(processId, [&](HWND window) noexcept {
        found = HasClassName(window, "TAppBuilder");
        return !found;
    });
    return found;
}

void GetProcessWindowsRect(DWORD processId, RECT& bounds)
{
    bounds = {INT_MAX, INT_MAX, -INT_MAX, -INT_MAX};
    bool any = false;
    ForEachProcessWindow(processId, [&](HWND window) noexcept {
        RECT rect;
        if (::IsWindowVisible(window) && ::GetWindowRect(window, &rect) && rect.right > rect.left) {
            bounds.left = std::min(bounds.left, rect.left);
            bounds.top = std::min(bounds.top, rect.top);
            bounds.right = std::max(bounds.right, rect.right);
            bounds.bottom = std::max(bounds.bottom, rect.bottom);
            any = true;
        }
        return true;
    });
    if (!any) bounds = {-1, -1, -1, -1};
}

void SnapshotProcessWindows()
{
    std::vector<HWND>& windows = SnapshotWindows();
    windows.clear();
    ForEachProcessWindow(::GetCurrentProcessId(), [&](HWND window) noexcept {
        try {
            windows.push_back(window);
            return true;
        } catch (...) {
            return false;  // out of memory: the snapshot stays partial
        }
    });
}

bool IsOwnProcessWindow(HWND window)
{
    DWORD owner = 0;
    return ::GetWindowThreadProcessId(window, &owner) != 0 && owner == ::GetCurrentProcessId();
}

bool IsNewWindow(HWND window)
{
    const std::vector<HWND>& windows = SnapshotWindows();
    return std::find(windows.begin(), windows.end(), window) == windows.end();
}

void ProcessOneMessage() noexcept
{
    try {
        MSG message;
        if (!::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) return;
        if (message.message == WM_QUIT) {
            // Taken from the queue, it would be lost to the loop that waits
            // for it, and the program could not end.
            ::PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    } catch (...) {}
}

void RestoreMainWindow()
{
    const HWND window = FindProcessMainWindow(::GetCurrentProcessId());
    if (window == nullptr || !::IsIconic(window)) return;
    ::PostMessageA(window, WM_SYSCOMMAND, SC_RESTORE, 0);
    ProcessOneMessage();
    ::ShowWindowAsync(window, SW_SHOWNORMAL);
    ::SetForegroundWindow(window);
}

}  // namespace crash
