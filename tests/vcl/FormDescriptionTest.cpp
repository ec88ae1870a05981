// The stored form description: parsing, and binding it to a form class
// (controls, fields, events), all without windows.
#include "vcl/FormDescription.h"

#include <gtest/gtest.h>

#include <string>

#include "rtl/Startup.h"
#include "vcl/Forms.h"
#include "vcl/Grid.h"
#include "vcl/StdControls.h"

namespace {

using vcl::TDescValue;

TEST(ParseFormDescription, BuildsTheTreeWithValuesAndLines)
{
    const vcl::TDescObject form = vcl::ParseFormDescription(
        "\xEF\xBB\xBF# a form\n"
        "TDemoForm DemoForm {\n"
        "    Caption = \"\xD0\x94\xD0\xB5\xD0\xBC\xD0\xBE \\\"1\\\"\\t\"  // Cyrillic, escapes\n"
        "    ClientSize = 577, 510\n"
        "    TGroupBox Box {\n"
        "        Bounds = 8, -1, 0x10, +3\n"
        "        TEdit Edit1 { OnKeyPress = Edit1KeyPress }\n"
        "    }\n"
        "    Items = \"a\",\n"
        "            \"b\"\n"
        "}\n");
    EXPECT_EQ(form.ClassName, "TDemoForm");
    EXPECT_EQ(form.Name, "DemoForm");
    ASSERT_EQ(form.Properties.size(), 3u);
    EXPECT_EQ(form.Properties[0].Line, 3);
    EXPECT_EQ(form.Properties[0].Values[0].String, L"Демо \"1\"\t");
    EXPECT_EQ(form.Properties[1].Values.size(), 2u);
    EXPECT_EQ(form.Properties[1].Values[1].Integer, 510);
    EXPECT_EQ(form.Properties[2].Values[1].String, L"b");  // a list may go on over the next line

    ASSERT_EQ(form.Children.size(), 1u);
    const vcl::TDescObject& box = form.Children[0];
    EXPECT_EQ(box.Line, 5);
    const auto& bounds = box.Properties.at(0).Values;
    ASSERT_EQ(bounds.size(), 4u);
    EXPECT_EQ(bounds[1].Integer, -1);
    EXPECT_EQ(bounds[2].Integer, 16);
    EXPECT_EQ(bounds[3].Integer, 3);
    ASSERT_EQ(box.Children.size(), 1u);
    EXPECT_EQ(box.Children[0].Properties.at(0).Values[0].Kind, TDescValue::vkIdent);
    EXPECT_EQ(box.Children[0].Properties.at(0).Values[0].Ident, "Edit1KeyPress");
}

TEST(ParseFormDescription, NamesTheLineOfEachFault)
{
    static constexpr struct {
        const char* Text;
        const char* Message;  // the whole message of the error
    } kCases[] = {
        {"", "Form description, line 1: expected the form's class name"},
        {"TForm F {\n  Caption = \"open\n}", "Form description, line 2: text not closed by '\"'"},
        {"TForm F {\n  Caption = \"a\\q\"\n}", "Form description, line 2: unknown escape '\\q'"},
        {"TForm F {\n  Left = 12ab\n}", "Form description, line 2: bad number '12ab'"},
        {"TForm F {\n  Left = 4294967296\n}", "Form description, line 2: bad number '4294967296'"},
        {"TForm F {\n  Left = -\n}", "Form description, line 2: bad number '-'"},
        {"TForm F {\n  Left 3\n}", "Form description, line 2: expected '=' after 'Left'"},
        {"TForm F {\n  Left =\n}", "Form description, line 3: expected a value of 'Left'"},
        {"TForm F {\n  TLabel L {\n", "Form description, line 3: 'L' not closed by '}'"},
        {"TForm F {\n}\n}", "Form description, line 3: text after the end of the form"},
        {"TForm F {\n  Caption = \"\xC0\xE1\"\n}", "Form description, line 2: text is not valid UTF-8"},
        {"TForm F {\n  Left = 1 ; \n}", "Form description, line 2: unexpected character ';'"},
        {"TForm {\n}", "Form description, line 1: expected the name of the TForm"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Text);
        try {
            vcl::ParseFormDescription(c.Text);
            ADD_FAILURE() << "no error";
        } catch (const vcl::EFormDescriptionError& e) {
            EXPECT_EQ(e.Message(), c.Message);
        }
    }
}

// A form class that binds fields and handlers by name.
class TBindingForm : public vcl::TForm {
public:
    TBindingForm() : TForm(L"UNUSED")
    {
        RegisterField("Title", Title);
        RegisterField("Edit1", Edit1);
        RegisterField("Grid", Grid);
        RegisterField("Combo", Combo);
        RegisterHandler("GoClick", &TBindingForm::GoClick);
        RegisterHandler("Edit1KeyPress", &TBindingForm::Edit1KeyPress);
        RegisterHandler("FormClose", &TBindingForm::FormClose);
    }
    void GoClick(rtl::TObject* sender) { Clicked = sender; }
    void Edit1KeyPress(rtl::TObject*, wchar_t& key) { key = L'!'; }
    void FormClose(rtl::TObject*, vcl::TCloseAction& action) { action = vcl::caNone; }

