// The main window.
#include "app/main.h"

#include <cwchar>

namespace app {

TProgramVersion ProgramVersion;

namespace {
constexpr wchar_t kClassName[] = L"TMainForm";
constexpr int kClientWidth = 577;
constexpr int kClientHeight = 510;
}  // namespace

TMainForm::TMainForm() = default;

TMainForm::~TMainForm()
{
    if (FHandle)
        DestroyWindow(FHandle);
}

bool TMainForm::Show(int showCommand)
{
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kClassName;
    RegisterClassExW(&windowClass);

    // A fixed single border around a client area of the form's size.
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT bounds{0, 0, kClientWidth, kClientHeight};
    AdjustWindowRectEx(&bounds, style, FALSE, WS_EX_APPWINDOW);

    wchar_t caption[128];
    std::swprintf(caption, 128, L"Zarvonix Волюметра %d.%d.%d", static_cast<int>(ProgramVersion.Major),
                  static_cast<int>(ProgramVersion.Minor), static_cast<int>(ProgramVersion.Release));
    FHandle = CreateWindowExW(WS_EX_APPWINDOW, kClassName, caption, style, CW_USEDEFAULT, CW_USEDEFAULT,
                              bounds.right - bounds.left, bounds.bottom - bounds.top, nullptr, nullptr,
                              instance, this);
    if (!FHandle)
        return false;
    ShowWindow(FHandle, showCommand);
    UpdateWindow(FHandle);
    return true;
}

LRESULT CALLBACK TMainForm::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* form = static_cast<TMainForm*>(create->lpCreateParams);
        form->FHandle = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<TMainForm*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!form)
        return DefWindowProcW(window, message, wParam, lParam);
    return form->Dispatch(message, wParam, lParam);
}

LRESULT TMainForm::Dispatch(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
        SetWindowLongPtrW(FHandle, GWLP_USERDATA, 0);
        FHandle = nullptr;
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(FHandle, message, wParam, lParam);
    }
}

}  // namespace app
