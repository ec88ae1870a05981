// Warnings: the last error, the debugger line with the address of the
// exception being handled, the box of a failed send, and the message built
// from the exception being handled.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "crash/engine/errors/ErrorsInternal.h"
#include "crash/engine/errors/InternalErrors.h"
#include "rtl/SysUtils.h"
#include "tests/support/DebugLines.h"

namespace crash {
namespace {

using testsupport::DebugLines;

struct Boxes {
    static inline int Count = 0;
    static inline std::string Text, Caption;
    static inline UINT Flags = 0;
    static inline int Answer = IDNO;
    static int Show(const std::string& text, const char* caption, UINT flags) noexcept
    {
        ++Count;
        Text = text;
        Caption = caption;
        Flags = flags;
        return Answer;
    }
};

HWND gProgressWindow = nullptr;

class Warnings : public ::testing::Test {
protected:
    void SetUp() override
    {
        Boxes::Count = 0;
        FOldBox = errors::MessageBoxProc.exchange(&Boxes::Show);
        InternalErrorSteps.SendProgressWindow.Set([]() -> HWND { return gProgressWindow; });
    }
    void TearDown() override
    {
        errors::MessageBoxProc.store(FOldBox);
        InternalErrorSteps.SendProgressWindow.Set(nullptr);
        ShowInternalSendErrors = false;
        gProgressWindow = nullptr;
        ClearLastVexlorLogError();
    }
    errors::TMessageBoxProc FOldBox = nullptr;
};

TEST_F(Warnings, TheLineAlwaysTheBoxForSendFailuresWithFlagAndDialog)
{
    static const struct {
        TVexlorLogErrorCode code;
        bool flag;
        bool dialog;
        bool box;
    } kCases[] = {
        // code            ShowInternalSendErrors  dialog open  box
        {eeLogError, true, true, false},  // a log file: never a box
        {eeShowError, true, true, false},        {eeEmailMAPIError, true, true, false},
        {eeEmailShellError, true, true, false},  {eeEmailSMTPError, true, true, true},
        {eeEmailSMTPError, false, true, false},  {eeEmailSMTPError, true, false, false},
        {eeWebHTTPError, true, true, true},      {eeWebTrakerError, true, true, true},
        {eeWebTrakerError, false, false, false},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(std::string(ErrorCodeName(c.code)) + (c.flag ? " flag" : "") + (c.dialog ? " dialog" : ""));
        ShowInternalSendErrors = c.flag;
        gProgressWindow = c.dialog ? ::GetDesktopWindow() : nullptr;
        Boxes::Count = 0;
        DebugLines lines;
        SetLastVexlorLogError(c.code, "it failed");
        ASSERT_EQ(DebugLines::Lines().size(), 1u);
        EXPECT_EQ(DebugLines::Lines()[0], "[WARNING] - Code: " + std::string(ErrorCodeName(c.code)) +
                                              " - Address: 00000000 - Message: \"it failed\"");
        EXPECT_EQ(Boxes::Count, c.box ? 1 : 0);
        if (c.box) {
            EXPECT_EQ(Boxes::Text, "it failed");
            EXPECT_EQ(Boxes::Caption, "Error.");
            EXPECT_EQ(Boxes::Flags, 0x242010u);
        }
        EXPECT_EQ(GetLastVexlorLogErrorCode(), c.code);
        EXPECT_EQ(GetLastVexlorLogErrorMsg(), "it failed");
    }
    ClearLastVexlorLogError();
    EXPECT_EQ(GetLastVexlorLogErrorCode(), eeNone);
    EXPECT_EQ(GetLastVexlorLogErrorMsg(), "");
}

TEST_F(Warnings, CodeNames)
{
    EXPECT_EQ(ErrorCodeName(eeNone), "eeNone");
    EXPECT_EQ(ErrorCodeName(eeWebHTTPSError), "eeWebHTTPSError");
    EXPECT_EQ(ErrorCodeName(eeWebTrakerError), "eeWebTrakerError");
    EXPECT_EQ(ErrorCodeName(static_cast<TVexlorLogErrorCode>(10)), "");
    DebugLines lines;
    SetLastVexlorLogError(static_cast<TVexlorLogErrorCode>(200), "odd");
    ASSERT_EQ(DebugLines::Lines().size(), 1u);
    EXPECT_EQ(DebugLines::Lines()[0], "[WARNING] - Code:  - Address: 00000000 - Message: \"odd\"");
}

__attribute__((noinline)) void ThrowDiskFull()
{
    throw rtl::Exception("disk full");
}

TEST_F(Warnings, TheAddressIsTheHandledRaises)
{
    DebugLines lines;
    std::uintptr_t raised = 0;
    try {
        ThrowDiskFull();
    } catch (const rtl::Exception& e) {
        raised = reinterpret_cast<std::uintptr_t>(e.RaiseAddress());
        SetLastVexlorLogError(eeLogError, "while handling");
    }
    ASSERT_NE(raised, 0u);
    ASSERT_EQ(DebugLines::Lines().size(), 1u);
    EXPECT_EQ(DebugLines::Lines()[0],
              "[WARNING] - Code: eeLogError - Address: " + errors::Hex8(raised) + " - Message: \"while handling\"");
}

TEST_F(Warnings, FromTheExceptionBeingHandled)
{
    const auto from = [](auto raise) {
        try {
            raise();
        } catch (...) {
            SetLastVexlorLogErrorFromException(eeWebFTPError, "Upload");
        }
        return GetLastVexlorLogErrorMsg();
    };
    EXPECT_EQ(from([] { throw rtl::EConvertError("not a number"); }), "[Upload] not a number");
    EXPECT_EQ(from([] { throw std::out_of_range("index 7"); }), "[Upload] index 7");
    EXPECT_EQ(from([] { throw 42; }), "General 'Upload' error.");
    EXPECT_EQ(from([] { throw rtl::TObject(); }), "General 'Upload' error.");
    EXPECT_EQ(GetLastVexlorLogErrorCode(), eeWebFTPError);
    // Nothing being handled.
    SetLastVexlorLogErrorFromException(eeLogError, "Save");
    EXPECT_EQ(GetLastVexlorLogErrorMsg(), "General 'Save' error.");
}

}  // namespace
}  // namespace crash