    vcl::TLabel* Title = nullptr;
    vcl::TEdit* Edit1 = nullptr;
    vcl::TStringGrid* Grid = nullptr;
    vcl::TComboBox* Combo = nullptr;
    rtl::TObject* Clicked = nullptr;
};

constexpr char kBindingForm[] = R"(TBindingForm BindingForm {
    Caption = "Проверка"
    ClientSize = 577, 510
    FontName = "Tahoma"
    FontSize = 11
    OnClose = FormClose
    TLabel Title {
        Bounds = 8, 8, 48, 16
        Caption = "Номер:"
        FontSize = 13
        FontStyle = bold
        FontColor = red
        Alignment = center
        Transparent = true
        Anchors = left, right, bottom
    }
    TGroupBox Box {
        Bounds = 8, 34, 145, 66
        FontStyle = bold
        TEdit Edit1 {
            Bounds = 8, 35, 100, 21
            Text = "200"
            MaxLength = 6
            FontStyle = regular
            OnKeyPress = Edit1KeyPress
        }
        TButton Go { Bounds = 1, 2, 3, 4  OnClick = GoClick  Enabled = false }
    }
    TComboBox Combo {
        Style = ownerdrawfixed
        Items = "LLS 1", "LLS 2", "LLS 3"
        ItemIndex = 1
    }
    TStringGrid Grid {
        ColCount = 3
        RowCount = 4
        FixedRows = 3
        FixedCols = 0
        ColWidths = 27, 100, 100
        DefaultRowHeight = 20
        Options = fixedvertline, fixedhorzline, vertline, horzline, rangeselect, editing
        DoubleBuffered = true
    }
    TTimer Tick { Interval = 100  Enabled = false }
}
)";

