// The main window.
#include "app/main.h"

#include <cwchar>

#include "app/DeviceCommands.h"
#include "rtl/Classes.h"
#include "rtl/Libraries.h"
#include "rtl/SysUtils.h"

namespace app {

TProgramVersion ProgramVersion;

namespace {

constexpr wchar_t kNoLibraryMessage[] =
    L"Перед первым запуском программы подключите\t\t\t\r\nустройство к USB и установите драйвер.";
constexpr wchar_t kNotConnectedText[] = L"Устройство не подключено";
constexpr wchar_t kReadErrorText[] = L"Ошибка чтения";
constexpr wchar_t kRunStartedText[] = L"Волюметра началась";
constexpr wchar_t kRunStoppedText[] = L"Волюметра остановлена";
constexpr wchar_t kUnknownText[] = L"------";
constexpr wchar_t kStartCaption[] = L"Волюметрить";
constexpr wchar_t kStopCaption[] = L"СТОП";
constexpr wchar_t kPauseCaption[] = L"Приостановить";
constexpr wchar_t kContinueCaption[] = L"Продолжить";
constexpr wchar_t kNoFlowText[] = L"0 л/мин.";

std::wstring ProgramDirectory()
{
    const std::wstring path = rtl::ModuleFileName();
    const size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator + 1);
}

}  // namespace

// ---- Creation ---------------------------------------------------------------

TMainForm::TMainForm() : TForm(L"MAINFORM"), FLink(this)
{
    RegisterField("SerNum", SerNum);
    RegisterField("FVersion", FVersion);
    RegisterField("idDriver", idDriver);
    RegisterField("Edit1", Edit1);
    RegisterField("imStatRele", imStatRele);
    RegisterField("lbStatRele", lbStatRele);
    RegisterField("cbTypeDUT", cbTypeDUT);
    RegisterField("cbNumberLLS", cbNumberLLS);
    RegisterField("edBak", edBak);
    RegisterField("edColPoint", edColPoint);
    RegisterField("markaAvto", markaAvto);
    RegisterField("numberAvto", numberAvto);
    RegisterField("markaDut", markaDut);
    RegisterField("numberDut", numberDut);
    RegisterField("edTime", edTime);
    RegisterField("edBoltanie", edBoltanie);
    RegisterField("edSizeBak", edSizeBak);
    RegisterField("edDopOstatok", edDopOstatok);
    RegisterField("lbTargetLitr", lbTargetLitr);
    RegisterField("sgTableVolumetra", sgTableVolumetra);
    RegisterField("lbPerformance", lbPerformance);
    RegisterField("Button1", Button1);
    RegisterField("btVolumetra", btVolumetra);
    RegisterField("btSaveTable", btSaveTable);
    RegisterField("CommandInfo", CommandInfo);
    RegisterField("initTimer", initTimer);
    RegisterField("TimerAlwaysRead", TimerAlwaysRead);
    RegisterField("iconList", iconList);

    RegisterHandler("FormShow", &TMainForm::FormShow);
    RegisterHandler("FormClose", &TMainForm::FormClose);
    RegisterHandler("initTimerTimer", &TMainForm::initTimerTimer);
    RegisterHandler("TimerAlwaysReadTimer", &TMainForm::TimerAlwaysReadTimer);
    RegisterHandler("btVolumetraClick", &TMainForm::btVolumetraClick);
    RegisterHandler("Button1Click", &TMainForm::Button1Click);
    RegisterHandler("btSaveTableClick", &TMainForm::btSaveTableClick);
    RegisterHandler("Edit1KeyPress", &TMainForm::Edit1KeyPress);
    RegisterHandler("edBakKeyPress", &TMainForm::edBakKeyPress);
    RegisterHandler("edColPointKeyPress", &TMainForm::edColPointKeyPress);
    RegisterHandler("edTimeKeyPress", &TMainForm::edTimeKeyPress);
    RegisterHandler("edSizeBakKeyPress", &TMainForm::edSizeBakKeyPress);
    RegisterHandler("edDopOstatokKeyPress", &TMainForm::edDopOstatokKeyPress);
}

TMainForm::~TMainForm()
{
    // A close during a run waits for the worker's end, so a worker can only
    // still be here when an exception left the loop. It uses the link and the
    // controls: let it end (its last calls, WorkerFinished among them, are
    // served here) before they go. There is no time limit: a worker that is
    // settling finishes its point first, and the window must outlive it.
    if (!FWorker) return;
    FClosePending = true;
    FWorker->Stop();
    while (FWorker) {
        if (!rtl::CheckSynchronize()) Sleep(10);
    }
}

// ---- Showing and closing -------------------------------------------------------

