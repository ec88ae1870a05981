// Window tests in this process (run under Xvfb): fonts of the windows,
// key handlers, exceptions at the window-procedure and timer boundaries,
// transparency, anchors and the grid's editor and scrolling.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "vcl/ControlNames.h"
#include "vcl/Forms.h"
#include "vcl/Grid.h"
#include "vcl/StdControls.h"
#include "rtl/Classes.h"
#include "tests/support/TimeScale.h"

namespace {

// Records the exceptions that reach the application, instead of message boxes.
class ExceptionLog {
public:
    ExceptionLog()
    {
        vcl::Application->OnException = [this](rtl::TObject*, std::exception_ptr error) {
            Messages.push_back(vcl::TApplication::ExceptionMessage(error));
        };
    }
    ~ExceptionLog() { vcl::Application->OnException = nullptr; }
    std::vector<std::wstring> Messages;
};

// Serves messages for a while, or until done() holds.
template <class TDone>
bool PumpUntil(TDone done, DWORD timeoutMs = 3000)
{
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > testsupport::Scaled(timeoutMs)) return false;
        vcl::Application->ProcessMessages();
        Sleep(5);
    }
    return true;
}

class TTestForm : public vcl::TForm {
public:
    TTestForm() : TForm(L"UNUSED")
    {
        RegisterField("Edit1", Edit1);
        RegisterField("Title", Title);
        RegisterField("Status", Status);
        RegisterField("Go", Go);
        RegisterField("Grid", Grid);
        RegisterField("Ticker", Ticker);
        RegisterField("Panel", Panel);
        RegisterField("Shown", Shown);
        RegisterHandler("Edit1KeyPress", &TTestForm::Edit1KeyPress);
        RegisterHandler("GoClick", &TTestForm::GoClick);
        RegisterHandler("TickerTimer", &TTestForm::TickerTimer);
        RegisterHandler("FormClose", &TTestForm::FormClose);
    }

    // Upper-cases letters, swallows '#', cancels '!' silently and fails on '?'.
    void Edit1KeyPress(rtl::TObject*, wchar_t& key)
    {
        if (key == L'#')
            key = 0;
        else if (key == L'!')
            rtl::Abort();
        else if (key == L'?')
            throw rtl::Exception("no questions");
        else
            key = static_cast<wchar_t>(reinterpret_cast<UINT_PTR>(CharUpperW(reinterpret_cast<LPWSTR>(key))));
    }
    void GoClick(rtl::TObject*)
    {
        ++Clicks;
        throw std::runtime_error("click failed");
    }
    void TickerTimer(rtl::TObject*)
    {
        ++Ticks;
        if (!QuietTicks) throw rtl::Exception("tick failed");
    }
    void FormClose(rtl::TObject*, vcl::TCloseAction& action) { action = KeepOpen ? vcl::caNone : vcl::caHide; }

    vcl::TEdit* Edit1 = nullptr;
    vcl::TLabel* Title = nullptr;
    vcl::TLabel* Status = nullptr;
    vcl::TButton* Go = nullptr;
    vcl::TStringGrid* Grid = nullptr;
    vcl::TTimer* Ticker = nullptr;
    vcl::TPanel* Panel = nullptr;
    vcl::TLabel* Shown = nullptr;
    int Clicks = 0;
    int Ticks = 0;
    bool KeepOpen = false;
    std::atomic<bool> QuietTicks{false};
};