TEST(FormBinding, AppliesPropertiesAndBindsFieldsAndEvents)
{
    TBindingForm form;
    form.LoadFromText(kBindingForm);
    EXPECT_EQ(form.Name(), "BindingForm");
    EXPECT_EQ(form.Caption(), L"Проверка");
    EXPECT_EQ(form.ClientWidth(), 577);
    EXPECT_EQ(form.ClientHeight(), 510);

    ASSERT_NE(form.Title, nullptr);
    EXPECT_EQ(form.Title->Width(), 48);
    EXPECT_EQ(form.Title->Caption(), L"Номер:");
    EXPECT_EQ(form.Title->Font().Height, 13);
    EXPECT_TRUE(form.Title->Font().Bold);
    EXPECT_EQ(form.Title->Font().Color, vcl::clRed);
    EXPECT_EQ(form.Title->Font().Name, L"Tahoma");  // taken from the form
    EXPECT_EQ(form.Title->Alignment(), vcl::taCenter);
    EXPECT_TRUE(form.Title->Transparent());
    EXPECT_EQ(form.Title->Anchors(), vcl::akLeft | vcl::akRight | vcl::akBottom);

    // The edit sits in the group box and starts from its font, bold, then drops the bold.
    ASSERT_NE(form.Edit1, nullptr);
    EXPECT_EQ(form.Edit1->Parent()->Name(), "Box");
    EXPECT_EQ(form.Edit1->Font().Height, 11);
    EXPECT_FALSE(form.Edit1->Font().Bold);
    EXPECT_EQ(form.Edit1->MaxLength(), 6);
    EXPECT_EQ(form.Edit1->Text(), L"200");
    ASSERT_TRUE(form.Edit1->OnKeyPress);
    wchar_t key = L'a';
    form.Edit1->OnKeyPress(form.Edit1, key);
    EXPECT_EQ(key, L'!');

    auto* go = dynamic_cast<vcl::TButton*>(form.FindComponent("Go"));
    ASSERT_NE(go, nullptr);
    EXPECT_FALSE(go->Enabled());
    go->Click();
    EXPECT_EQ(form.Clicked, go);

    EXPECT_EQ(form.Combo->Style(), vcl::csOwnerDrawFixed);
    EXPECT_EQ(form.Combo->Items().size(), 3u);
    EXPECT_EQ(form.Combo->ItemIndex(), 1);

    EXPECT_EQ(form.Grid->ColCount(), 3);
    EXPECT_EQ(form.Grid->RowCount(), 4);
    EXPECT_EQ(form.Grid->FixedRows(), 3);
    EXPECT_EQ(form.Grid->ColWidth(0), 27);
    EXPECT_EQ(form.Grid->ColWidth(2), 100);
    EXPECT_EQ(form.Grid->Row(), 3);  // the first row that is not fixed
    EXPECT_TRUE(form.Grid->Options() & vcl::goEditing);
    EXPECT_TRUE(form.Grid->DoubleBuffered());

    ASSERT_TRUE(form.OnClose);
    vcl::TCloseAction action = vcl::caHide;
    form.OnClose(&form, action);
    EXPECT_EQ(action, vcl::caNone);
}

TEST(FormBinding, RefusesDescriptionsThatDoNotFitTheFormClass)
{
    // Each case replaces one line of a small valid description.
    static constexpr struct {
        const char* Body;
        const char* Message;
    } kCases[] = {
        {"TWidget Title {}", "line 2: unknown class 'TWidget'"},
        {"TLabel Title { Colour = red }", "line 2: TLabel has no property 'Colour'"},
        {"TLabel Title { Caption = 5 }", "line 2: 'Caption' expects a text in quotes"},
        {"TLabel Title { Bounds = 1, 2, 3 }", "line 2: 'Bounds' expects 4 values"},
        {"TLabel Title { Color = pink }", "line 2: unknown colour 'pink'"},
        {"TLabel Title { Visible = yes }", "line 2: 'Visible' expects true or false"},
        {"TLabel Title { FontSize = 0 }", "line 2: FontSize must be a positive number of pixels"},
        {"TButton Title { OnClick = Missing }", "line 2: TSmallForm has no handler 'Missing'"},
        {"TButton Title { OnClick = Edit1KeyPress }", "line 2: handler 'Edit1KeyPress' is not a notification handler"},
        {"TEdit Title { OnKeyPress = GoClick }", "line 2: handler 'GoClick' is not a key-press handler"},
        {"TEdit Title {}", "line 1: 'Title' is a TEdit, not of its field's class"},
        {"TLabel Other {}", "line 1: TSmallForm needs a component 'Title'"},
        {"TLabel Title {} TLabel Title {}", "line 2: a second component named 'Title'"},
        {"TLabel Title {} TTimer T { TLabel X {} }", "line 2: T cannot hold controls"},
        {"TLabel Title {} TImage I { Picture = Icons, 0 }", "line 2: no component 'Icons' described before this line"},
        {"TLabel Title {} TImage I { Picture = Title, 0 }", "line 2: 'Title' is not an image list"},
        {"TLabel Title {} TComboBox C { Items = \"a\" ItemIndex = 1 }", "line 2: ItemIndex out of the items' range"},
        {"TLabel Title {} TStringGrid G { RowCount = 3 FixedRows = 3 }", "line 2: FixedRows must be below RowCount"},
        {"TLabel Title {} TImageList L { Bitmaps = \"NOSUCHBITMAP\" }", "line 2: no bitmap resource NOSUCHBITMAP"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Body);
        class TSmallForm : public vcl::TForm {
        public:
            TSmallForm() : TForm(L"UNUSED")
            {
                RegisterField("Title", Title);
                RegisterHandler("GoClick", &TSmallForm::GoClick);
                RegisterHandler("Edit1KeyPress", &TSmallForm::Edit1KeyPress);
            }
            void GoClick(rtl::TObject*) {}
            void Edit1KeyPress(rtl::TObject*, wchar_t&) {}
            vcl::TLabel* Title = nullptr;
        } form;
        const std::string text = std::string("TSmallForm F {\n") + c.Body + "\n}\n";
        try {
            form.LoadFromText(text);
            ADD_FAILURE() << "no error";
        } catch (const vcl::EFormDescriptionError& e) {
            EXPECT_EQ(e.Message(), std::string("Form description, ") + c.Message);
        }
    }
}