void TMainForm::FormShow(rtl::TObject*)
{
    if (!DeviceEntryPoints().ListDevices && !LoadDeviceLibrary()) {
        FLibraryMissing = true;
        // No device check may run behind the message or after it.
        initTimer->SetEnabled(false);
        vcl::Application->MessageBox(kNoLibraryMessage, kProductCaption, MB_OK | MB_ICONERROR);
        // Posted, so that the close runs after the window has been shown.
        PostMessageW(Handle(), WM_CLOSE, 0, 0);
        return;
    }
    FProgramDirectory = ProgramDirectory();
    LoadSettings(FFileControls, FProgramDirectory);

    wchar_t caption[128];
    std::swprintf(caption, 128, L"Zarvonix Волюметра %u.%u.%u", ProgramVersion.Major, ProgramVersion.Minor,
                  ProgramVersion.Release);
    SetCaption(caption);
    ShowStatus(kNotConnectedText, true);
    initTimer->SetEnabled(true);
    FLink.SetDescriptionPrefix(TTerminalLink::kDescriptionPrefix);
    iconList->GetBitmap(TVolumetra::kPumpOffPicture, *imStatRele);
    SetTableHeadings(*sgTableVolumetra);
    lbPerformance->SetCaption(kNoFlowText);
}

void TMainForm::FormClose(rtl::TObject*, vcl::TCloseAction& action)
{
    if (FWorker) {
        // The worker still uses the window and the link: ask it to stop and
        // close once it has ended (WorkerFinished). Until then the window
        // takes no input, and the loop keeps serving the worker's calls.
        action = vcl::caNone;
        if (!FClosePending) {
            FClosePending = true;
            SetEnabled(false);
            FWorker->Stop();
        }
        return;
    }
    initTimer->SetEnabled(false);
    TimerAlwaysRead->SetEnabled(false);
    FLink.CloseDevice();
    // Without the driver the settings were never read: writing the form's
    // defaults would replace the operator's.
    if (!FLibraryMissing) SaveSettings(FFileControls, FProgramDirectory);
}

// ---- Device check ------------------------------------------------------------

void TMainForm::initTimerTimer(rtl::TObject*)
{
    initTimer->SetEnabled(false);
    CheckDevice();
}

void TMainForm::Dispatch(vcl::TMessage& message)
{
    if (message.Msg == WM_DEVICECHANGE) {
        CheckDevice();
        message.Result = TRUE;
        return;
    }
    TForm::Dispatch(message);
}

void TMainForm::CheckDevice()
{
    // A run owns the device, and its worker waits for this thread at every
    // step: waiting here for another instance's check would hold the pump
    // on past its portion.
    if (FLibraryMissing || FRunActive) return;
    const rtl::TWaitResult waited = FDevChangeMutex.WaitFor(kDevChangeWaitMs);
    if (waited != rtl::TWaitResult::wrSignaled && waited != rtl::TWaitResult::wrAbandoned) return;
    struct TRelease {
        rtl::TMutex& FMutex;
        ~TRelease() { FMutex.Release(); }
    } release{FDevChangeMutex};

    if (!FLink.Connected() || FLink.DeviceIndex() < 0) {
        if (!FLink.OpenDevice()) {
            NotConnected();
            return;
        }
        // Reading the version opens the device by index, which asks for a
        // connected link.
        FLink.SetConnected(true);
        const bool read = FLink.ReadFirmwareVersion();
        const TFirmwareCheck check = CheckFirmware(read, FLink.FirmwareNumber());
        FLink.SetConnected(check.FUsable);
        ShowStatus(check.FStatusText, check.FError);
        btVolumetra->SetEnabled(check.FUsable);
        if (check.FUsable && FLink.IsDeviceOpen()) TimerAlwaysRead->SetEnabled(true);
        return;
    }
    // The probe gives back a handle the idle poll holds and opens anew, so
    // the poll goes on with the new one.
    if (!FLink.IsDeviceOpen()) NotConnected();
}

void TMainForm::NotConnected()
{
    FLink.SetConnected(false);
    FLink.SetDeviceIndex(-1);
    // Nothing is left to poll; a poll would only report a read error over
    // the state shown here.
    TimerAlwaysRead->SetEnabled(false);
    FLink.CloseDevice();
    SerNum->SetCaption(kUnknownText);
    SerNum->SetFontColor(vcl::clRed);
    FVersion->SetCaption(kUnknownText);
    FVersion->SetFontColor(vcl::clRed);
    FLink.SetFirmwareNumber(TTerminalLink::kUnknownFirmware);
    btVolumetra->SetEnabled(false);
    ShowStatus(kNotConnectedText, true);
}