constexpr char kTestForm[] = R"(TTestForm TestForm {
    Caption = "Test"
    ClientSize = 400, 300
    BorderStyle = sizeable
    OnClose = FormClose
    TLabel Title { Bounds = 8, 8, 48, 16  Caption = "Номер:"  FontSize = 13  FontStyle = bold }
    TEdit Edit1 { Bounds = 8, 30, 100, 21  OnKeyPress = Edit1KeyPress  MaxLength = 3 }
    TButton Go { Bounds = 8, 60, 100, 28  Caption = "Go"  OnClick = GoClick }
    TPanel Panel {
        Bounds = 120, 8, 120, 60
        Color = green
        FontName = "MS Sans Serif"
        FontSize = 16
        FontStyle = bold
        BevelOuter = none
        TLabel Shown { Bounds = 10, 10, 100, 30  Caption = ""  Color = white  Transparent = true }
    }
    TStringGrid Grid {
        Bounds = 120, 80, 252, 150
        ColCount = 3
        RowCount = 25
        FixedRows = 3
        FixedCols = 0
        ColWidths = 27, 100, 100
        DefaultRowHeight = 20
        Options = fixedvertline, fixedhorzline, vertline, horzline, rangeselect, editing
        DoubleBuffered = true
    }
    TLabel Status {
        Bounds = -1, 276, 402, 24
        Caption = "!!!"
        Alignment = center
        Anchors = left, right, bottom
    }
    TTimer Ticker { Interval = 20  Enabled = false  OnTimer = TickerTimer }
}
)";

class Controls : public testing::Test {
protected:
    void SetUp() override
    {
        FForm.LoadFromText(kTestForm);
        FForm.CreateHandle();
        FForm.Show();
        vcl::Application->ProcessMessages();
    }
    TTestForm FForm;
    ExceptionLog FLog;
};

LOGFONTW WindowFont(HWND window)
{
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)), sizeof font, &font);
    return font;
}

TEST_F(Controls, WindowsCarryTheFontsOfTheDescription)
{
    static constexpr struct {
        const char* Control;
        int LfHeight;
        LONG Weight;
        const wchar_t* Face;
    } kCases[] = {
        {"Edit1", -11, FW_NORMAL, L"Tahoma"},  // the form's font
        {"Title", -13, FW_BOLD, L"Tahoma"},
        {"Panel", -16, FW_BOLD, L"MS Sans Serif"},
        {"Shown", -16, FW_BOLD, L"MS Sans Serif"},  // the panel's, inherited
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Control);
        auto* control = dynamic_cast<vcl::TControl*>(FForm.FindComponent(c.Control));
        ASSERT_NE(control, nullptr);
        const LOGFONTW font = WindowFont(control->Handle());
        EXPECT_EQ(font.lfHeight, c.LfHeight);
        EXPECT_EQ(font.lfWeight, c.Weight);
        EXPECT_STREQ(font.lfFaceName, c.Face);
        EXPECT_EQ(vcl::ControlName(control->Handle()), std::wstring(c.Control, c.Control + strlen(c.Control)));
    }
}

// The face and character height GDI really gives the control's window.
void RealisedFont(const vcl::TControl& control, std::wstring& face, int& characterHeight)
{
    HDC dc = GetDC(control.Handle());
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control.Handle(), WM_GETFONT, 0, 0)));
    wchar_t name[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, name);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(control.Handle(), dc);
    face = name;
    characterHeight = metrics.tmHeight - metrics.tmInternalLeading;
}

int CALLBACK CountFace(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM count)
{
    ++*reinterpret_cast<int*>(count);
    return 1;
}

bool FaceInstalled(const wchar_t* face)
{
    LOGFONTW query{};
    query.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(query.lfFaceName, face, LF_FACESIZE);
    int count = 0;
    HDC dc = GetDC(nullptr);
    EnumFontFamiliesExW(dc, &query, CountFace, reinterpret_cast<LPARAM>(&count), 0);
    ReleaseDC(nullptr, dc);
    return count > 0;
}

TEST_F(Controls, TheFontsAreRealisedAsNamed)
{
    // A stand-in face has other metrics, and the captions no longer fit the
    // positions of the description.
    static constexpr struct {
        const char* Control;
        const wchar_t* Face;
        int CharacterHeight;
    } kCases[] = {
        {"Edit1", L"Tahoma", 11},
        {"Title", L"Tahoma", 13},
        {"Panel", L"MS Sans Serif", 16},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Control);
        // The test prefix carries fonts-wine's fonts: both faces must be there.
        ASSERT_TRUE(FaceInstalled(c.Face)) << "the font of the description must exist";
        auto* control = dynamic_cast<vcl::TControl*>(FForm.FindComponent(c.Control));
        ASSERT_NE(control, nullptr);
        std::wstring face;
        int height = 0;
        RealisedFont(*control, face, height);
        EXPECT_EQ(face, c.Face);
        EXPECT_EQ(height, c.CharacterHeight);
    }
}