TEST(FormBinding, RefusesTheDescriptionOfAnotherFormClass)
{
    TBindingForm form;
    try {
        form.LoadFromText("TMainForm MainForm {\n}\n");
        ADD_FAILURE() << "no error";
    } catch (const vcl::EFormDescriptionError& e) {
        EXPECT_EQ(e.Message(), "Form description, line 1: the description is of TMainForm, not of TBindingForm");
    }
}

TEST(Fonts, HeightsArePixelsOfTheCharacterCell)
{
    static constexpr struct {
        const wchar_t* Name;
        int Height;
        bool Bold;
    } kCases[] = {
        {L"Tahoma", 11, false},
        {L"Tahoma", 13, true},
        {L"Tahoma", 19, true},
        {L"MS Sans Serif", 16, true},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.Height);
        vcl::TFont font;
        font.Name = c.Name;
        font.Height = c.Height;
        font.Bold = c.Bold;
        HFONT handle = font.Handle();
        ASSERT_NE(handle, nullptr);
        EXPECT_EQ(handle, font.Handle()) << "fonts are shared";
        LOGFONTW made{};
        ASSERT_EQ(GetObjectW(handle, sizeof made, &made), static_cast<int>(sizeof made));
        EXPECT_EQ(made.lfHeight, -c.Height);
        EXPECT_EQ(made.lfWeight, c.Bold ? FW_BOLD : FW_NORMAL);
        EXPECT_STREQ(made.lfFaceName, c.Name);
    }
}

TEST(StringGrid, CellsFollowTheRowCount)
{
    vcl::TStringGrid grid(nullptr);
    grid.SetColCount(3);
    grid.SetRowCount(4);
    grid.SetFixedRows(3);
    grid.Cells[1][0] = L"Текущий объём";
    grid.Cells[2][3] = L"512";
    EXPECT_EQ(grid.Cells[1][0].Text(), L"Текущий объём");

    // Growing keeps the cells; the new rows are empty.
    grid.SetRowCount(25);
    EXPECT_EQ(grid.Cells[2][3].Text(), L"512");
    EXPECT_EQ(grid.Cells[2][24].Text(), L"");
    grid.Cells[0][24] = L"21";
    grid.SetRow(24);
    EXPECT_EQ(grid.Row(), 24);

    // Shrinking drops the removed rows and keeps the current row inside the grid.
    grid.SetRowCount(4);
    EXPECT_EQ(grid.Row(), 3);
    grid.SetRowCount(25);
    EXPECT_EQ(grid.Cells[0][24].Text(), L"");
    EXPECT_EQ(grid.FixedRows(), 3);
}

TEST(StringGrid, RefusesCellsOutsideTheGrid)
{
    vcl::TStringGrid grid(nullptr);
    grid.SetColCount(3);
    grid.SetRowCount(4);
    grid.SetFixedRows(3);
    static constexpr struct {
        int Col, Row;
    } kOutside[] = {{-1, 0}, {3, 0}, {0, -1}, {0, 4}};
    for (const auto& c : kOutside) {
        SCOPED_TRACE(testing::Message() << c.Col << "," << c.Row);
        EXPECT_THROW(grid.Cells[c.Col][c.Row] = L"x", vcl::EGridError);
        EXPECT_THROW(static_cast<void>(grid.Cell(c.Col, c.Row)), vcl::EGridError);
    }
    EXPECT_THROW(grid.SetRow(2), vcl::EGridError) << "row 2 is fixed";
    EXPECT_THROW(grid.SetRow(4), vcl::EGridError);
    EXPECT_EQ(grid.Row(), 3);
}

