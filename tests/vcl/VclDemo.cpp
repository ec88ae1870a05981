// The demonstration program of the class library's window tests: a form from
// its stored description, whose handlers show what the controls did in the
// label lbResult, so that a test in another process can read it back.
#include <windows.h>

#include <string>

#include "rtl/Startup.h"
#include "vcl/Forms.h"
#include "vcl/Grid.h"
#include "vcl/StdControls.h"

namespace {

std::string Ansi(const std::wstring& text)
{
    const int length =
        WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), length, nullptr, nullptr);
    return bytes;
}

class TDemoForm : public vcl::TForm {
public:
    TDemoForm() : TForm(L"DEMOFORM")
    {
        RegisterField("Edit1", Edit1);
        RegisterField("edBak", edBak);
        RegisterField("edSizeBak", edSizeBak);
        RegisterField("cbNumberLLS", cbNumberLLS);
        RegisterField("sgTable", sgTable);
        RegisterField("imStatRele", imStatRele);
        RegisterField("iconList", iconList);
        RegisterField("lbResult", lbResult);
        RegisterField("lbDevices", lbDevices);
        RegisterField("CommandInfo", CommandInfo);
        RegisterField("tmFail", tmFail);
        RegisterHandler("FormShow", &TDemoForm::FormShow);
        RegisterHandler("FormClose", &TDemoForm::FormClose);
        RegisterHandler("Edit1KeyPress", &TDemoForm::Edit1KeyPress);
        RegisterHandler("edBakKeyPress", &TDemoForm::edBakKeyPress);
        RegisterHandler("btApplyClick", &TDemoForm::btApplyClick);
        RegisterHandler("btPumpClick", &TDemoForm::btPumpClick);
        RegisterHandler("btFailClick", &TDemoForm::btFailClick);
        RegisterHandler("btTimerFailClick", &TDemoForm::btTimerFailClick);
        RegisterHandler("tmFailTimer", &TDemoForm::tmFailTimer);
    }

    void FormShow(rtl::TObject*)
    {
        sgTable->Cells[1][0] = L"Текущий объём";
        sgTable->Cells[2][0] = L"Текущ. знач. АЦП";
        sgTable->Cells[0][2] = L"№";
        sgTable->Cells[1][2] = L"Литры";
        sgTable->Cells[2][2] = L"значение АЦП";
        sgTable->Cells[2][1] = L"1234";
        sgTable->SetRowCount(20 + 5);
        for (int row = 3; row < 20 + 5; ++row) sgTable->Cells[0][row] = std::to_wstring(row - 3);
        sgTable->SetRow(3);
        CommandInfo->SetCaption(L"Устройство не подключено");
        CommandInfo->SetFontColor(vcl::clRed);
    }

    void FormClose(rtl::TObject*, vcl::TCloseAction&) {}

    // Digits, backspace and the comma pass; the rest is swallowed.
    void Edit1KeyPress(rtl::TObject*, wchar_t& key)
    {
        if (!((key >= L'0' && key <= L'9') || key == 8 || key == L',')) key = 0;
    }

    // Digits and backspace pass; the rest is cancelled by the silent abort.
    void edBakKeyPress(rtl::TObject*, wchar_t& key)
    {
        if (!((key >= L'0' && key <= L'9') || key == 8)) rtl::Abort();
    }

    void btApplyClick(rtl::TObject*)
    {
        const vcl::TGridRect selection = sgTable->Selection();
        lbResult->SetCaption(
            L"Edit1=" + Edit1->Text() + L";edBak=" + edBak->Text() + L";edSizeBak=" + edSizeBak->Text() + L";LLS=" +
            std::to_wstring(cbNumberLLS->ItemIndex()) + L";cell=" + sgTable->Cells[1][3].Text() + L";current=" +
            sgTable->Cells[sgTable->Col()][sgTable->Row()].Text() + L";row=" + std::to_wstring(sgTable->Row()) +
            L";sel=" + std::to_wstring(selection.Left) + L"," + std::to_wstring(selection.Top) + L"," +
            std::to_wstring(selection.Right) + L"," + std::to_wstring(selection.Bottom));
    }

    void btPumpClick(rtl::TObject*)
    {
        FPumpOn = !FPumpOn;
        iconList->GetBitmap(FPumpOn ? 0 : 1, *imStatRele);
        CommandInfo->SetCaption(FPumpOn ? L"Насос включен" : L"Насос выключен");
        CommandInfo->SetFontColor(vcl::clBlack);
    }

    void btFailClick(rtl::TObject*) { throw rtl::Exception(Ansi(L"Сбой: проверка")); }

    void btTimerFailClick(rtl::TObject*) { tmFail->SetEnabled(true); }

    void tmFailTimer(rtl::TObject*)
    {
        tmFail->SetEnabled(false);
        throw rtl::Exception(Ansi(L"Сбой таймера"));
    }

    // The device-change message stops here; everything else goes on.
    void Dispatch(vcl::TMessage& message) override
    {
        if (message.Msg == WM_DEVICECHANGE) {
            ++FDeviceChanges;
            lbDevices->SetCaption(L"Изменений: " + std::to_wstring(FDeviceChanges));
            message.Result = TRUE;
            return;
        }
        TForm::Dispatch(message);
    }

    vcl::TEdit* Edit1 = nullptr;
    vcl::TEdit* edBak = nullptr;
    vcl::TEdit* edSizeBak = nullptr;
    vcl::TComboBox* cbNumberLLS = nullptr;
    vcl::TStringGrid* sgTable = nullptr;
    vcl::TImage* imStatRele = nullptr;
    vcl::TImageList* iconList = nullptr;
    vcl::TLabel* lbResult = nullptr;
    vcl::TLabel* lbDevices = nullptr;
    vcl::TLabel* CommandInfo = nullptr;
    vcl::TTimer* tmFail = nullptr;

private:
    bool FPumpOn = false;
    int FDeviceChanges = 0;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    const rtl::TProgramStartup programStartup;
    vcl::Application->SetTitle(L"Демо");
    try {
        vcl::Application->CreateForm<TDemoForm>();
        vcl::Application->Run();
    } catch (...) {
        vcl::Application->ShowException(std::current_exception());
        return 1;
    }
    return 0;
}