TEST_F(Controls, KeyHandlersChangeSwallowOrCancelTheKey)
{
    HWND edit = FForm.Edit1->Handle();
    for (const wchar_t key : std::wstring(L"a#b!c?d")) SendMessageW(edit, WM_CHAR, key, 1);
    // 'd' is past the limit of 3 characters.
    EXPECT_EQ(FForm.Edit1->Text(), L"ABC");
    // Only the real failure is reported; the silent abort and the swallowed key are not.
    ASSERT_EQ(FLog.Messages.size(), 1u);
    EXPECT_EQ(FLog.Messages[0], L"no questions");
}

TEST_F(Controls, AnExceptionOfAClickHandlerStopsAtTheWindowProcedure)
{
    SendMessageW(FForm.Go->Handle(), BM_CLICK, 0, 0);
    SendMessageW(FForm.Go->Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(FForm.Clicks, 2);
    ASSERT_EQ(FLog.Messages.size(), 2u);
    EXPECT_EQ(FLog.Messages[0], L"click failed");
}

TEST_F(Controls, AnExceptionOfATimerHandlerLeavesTheTimerRunning)
{
    FForm.Ticker->SetEnabled(true);
    EXPECT_TRUE(PumpUntil([&] { return FForm.Ticks >= 3; }));
    FForm.Ticker->SetEnabled(false);
    EXPECT_GE(FLog.Messages.size(), 3u);
    EXPECT_EQ(FLog.Messages.at(0), L"tick failed");
    const int ticks = FForm.Ticks;
    PumpUntil([] { return false; }, 200);
    EXPECT_EQ(FForm.Ticks, ticks) << "a disabled timer stays quiet";
}

// The message boxes of this process that are open now; with close set, each
// is asked to close as if OK were pressed.
struct TBoxWalk {
    bool Close;
    int Count = 0;
};

BOOL CALLBACK VisitBox(HWND window, LPARAM param)
{
    auto& walk = *reinterpret_cast<TBoxWalk*>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (process == GetCurrentProcessId() && lstrcmpW(className, L"#32770") == 0 && IsWindowVisible(window)) {
        ++walk.Count;
        if (walk.Close) PostMessageW(window, WM_COMMAND, IDOK, 0);
    }
    return TRUE;
}

int OpenBoxes(bool close)
{
    TBoxWalk walk{close};
    EnumWindows(VisitBox, reinterpret_cast<LPARAM>(&walk));
    return walk.Count;
}

// From another thread: watches the boxes for a second (stretched by the time
// scale), then closes every box that opens until told to stop.
class TBoxWatcher : public rtl::TThread {
public:
    explicit TBoxWatcher(std::atomic<bool>& quiet) : FQuiet(quiet) {}
    std::atomic<int> MostBoxes{0};
    std::atomic<int> Closed{0};
    std::atomic<bool> Watched{false};
    std::atomic<bool> Stop{false};

protected:
    void Execute() override
    {
        const DWORD start = GetTickCount();
        // Long enough for the timer to tick more than ten times on a slow machine.
        while (GetTickCount() - start < testsupport::Scaled(1000)) {
            MostBoxes = std::max(MostBoxes.load(), OpenBoxes(false));
            Sleep(20);
        }
        // Quiet ticks let boxes nested by a faulty display unwind as they are closed.
        FQuiet = true;
        Watched = true;
        while (!Stop) {
            Closed += OpenBoxes(true);
            Sleep(10);
        }
    }

private:
    std::atomic<bool>& FQuiet;
};

TEST_F(Controls, ATimerThatRaisesWhileItsBoxIsUpOpensNoSecondBox)
{
    // The box's own message loop goes on serving the timer; every tick that
    // raised used to open a box inside the box until the stack ran out.
    vcl::Application->OnException = nullptr;  // the application's own display
    TBoxWatcher watcher(FForm.QuietTicks);
    watcher.Start();
    FForm.Ticker->SetEnabled(true);
    EXPECT_TRUE(PumpUntil([&] { return watcher.Watched.load(); }, 5000));
    FForm.Ticker->SetEnabled(false);
    FForm.QuietTicks = false;
    EXPECT_EQ(watcher.MostBoxes, 1);
    EXPECT_GT(FForm.Ticks, 10) << "the timer kept running under the box";

    // The box is closed and the program goes on: the next exception is shown again.
    const int closed = watcher.Closed;
    vcl::Application->ShowException(std::make_exception_ptr(rtl::Exception("again")));
    EXPECT_GT(watcher.Closed, closed);
    watcher.Stop = true;
    watcher.WaitFor();
    EXPECT_EQ(OpenBoxes(false), 0);
    EXPECT_TRUE(IsWindowVisible(FForm.Handle()));
}

// A label whose painting fails.
class TFailingLabel : public vcl::TLabel {
public:
    using TLabel::TLabel;
    int Paints = 0;

protected:
    void Paint(HDC) override
    {
        ++Paints;
        throw rtl::Exception("paint failed");
    }
};

TEST_F(Controls, AFailingPaintIsReportedOnceAndNotRepeated)
{
    // The paint cycle must end however the painting leaves, or the window
    // stays invalid and the failure comes back with every message.
    TFailingLabel label(&FForm);
    label.SetBounds(300, 250, 50, 20);
    label.CreateHandle();
    UpdateWindow(label.Handle());
    PumpUntil([] { return false; }, 200);
    EXPECT_EQ(label.Paints, 1);
    ASSERT_EQ(FLog.Messages.size(), 1u);
    EXPECT_EQ(FLog.Messages[0], L"paint failed");
    RECT invalid{};
    EXPECT_FALSE(GetUpdateRect(label.Handle(), &invalid, FALSE));
}

TEST_F(Controls, ATransparentLabelShowsItsParentsBackground)
{
    HWND label = FForm.Shown->Handle();
    HDC screen = GetDC(label);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 100, 30);
    HGDIOBJ old = SelectObject(memory, bitmap);
    SendMessageW(label, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT | PRF_ERASEBKGND);
    const COLORREF transparent = GetPixel(memory, 50, 15);
    FForm.Shown->SetTransparent(false);
    SendMessageW(label, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT | PRF_ERASEBKGND);
    const COLORREF opaque = GetPixel(memory, 50, 15);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(label, screen);
    EXPECT_EQ(transparent, RGB(0, 128, 0)) << std::hex << transparent;
    EXPECT_EQ(opaque, RGB(255, 255, 255)) << std::hex << opaque;
}