void TMainForm::TimerAlwaysReadTimer(rtl::TObject*)
{
    FLink.SendDeviceCommand(TareCommand(0, 0, cbNumberLLS->ItemIndex()));
    DWORD count = 0;
    if (FLink.ReceiveReply(FReply, count, kCommandReplyTimeoutMs) != 0) {
        if (const auto reply = ScanTareReply(FReply.Text()))
            sgTableVolumetra->SetCell(kAdcColumn, kCurrentRow, rtl::IntToStr(reply->AdcValue()));
        return;
    }
    FLink.CloseDevice();
    TimerAlwaysRead->SetEnabled(false);
    sgTableVolumetra->SetCell(kAdcColumn, kCurrentRow, std::wstring());
    ShowStatus(kReadErrorText, true);
}

// ---- Start, stop, pause ----------------------------------------------------------

void TMainForm::btVolumetraClick(rtl::TObject*)
{
    if (FWorker) {
        // The stop first: it releases a hold itself, and a worker woken by
        // Continue before it would see no stop and switch the pump on again.
        const bool wasOnHold = FWorker->OnHold();
        FWorker->Stop();
        if (wasOnHold) Button1->SetCaption(kPauseCaption);
        btVolumetra->SetEnabled(false);
        Button1->SetEnabled(false);
        return;
    }
    const TStartFieldTexts texts{Edit1->Text(),     edBak->Text(),        edColPoint->Text(), edTime->Text(),
                                 edSizeBak->Text(), edDopOstatok->Text(), edBoltanie->Text()};
    const std::wstring failure = CheckStartFields(texts, FFields);
    if (!failure.empty()) {
        ShowMessage(failure);
        return;
    }
    StartRun();
}

void TMainForm::StartRun()
{
    // The rows exist before the worker can write into them.
    PrepareRunTable(*sgTableVolumetra, FFields.FPointCount);
    btVolumetra->SetCaption(kStopCaption);
    ShowStatus(kRunStartedText, false);
    if (TimerAlwaysRead->Enabled()) {
        TimerAlwaysRead->SetEnabled(false);
        FLink.CloseDevice();
    }
    const TVolumetraParams params = MakeVolumetraParams(FFields, cbTypeDUT->ItemIndex(), cbNumberLLS->ItemIndex());
    try {
        FWorker = TVolumetra::Launch(params, FLink, *this);
    } catch (...) {
        // No thread to run it: back to the state before the click, the idle
        // poll included; the exception display says why.
        EndRunControls();
        ShowStatus(kRunStoppedText, false);
        if (FLink.IsDeviceOpen()) TimerAlwaysRead->SetEnabled(true);
        throw;
    }
    Button1->SetEnabled(true);
    btSaveTable->SetEnabled(false);
    FRunActive = true;
    sgTableVolumetra->SetRow(kStartPointRow);
}

void TMainForm::Button1Click(rtl::TObject*)
{
    PauseOrContinue();
}

bool TMainForm::PauseOrContinue()
{
    if (!FWorker) return false;
    if (FWorker->OnHold()) {
        FWorker->Continue();
        Button1->SetCaption(kPauseCaption);
        return false;
    }
    FFields.FTankSize = OptionalWholeNumber(edSizeBak->Text());
    FFields.FAllowedResidual = OptionalWholeNumber(edDopOstatok->Text());
    if (ResidualExceedsTank(FFields.FTankSize, FFields.FAllowedResidual)) {
        ShowMessage(kResidualMessage);
        return false;
    }
    const int pointsBeforePause = PointsBeforePause(FFields.FTankSize, FFields.FAllowedResidual,
                                                    LitresPerPoint(FFields.FTankCapacity, FFields.FPointCount));
    // The worker takes the values and the sensor with the hold, and switches
    // the pump off itself once it holds; this thread never waits for it.
    FWorker->RequestPause(FFields.FTankSize, FFields.FAllowedResidual, pointsBeforePause, cbNumberLLS->ItemIndex());
    Button1->SetCaption(kContinueCaption);
    return true;
}

bool TMainForm::PerformPauseAction()
{
    return PauseOrContinue();
}

void TMainForm::WorkerFinished()
{
    FWorker = nullptr;
    EndRunControls();
    ShowStatus(kRunStoppedText, false);
    if (FClosePending) {
        // The pump is off and the device closed: the close can go on now.
        PostMessageW(Handle(), WM_CLOSE, 0, 0);
        return;
    }
    if (FLink.IsDeviceOpen()) TimerAlwaysRead->SetEnabled(true);
}