TEST(StringGrid, RowCountBelowTheFixedRowsKeepsOneRowToSelect)
{
    vcl::TStringGrid grid(nullptr);
    grid.SetRowCount(4);
    grid.SetFixedRows(3);
    grid.SetRowCount(2);
    EXPECT_EQ(grid.FixedRows(), 1);
    EXPECT_EQ(grid.Row(), 1);
}

// Records what reaches the application's exception event.
struct ExceptionRecorder {
    ExceptionRecorder()
    {
        vcl::Application->OnException = [this](rtl::TObject* sender, std::exception_ptr error) {
            Sender = sender;
            Messages.push_back(vcl::TApplication::ExceptionMessage(error));
        };
    }
    ~ExceptionRecorder()
    {
        vcl::Application->OnException = nullptr;
        rtl::HandleExceptionHook = nullptr;
    }
    rtl::TObject* Sender = nullptr;
    std::vector<std::wstring> Messages;
};

// The class library's level of the program's start-up list comes from
// linking the library; the crash reporter's level stays free for it.
TEST(ProgramStartup, TheClassLibrarysStepMadeTheApplication)
{
    const rtl::TStartupList& list = rtl::ProgramStartup();
    const auto steps = list.Steps(rtl::TStartupLevel::slClassLibrary);
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_STREQ(steps[0].Name, "Forms.Application");
    EXPECT_TRUE(list.IsRunning(rtl::TStartupLevel::slClassLibrary, 0));
    EXPECT_NE(vcl::Application, nullptr);
    EXPECT_TRUE(list.Steps(rtl::TStartupLevel::slCrashReporter).empty());
}

TEST(HandleException, TheSilentAbortShowsNothing)
{
    ExceptionRecorder recorder;
    vcl::Application->HandleException(nullptr, std::make_exception_ptr(rtl::EAbort("Operation aborted")));
    EXPECT_TRUE(recorder.Messages.empty());
}

TEST(HandleException, MessagesReachTheExceptionEventAsText)
{
    ExceptionRecorder recorder;
    rtl::TObject sender;
    // 8-bit messages are in the ANSI code page (1251 here): "Сбой" is C1 E1 EE E9.
    vcl::Application->HandleException(&sender, std::make_exception_ptr(rtl::Exception("\xD1\xE1\xEE\xE9")));
    vcl::Application->HandleException(&sender, std::make_exception_ptr(std::out_of_range("vector")));
    vcl::Application->HandleException(&sender, std::make_exception_ptr(42));
    ASSERT_EQ(recorder.Messages.size(), 3u);
    EXPECT_EQ(recorder.Messages[0], L"Сбой");
    EXPECT_EQ(recorder.Messages[1], L"vector");
    EXPECT_EQ(recorder.Messages[2], L"Unknown exception");
    EXPECT_EQ(recorder.Sender, &sender);
}

TEST(HandleException, AHookThatTakesTheExceptionEndsTheHandling)
{
    ExceptionRecorder recorder;
    static int hookCalls = 0;
    rtl::HandleExceptionHook = [](std::exception_ptr) {
        ++hookCalls;
        return false;
    };
    vcl::Application->HandleException(nullptr, std::make_exception_ptr(rtl::Exception("x")));
    EXPECT_EQ(hookCalls, 1);
    EXPECT_TRUE(recorder.Messages.empty());
}

TEST(HandleException, AFailingExceptionEventDoesNotEscape)
{
    vcl::Application->OnException = [](rtl::TObject*, std::exception_ptr) { throw std::runtime_error("again"); };
    EXPECT_NO_THROW(vcl::Application->HandleException(nullptr, std::make_exception_ptr(rtl::Exception("x"))));
    vcl::Application->OnException = nullptr;
}

}  // namespace