TEST_F(Controls, AnchoredControlsFollowTheFormsSize)
{
    FForm.SetClientSize(500, 350);
    vcl::Application->ProcessMessages();
    RECT rect{};
    GetWindowRect(FForm.Status->Handle(), &rect);
    MapWindowPoints(nullptr, FForm.Handle(), reinterpret_cast<POINT*>(&rect), 2);
    // Left, right and bottom anchors: the same distances to those edges.
    EXPECT_EQ(rect.left, -1);
    EXPECT_EQ(rect.right, 501);
    EXPECT_EQ(rect.top, 326);
    EXPECT_EQ(rect.bottom - rect.top, 24);
    GetWindowRect(FForm.Edit1->Handle(), &rect);
    MapWindowPoints(nullptr, FForm.Handle(), reinterpret_cast<POINT*>(&rect), 2);
    EXPECT_EQ(rect.left, 8);
    EXPECT_EQ(rect.top, 30);
}

TEST_F(Controls, CloseAsksTheCloseHandler)
{
    FForm.KeepOpen = true;
    SendMessageW(FForm.Handle(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindowVisible(FForm.Handle()));
    FForm.KeepOpen = false;
    SendMessageW(FForm.Handle(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindowVisible(FForm.Handle()));
    EXPECT_TRUE(IsWindow(FForm.Handle())) << "closing hides; the window goes with the form";
}

class Grid : public Controls {
protected:
    vcl::TStringGrid& G() { return *FForm.Grid; }
    HWND Editor() { return vcl::FindControl(G().Handle(), L"InplaceEditor"); }
    void TypeIntoGrid(const std::wstring& text)
    {
        SendMessageW(G().Handle(), WM_CHAR, text[0], 1);
        for (size_t i = 1; i < text.size(); ++i) SendMessageW(Editor(), WM_CHAR, text[i], 1);
    }
};

TEST_F(Grid, EscapeRestoresTheCellAndTheArrowKeysKeepTheText)
{
    G().Cells[1][3] = L"old";
    G().SetCol(1);
    G().SetRow(3);
    TypeIntoGrid(L"new");
    ASSERT_TRUE(G().EditorMode());
    SendMessageW(Editor(), WM_KEYDOWN, VK_ESCAPE, 1);
    EXPECT_FALSE(G().EditorMode());
    EXPECT_EQ(G().Cells[1][3].Text(), L"old");

    TypeIntoGrid(L"12,5");
    SendMessageW(Editor(), WM_KEYDOWN, VK_DOWN, 1);
    EXPECT_FALSE(G().EditorMode());
    EXPECT_EQ(G().Cells[1][3].Text(), L"12,5");
    EXPECT_EQ(G().Row(), 4);

    // F2 opens the editor on the cell's own text; a click elsewhere keeps the edit.
    G().Cells[1][4] = L"7";
    SendMessageW(G().Handle(), WM_KEYDOWN, VK_F2, 1);
    ASSERT_TRUE(G().EditorMode());
    SendMessageW(Editor(), WM_CHAR, L'0', 1);
    SetFocus(FForm.Edit1->Handle());
    EXPECT_FALSE(G().EditorMode());
    EXPECT_EQ(G().Cells[1][4].Text(), L"70");
}

TEST_F(Grid, AValueWrittenWhileTheCellIsEditedIsKept)
{
    // The calibration worker writes a measured value into the cell the
    // operator has opened but not typed in: Enter must not put the old
    // text back over it.
    G().SetCol(1);
    G().SetRow(3);
    SendMessageW(G().Handle(), WM_KEYDOWN, VK_F2, 1);
    ASSERT_TRUE(G().EditorMode());
    G().SetCell(1, 3, L"123.4");
    wchar_t shown[32] = {};
    GetWindowTextW(Editor(), shown, 32);
    EXPECT_STREQ(shown, L"123.4");
    // The caret stays behind the text, so typing goes on from there.
    SendMessageW(Editor(), WM_CHAR, L'5', 1);
    SendMessageW(Editor(), WM_KEYDOWN, VK_RETURN, 1);
    EXPECT_FALSE(G().EditorMode());
    EXPECT_EQ(G().Cells[1][3].Text(), L"123.45");
    // A cell other than the edited one leaves the editor alone.
    SendMessageW(G().Handle(), WM_KEYDOWN, VK_F2, 1);
    G().SetCell(2, 3, L"9");
    SendMessageW(Editor(), WM_KEYDOWN, VK_RETURN, 1);
    EXPECT_EQ(G().Cells[1][3].Text(), L"123.45");
    EXPECT_EQ(G().Cells[2][3].Text(), L"9");
}

TEST_F(Grid, WithoutEditingTypingChangesNothing)
{
    G().SetOptions(G().Options() & ~vcl::goEditing);
    SendMessageW(G().Handle(), WM_CHAR, L'5', 1);
    EXPECT_FALSE(G().EditorMode());
    EXPECT_EQ(G().Cells[G().Col()][G().Row()].Text(), L"");
}

TEST_F(Grid, TheCurrentRowIsScrolledIntoView)
{
    // 150 pixels hold the 3 fixed rows and 3 more: the last of 25 rows needs scrolling.
    const RECT hidden = G().CellRect(0, 24);
    EXPECT_TRUE(IsRectEmpty(&hidden));
    G().SetRow(24);
    const RECT last = G().CellRect(0, 24);
    EXPECT_FALSE(IsRectEmpty(&last));
    EXPECT_GT(G().TopRow(), 3);
    // The fixed rows stay on top whatever the scroll position.
    EXPECT_EQ(G().CellRect(1, 0).top, 0);
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_POS;
    GetScrollInfo(G().Handle(), SB_VERT, &info);
    EXPECT_EQ(info.nPos, G().TopRow() - 3);

    SendMessageW(G().Handle(), WM_VSCROLL, SB_TOP, 0);
    EXPECT_EQ(G().TopRow(), 3);
    EXPECT_EQ(G().Row(), 24) << "scrolling does not move the current cell";
}

TEST_F(Grid, ShiftExtendsTheSelectionAndAClickCollapsesIt)
{
    G().SetCol(1);
    G().SetRow(3);
    const RECT target = G().CellRect(2, 5);
    SendMessageW(G().Handle(), WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, MAKELPARAM(target.left + 3, target.top + 3));
    SendMessageW(G().Handle(), WM_LBUTTONUP, MK_SHIFT, MAKELPARAM(target.left + 3, target.top + 3));
    EXPECT_EQ(G().Selection(), (vcl::TGridRect{1, 3, 2, 5}));
    const RECT other = G().CellRect(1, 4);
    SendMessageW(G().Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(other.left + 3, other.top + 3));
    SendMessageW(G().Handle(), WM_LBUTTONUP, 0, MAKELPARAM(other.left + 3, other.top + 3));
    EXPECT_EQ(G().Selection(), (vcl::TGridRect{1, 4, 1, 4}));
    // A click on a fixed cell changes nothing.
    const RECT heading = G().CellRect(1, 0);
    SendMessageW(G().Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(heading.left + 3, heading.top + 3));
    SendMessageW(G().Handle(), WM_LBUTTONUP, 0, MAKELPARAM(heading.left + 3, heading.top + 3));
    EXPECT_EQ(G().Row(), 4);
}

TEST_F(Grid, FewerRowsWhileEditingCloseTheEditorFirst)
{
    G().SetRow(24);
    TypeIntoGrid(L"9");
    ASSERT_TRUE(G().EditorMode());
    G().SetRowCount(4);
    EXPECT_FALSE(G().EditorMode());
    EXPECT_EQ(G().Row(), 3);
    EXPECT_EQ(G().RowCount(), 4);
}

}  // namespace

namespace {

class TBoxForm : public vcl::TForm {
public:
    TBoxForm() : TForm(L"UNUSED") {}
};

TEST(FormWindows, AFormDescribedAsDisabledIsCreatedDisabled)
{
    TBoxForm form;
    form.LoadFromText("TBoxForm BoxForm {\n  Enabled = false\n}\n");
    form.CreateHandle();
    EXPECT_FALSE(IsWindowEnabled(form.Handle()));
    EXPECT_TRUE(GetWindowLongW(form.Handle(), GWL_STYLE) & WS_CAPTION) << "the border style still applies";
}

TEST(WindowClasses, AForeignClassOfAControlsNameIsRefused)
{
    // Registered by other code, the class would bring its own window
    // procedure and the group box would never see a message.
    WNDCLASSEXW foreign{};
    foreign.cbSize = sizeof foreign;
    foreign.lpfnWndProc = DefWindowProcW;
    foreign.hInstance = GetModuleHandleW(nullptr);
    foreign.lpszClassName = L"TGroupBox";
    ASSERT_NE(RegisterClassExW(&foreign), 0);
    TBoxForm form;
    form.LoadFromText("TBoxForm BoxForm {\n  TGroupBox Box { Bounds = 0, 0, 50, 50 }\n}\n");
    EXPECT_THROW(form.CreateHandle(), vcl::EWindowError);
    UnregisterClassW(L"TGroupBox", GetModuleHandleW(nullptr));
}

}  // namespace
