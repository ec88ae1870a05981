// The windows of a process, its message queue and the clipboard (run in a
// desktop of its own, tests/gui/run-in-desktop.sh).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crash/engine/ExceptionLog.h"
#include "rtl/Classes.h"
#include "rtl/SyncObjs.h"
#include "rtl/SysUtils.h"
#include "tests/support/ChildRun.h"

namespace {

constexpr wchar_t kPlainClass[] = L"ObjectsTestWindow";
constexpr UINT kCounted = WM_USER + 1;
int CountedMessages = 0;

void RegisterClasses()
{
    static const bool registered = [] {
        for (const wchar_t* name : {kPlainClass, L"TApplication", L"TAppBuilder"}) {
            WNDCLASSEXW windowClass{};
            windowClass.cbSize = sizeof windowClass;
            windowClass.lpfnWndProc = [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) WINAPI -> LRESULT {
                if (message == kCounted) ++CountedMessages;
                return DefWindowProcW(window, message, wParam, lParam);
            };
            windowClass.hInstance = GetModuleHandleW(nullptr);
            windowClass.lpszClassName = name;
            RegisterClassExW(&windowClass);
        }
        return true;
    }();
    (void)registered;
}

// Top-level windows made for one case, destroyed with it (owned ones first).
class TWindows {
public:
    TWindows() { RegisterClasses(); }
    ~TWindows()
    {
        for (auto window = FWindows.rbegin(); window != FWindows.rend(); ++window) DestroyWindow(*window);
    }
    HWND Add(const wchar_t* className, DWORD exStyle, RECT rect, bool visible, HWND owner = nullptr)
    {
        const HWND window = CreateWindowExW(
            exStyle | WS_EX_NOACTIVATE, className, L"", WS_POPUP | (visible ? WS_VISIBLE : 0), rect.left, rect.top,
            rect.right - rect.left, rect.bottom - rect.top, owner, nullptr, GetModuleHandleW(nullptr), nullptr);
        FWindows.push_back(window);
        return window;
    }
    HWND operator[](int index) const { return index < 0 ? nullptr : FWindows[index]; }

private:
    std::vector<HWND> FWindows;
};

void Pump()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

TEST(ProcessWindows, MainWindowIsTheFirstCandidateByShapeAndOwner)
{
    // Shapes of up to three windows, made in order (a later one lies above);
    // an owner is the index of an earlier window.
    struct TShape {
        const wchar_t* className;
        DWORD exStyle;
        int width, height;
        bool visible;
        int owner;
    };
    constexpr TShape kHiddenPlain{kPlainClass, 0, 200, 100, false, -1};
    constexpr TShape kHiddenTool{kPlainClass, WS_EX_TOOLWINDOW, 200, 100, false, -1};
    static const struct {
        const char* what;
        std::vector<TShape> windows;
        int found;  // the index of the window found, -1 for none
    } kCases[] = {
        {"a plain window", {{kPlainClass, 0, 200, 100, true, -1}}, 0},
        {"hidden", {kHiddenPlain}, -1},
        {"no width", {{kPlainClass, 0, 0, 100, true, -1}}, -1},
        {"no height", {{kPlainClass, 0, 200, 0, true, -1}}, -1},
        {"owned by a plain window", {kHiddenPlain, {kPlainClass, 0, 200, 100, true, 0}}, -1},
        {"a tool window", {{kPlainClass, WS_EX_TOOLWINDOW, 200, 100, true, -1}}, -1},
        {"a tool window with a taskbar button",
         {{kPlainClass, WS_EX_TOOLWINDOW | WS_EX_APPWINDOW, 200, 100, true, -1}},
         0},
        {"owned by an unowned tool window", {kHiddenTool, {kPlainClass, 0, 200, 100, true, 0}}, 1},
        {"owned by a tool window with a plain owner",
         {kHiddenPlain, {kPlainClass, WS_EX_TOOLWINDOW, 200, 100, false, 0}, {kPlainClass, 0, 200, 100, true, 1}},
         -1},
        {"owned by an application window",
         {{L"TApplication", 0, 0, 0, false, -1}, {kPlainClass, 0, 200, 100, true, 0}},
         1},
        {"two candidates: the upper one",
         {{kPlainClass, 0, 200, 100, true, -1}, {kPlainClass, 0, 200, 100, true, -1}},
         1},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        TWindows windows;
        for (const TShape& shape : c.windows)
            ASSERT_NE(windows.Add(shape.className, shape.exStyle, {50, 60, 50 + shape.width, 60 + shape.height},
                                  shape.visible, windows[shape.owner]),
                      nullptr);
        Pump();
        EXPECT_EQ(crash::FindProcessMainWindow(GetCurrentProcessId()), windows[c.found]);
    }
}

TEST(ProcessWindows, RectangleIsTheUnionOfTheVisibleWindows)
{
    RECT rect;
    crash::GetProcessWindowsRect(GetCurrentProcessId(), rect);
    EXPECT_EQ(std::vector<LONG>({rect.left, rect.top, rect.right, rect.bottom}), std::vector<LONG>({-1, -1, -1, -1}));

    TWindows windows;
    windows.Add(kPlainClass, 0, {10, 20, 110, 70}, true);
    windows.Add(kPlainClass, WS_EX_TOOLWINDOW, {300, 400, 350, 500}, true);
    windows.Add(kPlainClass, 0, {5, 5, 5, 600}, true);         // no width: not counted
    windows.Add(kPlainClass, 0, {600, 600, 900, 700}, false);  // hidden
    crash::GetProcessWindowsRect(GetCurrentProcessId(), rect);
    EXPECT_EQ(std::vector<LONG>({rect.left, rect.top, rect.right, rect.bottom}), std::vector<LONG>({10, 20, 350, 500}));
}

TEST(ProcessWindows, DevelopmentEnvironmentByItsWindowClass)
{
    EXPECT_FALSE(crash::IsIDEProcess(GetCurrentProcessId()));
    TWindows windows;
    windows.Add(L"TAppBuilder", 0, {0, 0, 10, 10}, false);
    EXPECT_TRUE(crash::IsIDEProcess(GetCurrentProcessId()));
    EXPECT_FALSE(crash::IsIDEProcess(0));
}

TEST(ProcessWindows, NewWindowsAreThoseMadeAfterTheSnapshot)
{
    TWindows windows;
    const HWND before = windows.Add(kPlainClass, 0, {0, 0, 10, 10}, false);
    crash::SnapshotProcessWindows();
    const HWND after = windows.Add(kPlainClass, 0, {0, 0, 10, 10}, false);
    EXPECT_FALSE(crash::IsNewWindow(before));
    EXPECT_TRUE(crash::IsNewWindow(after));
    EXPECT_TRUE(crash::IsOwnProcessWindow(after));
    EXPECT_FALSE(crash::IsOwnProcessWindow(GetDesktopWindow()));  // Wine: explorer's
    EXPECT_FALSE(crash::IsOwnProcessWindow(nullptr));
    crash::SnapshotProcessWindows();
    EXPECT_FALSE(crash::IsNewWindow(after));
}

TEST(ProcessWindows, OneMessageAtATimeAndTheQuitMessageStays)
{
    TWindows windows;
    const HWND window = windows.Add(kPlainClass, 0, {0, 0, 10, 10}, false);
    Pump();
    CountedMessages = 0;
    PostMessageW(window, kCounted, 0, 0);
    PostMessageW(window, kCounted, 0, 0);
    crash::ProcessOneMessage();
    EXPECT_EQ(CountedMessages, 1);
    crash::ProcessOneMessage();
    EXPECT_EQ(CountedMessages, 2);
    crash::ProcessOneMessage();  // an empty queue

    PostQuitMessage(7);
    crash::ProcessOneMessage();
    MSG message{};
    ASSERT_TRUE(PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(message.wParam, 7u);
}

TEST(ProcessWindows, MinimisedMainWindowIsRestoredFromAThreadThatDoesNotWait)
{
    TWindows windows;
    const HWND window = windows.Add(kPlainClass, WS_EX_APPWINDOW, {100, 100, 400, 300}, true);
    ShowWindow(window, SW_MINIMIZE);
    Pump();
    ASSERT_TRUE(IsIconic(window));
    ASSERT_EQ(crash::FindProcessMainWindow(GetCurrentProcessId()), window);

    // This thread, the window's, serves no messages while the other restores it.
    rtl::TEvent done(true, false);
    DWORD threadId = 0;
    rtl::KernelHandle thread(rtl::BeginThread(
        nullptr, 0,
        [](void* event) {
            crash::RestoreMainWindow();
            static_cast<rtl::TEvent*>(event)->SetEvent();
            return 0;
        },
        &done, 0, threadId));
    ASSERT_TRUE(thread);
    EXPECT_EQ(WaitForSingleObject(done.Handle(), 10000), WAIT_OBJECT_0);
    for (int waited = 0; IsIconic(window) && waited < 5000; waited += 20) {
        Pump();
        Sleep(20);
    }
    EXPECT_FALSE(IsIconic(window));
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(GetForegroundWindow(), window);
    WaitForSingleObject(thread.Get(), 10000);
}

TEST(Clipboard, TextIsReadBackByAnotherProcess)
{
    const std::string text = rtl::WideToAnsi(L"Бак №1: 120,5 л");
    crash::CopyTextToClipboard(text);
    testsupport::ChildRun run = testsupport::RunChild(L"ObjectsChild.exe", "clipboard");
    ASSERT_TRUE(run.Finished);
    EXPECT_EQ(run.Output, text);
    // An empty text leaves what is there.
    crash::CopyTextToClipboard("");
    run = testsupport::RunChild(L"ObjectsChild.exe", "clipboard");
    EXPECT_EQ(run.Output, text);
}

}  // namespace
