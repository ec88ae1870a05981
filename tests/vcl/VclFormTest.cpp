// Window test from another process: starts the demonstration program, finds
// its controls by name, types into edits through their key filters, clicks,
// edits a grid cell, sends the device-change message, checks the exception
// display of a click handler and of a timer, and takes a screenshot.
//
// usage: VclFormTest.exe PATH-TO-VclDemo.exe
#include <windows.h>

#include <cstdio>
#include <string>

#include "rtl/Startup.h"
#include "tests/support/GuiTestSupport.h"
#include "vcl/ControlNames.h"

namespace {

using testsupport::Check;
using testsupport::CheckEqual;
using testsupport::CheckScreenshot;
using testsupport::Formatted;
using testsupport::Scaled;
using testsupport::Utf8;

int gFailures = 0;

std::wstring WindowText(HWND window)
{
    wchar_t text[512] = {};
    // WM_GETTEXT rather than GetWindowTextW, which does not ask another process's window.
    SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, Scaled(5000),
                        nullptr);
    return text;
}

void Type(HWND window, const wchar_t* text)
{
    for (; *text; ++text) SendMessageW(window, WM_CHAR, *text, 1);
}

// The control's rectangle in its parent's client area.
RECT ParentRect(HWND window)
{
    RECT rect{};
    GetWindowRect(window, &rect);
    MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// Checks where the control sits in its parent's client area.
void CheckRect(HWND window, int left, int top, int width, int height, const std::string& what)
{
    const RECT rect = ParentRect(window);
    const bool same =
        rect.left == left && rect.top == top && rect.right - rect.left == width && rect.bottom - rect.top == height;
    Check(same, what,
          window ? Formatted("%ld, %ld, %ld x %ld", rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top)
                 : "no such control",
          gFailures);
}

// A window as the report names it: its control name, if it has one.
std::string Named(HWND window)
{
    if (!window) return "no window";
    const std::wstring name = vcl::ControlName(window);
    return name.empty() ? Formatted("window %p", static_cast<void*>(window)) : Utf8(name);
}

bool Visible(HWND window)
{
    return window && IsWindowVisible(window);
}

struct TBoxSearch {
    DWORD ProcessId;
    HWND Found;
};

BOOL CALLBACK FindBox(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<TBoxSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t className[32] = {};
    GetClassNameW(window, className, 32);
    if (owner == search->ProcessId && std::wstring(className) == L"#32770" && IsWindowVisible(window)) {
        search->Found = window;
        return FALSE;
    }
    return TRUE;
}

// A message box of the process, waiting up to timeoutMs for it.
HWND WaitForMessageBox(DWORD processId, DWORD timeoutMs)
{
    for (DWORD waited = 0;; waited += 50) {
        TBoxSearch search{processId, nullptr};
        EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
        if (search.Found || waited >= Scaled(timeoutMs)) return search.Found;
        Sleep(50);
    }
}

BOOL CALLBACK FindIcon(HWND window, LPARAM param)
{
    wchar_t className[32] = {};
    GetClassNameW(window, className, 32);
    if (_wcsicmp(className, L"Static") == 0 && (GetWindowLongW(window, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
        IsWindowVisible(window) && SendMessageW(window, STM_GETICON, 0, 0) != 0) {
        *reinterpret_cast<bool*>(param) = true;
        return FALSE;
    }
    return TRUE;
}

// The box shows an icon: a visible icon control holding one. (The control's
// identifier differs: 20 on Windows, 0x440 under Wine.)
bool HasIcon(HWND box)
{
    bool found = false;
    EnumChildWindows(box, FindIcon, reinterpret_cast<LPARAM>(&found));
    return found;
}

// Checks a message box's caption, text and error icon, then presses OK.
void CheckErrorBox(DWORD processId, const wchar_t* text, const char* what, const wchar_t* shot = nullptr)
{
    HWND box = WaitForMessageBox(processId, 5000);
    if (!Check(box != nullptr, what, "no message box after 5 s", gFailures)) return;
    CheckEqual(WindowText(box), L"Демо", "  the box's caption is the application's title", gFailures);
    CheckEqual(WindowText(GetDlgItem(box, 0xFFFF)), text, "  the box shows the exception's message", gFailures);
    Check(HasIcon(box), "  the box shows an icon", "no icon", gFailures);
    if (shot) CheckScreenshot(shot, gFailures);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    for (DWORD waited = 0; waited < Scaled(5000) && IsWindow(box); waited += 50) Sleep(50);
}

// A click at a point of the screen, through the system's input queue. The
// position travels with the button events (absolute coordinates) rather than
// being set before them with SetCursorPos. Under Wine the cursor position is
// also moved by the program's own X driver, which hands the X server's report
// of each earlier pointer warp (and of where the pointer stood at the start)
// to the system whenever it gets round to it; under load such a report came
// after the next SetCursorPos and moved the cursor back, so that the buttons,
// which took the cursor's position, clicked where the click before had gone.
void ClickAt(POINT screen)
{
    const long long width = GetSystemMetrics(SM_CXSCREEN);
    const long long height = GetSystemMetrics(SM_CYSCREEN);
    INPUT input[2] = {};
    for (INPUT& event : input) {
        event.type = INPUT_MOUSE;
        // 0..65535 across the screen, rounded up so that it maps back to this pixel.
        event.mi.dx = static_cast<LONG>((screen.x * 65536 + width - 1) / width);
        event.mi.dy = static_cast<LONG>((screen.y * 65536 + height - 1) / height);
    }
    input[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTDOWN;
    input[1].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTUP;
    SendInput(2, input, sizeof(INPUT));
}

// Polls the condition for up to 5 s; true once it holds.
template <class TCondition>
bool WaitFor(TCondition condition)
{
    for (DWORD waited = 0; waited < Scaled(5000); waited += 20) {
        if (condition()) return true;
        Sleep(20);
    }
    return condition();
}

// The window with the keyboard focus in the thread.
HWND FocusOf(DWORD threadId)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(threadId, &info) ? info.hwndFocus : nullptr;
}

// Waits for the focus to come to the window, and checks it.
bool CheckFocus(DWORD threadId, HWND window, const std::string& what)
{
    WaitFor([&] { return FocusOf(threadId) == window; });
    const HWND focus = FocusOf(threadId);
    return Check(focus == window, what, "the focus is on " + Named(focus), gFailures);
}

void PressKey(WORD virtualKey)
{
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_KEYBOARD;
    input[0].ki.wVk = input[1].ki.wVk = virtualKey;
    input[0].ki.wScan = input[1].ki.wScan = static_cast<WORD>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC));
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof(INPUT));
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const rtl::TProgramStartup programStartup;
    if (argc < 2) {
        std::printf("usage: VclFormTest.exe PATH-TO-VclDemo.exe\n");
        return 2;
    }
    std::wstring commandLine = L"\"" + std::wstring(argv[1]) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        std::printf("FAILED: cannot start the demonstration program (error %lu)\n", GetLastError());
        return 1;
    }
    WaitForInputIdle(process.hProcess, 10000);

    HWND form = nullptr;
    for (DWORD waited = 0; waited < Scaled(10000) && !(form && IsWindowVisible(form)); waited += 50) {
        form = vcl::FindFormWindow(process.dwProcessId, L"DemoForm");
        Sleep(50);
    }
    if (!Check(form != nullptr, "the form window is found by its name", "no visible form named DemoForm after 10 s",
               gFailures)) {
        TerminateProcess(process.hProcess, 1);
        return 1;
    }
    Sleep(300);  // the first paint

    // Geometry from the description.
    RECT client{};
    GetClientRect(form, &client);
    Check(client.right == 420 && client.bottom == 330, "the client area is 420 x 330",
          Formatted("%ld x %ld", client.right, client.bottom), gFailures);
    const wchar_t* const names[] = {L"Label2",      L"SerNum",   L"GroupBox1",   L"Edit1",        L"imStatRele",
                                    L"cbNumberLLS", L"edBak",    L"edSizeBak",   L"sgTable",      L"btApply",
                                    L"btFail",      L"lbResult", L"CommandInfo", L"InplaceEditor"};
    for (const wchar_t* name : names) {
        const std::string what = "control " + std::string(name, name + wcslen(name)) + " is found by its name";
        Check(vcl::FindControl(form, name) != nullptr, what, "no window of that name", gFailures);
    }
    HWND edit1 = vcl::FindControl(form, L"Edit1");
    HWND groupBox1 = vcl::FindControl(form, L"GroupBox1");
    Check(GetParent(edit1) == groupBox1, "Edit1 is a child window of GroupBox1",
          "its parent is " + Named(GetParent(edit1)), gFailures);
    CheckRect(edit1, 8, 35, 100, 21, "Edit1 sits at 8, 35, 100 x 21 in its group box");
    CheckRect(vcl::FindControl(form, L"SerNum"), 62, 8, 72, 20, "SerNum sits at 62, 8, 72 x 20");
    CheckRect(vcl::FindControl(form, L"CommandInfo"), -1, 306, 422, 24, "CommandInfo sits at -1, 306, 422 x 24");
    HWND combo = vcl::FindControl(form, L"cbNumberLLS");
    CheckRect(combo, 8, 175, 127, 22, "the closed drop-down list is 127 x 22");
    CheckEqual(WindowText(vcl::FindControl(form, L"CommandInfo")), L"Устройство не подключено",
               "OnShow ran: the status line is set", gFailures);

    // Key filters. Edit1 swallows the point; edBak cancels letters by the silent abort.
    SendMessageW(edit1, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
    Type(edit1, L"12.,5x");
    CheckEqual(WindowText(edit1), L"12,5", "Edit1 takes 12,5 and swallows the point and the letter", gFailures);
    HWND edBak = vcl::FindControl(form, L"edBak");
    SendMessageW(edBak, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
    Type(edBak, L"4a0,\b5");
    CheckEqual(WindowText(edBak), L"45", "edBak drops the cancelled keys and takes backspace", gFailures);
    HWND abortBox = WaitForMessageBox(process.dwProcessId, 300);
    Check(abortBox == nullptr, "the silent abort shows nothing",
          abortBox ? "a box that reads \"" + Utf8(WindowText(GetDlgItem(abortBox, 0xFFFF))) + "\"" : "", gFailures);
    HWND edSizeBak = vcl::FindControl(form, L"edSizeBak");
    Type(edSizeBak, L"12345678");
    CheckEqual(WindowText(edSizeBak), L"123456", "edSizeBak takes at most 6 characters", gFailures);

    // The grid: a click on cell (1, 3), typing opens the editor, Enter keeps the text.
    HWND grid = vcl::FindControl(form, L"sgTable");
    const LPARAM cell13 = MAKELPARAM(28 + 20, 3 * 21 + 8);
    SendMessageW(grid, WM_LBUTTONDOWN, MK_LBUTTON, cell13);
    SendMessageW(grid, WM_LBUTTONUP, 0, cell13);
    SendMessageW(grid, WM_CHAR, L'7', 1);
    HWND editor = vcl::FindControl(form, L"InplaceEditor");
    Check(Visible(editor), "typing into the grid opens the cell editor", editor ? "hidden" : "no editor", gFailures);
    Type(editor, L"5");
    SendMessageW(editor, WM_KEYDOWN, VK_RETURN, 1);
    Check(!Visible(editor), "Enter closes the cell editor", "still open", gFailures);
    // A shift-click extends the selection to cell (2, 5).
    const LPARAM cell25 = MAKELPARAM(28 + 101 + 20, 5 * 21 + 8);
    SendMessageW(grid, WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, cell25);
    SendMessageW(grid, WM_LBUTTONUP, MK_SHIFT, cell25);

    SendMessageW(combo, CB_SETCURSEL, 2, 0);
    SendMessageW(vcl::FindControl(form, L"btApply"), BM_CLICK, 0, 0);
    CheckEqual(WindowText(vcl::FindControl(form, L"lbResult")),
               L"Edit1=12,5;edBak=45;edSizeBak=123456;LLS=2;cell=75;current=;row=5;sel=1,3,2,5",
               "the click handler sees the texts, the list, the edited cell and the selection", gFailures);

    // The same through the system's input queue, as the operator does it: a
    // mouse click into cell (1, 6), the keys 4, 2 and Enter, a click on btApply.
    // This passes the program's message loop (translation, dialog keys).
    POINT cell16{28 + 20, 6 * 21 + 8};
    ClientToScreen(grid, &cell16);
    // Each step waits for its effect: the program may be slow under load.
    ClickAt(cell16);
    CheckFocus(process.dwThreadId, grid, "  real input: the click puts the focus into the grid");
    PressKey('4');
    WaitFor([&] { return Visible(editor) && FocusOf(process.dwThreadId) == editor; });
    CheckFocus(process.dwThreadId, editor, "  the key 4 opens the cell editor");
    PressKey('2');
    WaitFor([&] { return WindowText(editor) == L"42"; });
    CheckEqual(WindowText(editor), L"42", "  the key 2 goes into the editor", gFailures);
    PressKey(VK_RETURN);
    WaitFor([&] { return !Visible(editor); });
    Check(!Visible(editor), "  Enter closes the editor", "still open", gFailures);
    RECT apply{};
    GetWindowRect(vcl::FindControl(form, L"btApply"), &apply);
    ClickAt(POINT{(apply.left + apply.right) / 2, (apply.top + apply.bottom) / 2});
    HWND resultLabel = vcl::FindControl(form, L"lbResult");
    const std::wstring typed = L"Edit1=12,5;edBak=45;edSizeBak=123456;LLS=2;cell=75;current=42;row=6;sel=1,6,1,6";
    WaitFor([&] { return WindowText(resultLabel) == typed; });
    CheckEqual(WindowText(resultLabel), typed, "real input: a click, typed keys and Enter edit the cell", gFailures);
    Check(!Visible(editor), "  and the editor is closed", "still open", gFailures);

    // Tab moves the focus in creation order, into and out of the group boxes.
    RECT edit1Rect{};
    GetWindowRect(edit1, &edit1Rect);
    ClickAt(POINT{edit1Rect.left + 5, edit1Rect.top + 5});
    CheckFocus(process.dwThreadId, edit1, "a click puts the focus into Edit1");
    PressKey(VK_TAB);
    CheckFocus(process.dwThreadId, combo, "Tab goes from Edit1 to the drop-down list");
    PressKey(VK_TAB);
    CheckFocus(process.dwThreadId, edBak, "and on to edBak");

    // The device-change message reaches the form's own dispatch.
    SendMessageW(form, WM_DEVICECHANGE, 7 /* DBT_DEVNODES_CHANGED */, 0);
    SendMessageW(form, WM_DEVICECHANGE, 7, 0);
    CheckEqual(WindowText(vcl::FindControl(form, L"lbDevices")), L"Изменений: 2",
               "WM_DEVICECHANGE reaches the overridden dispatch", gFailures);

    // The owner-drawn list, open.
    PostMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
    Sleep(300);
    CheckScreenshot(L"vcl-dropdown", gFailures);
    PostMessageW(combo, CB_SHOWDROPDOWN, FALSE, 0);
    Sleep(200);

    SendMessageW(vcl::FindControl(form, L"btPump"), BM_CLICK, 0, 0);
    Sleep(300);
    CheckScreenshot(L"vcl-demo", gFailures);

    // Exceptions of a click handler and of a timer are shown, and the program goes on.
    PostMessageW(vcl::FindControl(form, L"btFail"), BM_CLICK, 0, 0);
    CheckErrorBox(process.dwProcessId, L"Сбой: проверка", "an exception of a click handler is shown", L"vcl-error-box");
    PostMessageW(vcl::FindControl(form, L"btTimerFail"), BM_CLICK, 0, 0);
    CheckErrorBox(process.dwProcessId, L"Сбой таймера", "an exception of a timer handler is shown");
    Check(Visible(form), "the form is still there", "gone", gFailures);

    PostMessageW(form, WM_CLOSE, 0, 0);
    const bool ended = WaitForSingleObject(process.hProcess, Scaled(10000)) == WAIT_OBJECT_0;
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    Check(ended && exitCode == 0, "closing the main form ends the program with exit code 0",
          ended ? Formatted("exit code %lu", exitCode) : "still running after 10 s", gFailures);
    if (!ended) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::printf("%d failure(s)\n", gFailures);
    return gFailures == 0 ? 0 : 1;
}
