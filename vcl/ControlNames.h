// Finding the controls of a form by name, from this process or another one:
// every control's window carries its name as a global atom in the window
// property kNameProperty (see vcl/Controls.h). Any thread; nothing but
// std::bad_alloc is thrown.
#pragma once
#include <windows.h>

#include <string>

namespace vcl {

// The control name of a window; empty for a window that has none.
std::wstring ControlName(HWND window);

// The window named name: root itself or any window below it; null if none.
HWND FindControl(HWND root, const std::wstring& name);

// The top-level window of the process whose control name is formName; null
// if none.
HWND FindFormWindow(DWORD processId, const std::wstring& formName);

}  // namespace vcl