void TMainForm::EndRunControls()
{
    btVolumetra->SetCaption(kStartCaption);
    Button1->SetCaption(kPauseCaption);
    Button1->SetEnabled(false);
    btSaveTable->SetEnabled(true);
    FRunActive = false;
    btVolumetra->SetEnabled(true);
}

void TMainForm::btSaveTableClick(rtl::TObject*)
{
    SaveTable(FFileControls, FProgramDirectory, rtl::Now());
}

// ---- Key filters -----------------------------------------------------------------

void TMainForm::Edit1KeyPress(rtl::TObject*, wchar_t& key)
{
    if (!PulsesKeyPasses(key)) key = 0;
}

void TMainForm::edBakKeyPress(rtl::TObject*, wchar_t& key)
{
    if (!WholeNumberKeyPasses(key)) rtl::Abort();
}

void TMainForm::edColPointKeyPress(rtl::TObject* sender, wchar_t& key)
{
    edBakKeyPress(sender, key);
}

void TMainForm::edTimeKeyPress(rtl::TObject* sender, wchar_t& key)
{
    edBakKeyPress(sender, key);
}

void TMainForm::edSizeBakKeyPress(rtl::TObject* sender, wchar_t& key)
{
    edBakKeyPress(sender, key);
}

void TMainForm::edDopOstatokKeyPress(rtl::TObject* sender, wchar_t& key)
{
    edBakKeyPress(sender, key);
}

// ---- What the link and the worker show -------------------------------------------

void TMainForm::ShowStatus(const std::wstring& text, bool error)
{
    CommandInfo->SetCaption(text);
    CommandInfo->SetFontColor(error ? vcl::clRed : vcl::clBlack);
}

void TMainForm::ShowMessage(const std::wstring& text)
{
    vcl::Application->MessageBox(text, kMessageCaption, MB_OK);
}

void TMainForm::ShowSerialNumber(const std::string& serialNumber)
{
    SerNum->SetCaption(rtl::AnsiToWide(serialNumber));
    SerNum->SetFontColor(vcl::clWindowText);
}

void TMainForm::ShowFirmwareVersion(const std::string& versionText)
{
    FVersion->SetCaption(rtl::AnsiToWide(versionText));
    FVersion->SetFontColor(vcl::clWindowText);
}

void TMainForm::SetTargetLitres(const std::wstring& text)
{
    lbTargetLitr->SetCaption(text);
}

void TMainForm::ShowPumpPicture(int picture, const std::wstring& text)
{
    iconList->GetBitmap(picture, *imStatRele);
    lbStatRele->SetCaption(text);
    imStatRele->Invalidate();
    imStatRele->Update();
}

void TMainForm::SetTableCell(int column, int row, const std::wstring& text)
{
    sgTableVolumetra->SetCell(column, row, text);
}

void TMainForm::SetPerformance(const std::wstring& text)
{
    lbPerformance->SetCaption(text);
}

// ---- The controls the files read and fill ---------------------------------------

vcl::TEdit* TMainForm::TFileControls::Edit(TCalibrationText control) const
{
    switch (control) {
    case TCalibrationText::Edit1: return FForm.Edit1;
    case TCalibrationText::edBak: return FForm.edBak;
    case TCalibrationText::edColPoint: return FForm.edColPoint;
    case TCalibrationText::markaAvto: return FForm.markaAvto;
    case TCalibrationText::numberAvto: return FForm.numberAvto;
    case TCalibrationText::markaDut: return FForm.markaDut;
    case TCalibrationText::numberDut: return FForm.numberDut;
    case TCalibrationText::edTime: return FForm.edTime;
    case TCalibrationText::edBoltanie: return FForm.edBoltanie;
    }
    return nullptr;
}

std::wstring TMainForm::TFileControls::Text(TCalibrationText control) const
{
    const vcl::TEdit* edit = Edit(control);
    return edit ? edit->Text() : std::wstring();
}

void TMainForm::TFileControls::SetText(TCalibrationText control, const std::wstring& text)
{
    if (vcl::TEdit* edit = Edit(control)) edit->SetText(text);
}

int TMainForm::TFileControls::SensorIndex() const
{
    return FForm.cbNumberLLS->ItemIndex();
}

void TMainForm::TFileControls::SetSensorIndex(int index)
{
    FForm.cbNumberLLS->SetItemIndex(index);
}

int TMainForm::TFileControls::TableRowCount() const
{
    return FForm.sgTableVolumetra->RowCount();
}

std::wstring TMainForm::TFileControls::TableCell(int column, int row) const
{
    return FForm.sgTableVolumetra->Cell(column, row);
}

void TMainForm::TFileControls::ShowMessage(const std::wstring& text)
{
    FForm.ShowMessage(text);
}

}  // namespace app
