// Finding controls by the name property of their windows.
#include "vcl/ControlNames.h"

#include "vcl/Controls.h"

namespace vcl {

namespace {

struct TSearch {
    DWORD ProcessId;  // 0: any process
    const std::wstring* Name;
    HWND Found;
};

BOOL CALLBACK MatchName(HWND window, LPARAM param) noexcept
{
    auto* search = reinterpret_cast<TSearch*>(param);
    try {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if ((search->ProcessId == 0 || owner == search->ProcessId) && ControlName(window) == *search->Name) {
            search->Found = window;
            return FALSE;
        }
    } catch (...) {
        return FALSE;  // out of memory: stop the search rather than cross the system's frames
    }
    return TRUE;
}

}  // namespace

std::wstring ControlName(HWND window)
{
    const auto atom = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(GetPropW(window, kNameProperty)));
    if (!atom) return {};
    wchar_t name[256];
    const UINT length = GlobalGetAtomNameW(atom, name, 256);
    return std::wstring(name, length);
}

HWND FindControl(HWND root, const std::wstring& name)
{
    if (!root) return nullptr;
    if (ControlName(root) == name) return root;
    TSearch search{0, &name, nullptr};
    // EnumChildWindows visits every descendant, not only the direct children.
    EnumChildWindows(root, MatchName, reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

HWND FindFormWindow(DWORD processId, const std::wstring& formName)
{
    TSearch search{processId, &formName, nullptr};
    EnumWindows(MatchName, reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

}  // namespace vcl
