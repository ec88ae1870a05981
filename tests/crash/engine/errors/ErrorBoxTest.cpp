// The "Error." box of a failed send, shown for real while the send-progress
// dialog is open (run in a desktop of its own, tests/gui/run-in-desktop.sh):
// another thread finds it, reads its text and closes it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "crash/engine/errors/InternalErrors.h"
#include "tests/support/TimeScale.h"

namespace {

HWND gProgress = nullptr;

struct Seen {
    bool Found = false;
    std::string Text;
};

BOOL CALLBACK ReadStatic(HWND child, LPARAM parameter)
{
    char className[16] = {}, text[512] = {};
    ::GetClassNameA(child, className, sizeof className);
    ::GetWindowTextA(child, text, sizeof text);
    auto* seen = reinterpret_cast<Seen*>(parameter);
    if (::lstrcmpiA(className, "Static") == 0 && std::string(text).size() > seen->Text.size()) seen->Text = text;
    return TRUE;
}

DWORD WINAPI CloseTheBox(void* parameter)
{
    auto* seen = static_cast<Seen*>(parameter);
    const DWORD until = ::GetTickCount() + testsupport::Scaled(15000);
    while (static_cast<LONG>(until - ::GetTickCount()) > 0) {
        if (HWND box = ::FindWindowA("#32770", "Error.")) {
            ::Sleep(200);  // let it finish drawing
            seen->Found = true;
            ::EnumChildWindows(box, ReadStatic, reinterpret_cast<LPARAM>(seen));
            ::PostMessageA(box, WM_COMMAND, IDOK, 0);
            return 0;
        }
        ::Sleep(50);
    }
    // The box never came: the warning would wait for it for ever.
    std::fprintf(stderr, "no \"Error.\" box appeared\n");
    ::ExitProcess(3);
}

TEST(ErrorBox, ASendFailureShowsItsMessageWhileTheProgressDialogIsOpen)
{
    gProgress = ::CreateWindowExA(0, "STATIC", "Sending the report", WS_OVERLAPPED | WS_VISIBLE, 10, 10, 300, 80,
                                  nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(gProgress, nullptr);
    crash::InternalErrorSteps.SendProgressWindow.Set([]() -> HWND { return gProgress; });
    crash::ShowInternalSendErrors = true;
    Seen seen;
    HANDLE watcher = ::CreateThread(nullptr, 0, CloseTheBox, &seen, 0, nullptr);
    crash::SetLastVexlorLogError(crash::eeEmailSMTPError, "The server refused the message.");
    EXPECT_EQ(::WaitForSingleObject(watcher, testsupport::Scaled(20000)), WAIT_OBJECT_0);
    ::CloseHandle(watcher);
    crash::ShowInternalSendErrors = false;
    crash::InternalErrorSteps.SendProgressWindow.Set(nullptr);
    ::DestroyWindow(gProgress);
    // Wine: the box never gets WS_EX_TOPMOST, MB_TOPMOST or not; the flags
    // themselves are checked where the boxes are a seam (WarningsTest).
    EXPECT_TRUE(seen.Found);
    EXPECT_EQ(seen.Text, "The server refused the message.");
    EXPECT_EQ(crash::GetLastVexlorLogErrorCode(), crash::eeEmailSMTPError);
}

}  // namespace
