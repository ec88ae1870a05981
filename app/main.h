// The program's main window: the input fields of a calibration, the device
// and pump state, the result table, and the control of the terminal link and
// of the calibration worker.
//
// Built from its stored form description (resource MAINFORM) by the
// application object. Main thread only: the worker reaches the window through
// IVolumetraWindow, whose calls it hands to the main thread. Nothing here
// raises of its own; input errors are message boxes, device errors the status
// line.
#pragma once
#include <windows.h>

#include <string>

#include "app/CalibrationFiles.h"
#include "app/MainFormRules.h"
#include "app/ProgramVersion.h"
#include "app/TerminalLink.h"
#include "app/VolumetraThread.h"
#include "rtl/SyncObjs.h"
#include "vcl/Forms.h"
#include "vcl/Grid.h"
#include "vcl/StdControls.h"

namespace app {

// Read by the entry function before the window is created.
extern TProgramVersion ProgramVersion;

inline constexpr wchar_t kMessageCaption[] = L"Волюметра";
inline constexpr wchar_t kProductCaption[] = L"Zarvonix Волюметра";
inline constexpr wchar_t kDevChangeMutexName[] = L"DevChangeMutex";
inline constexpr DWORD kDevChangeWaitMs = 2000;

class TMainForm : public vcl::TForm, private ILinkDisplay, private IVolumetraWindow {
public:
    TMainForm();
    ~TMainForm() override;

    // The controls, bound by name from the form description.
    vcl::TPanel* SerNum = nullptr;
    vcl::TPanel* FVersion = nullptr;
    vcl::TPanel* idDriver = nullptr;
    vcl::TEdit* Edit1 = nullptr;
    vcl::TImage* imStatRele = nullptr;
    vcl::TLabel* lbStatRele = nullptr;
    vcl::TComboBox* cbTypeDUT = nullptr;
    vcl::TComboBox* cbNumberLLS = nullptr;
    vcl::TEdit* edBak = nullptr;
    vcl::TEdit* edColPoint = nullptr;
    vcl::TEdit* markaAvto = nullptr;
    vcl::TEdit* numberAvto = nullptr;
    vcl::TEdit* markaDut = nullptr;
    vcl::TEdit* numberDut = nullptr;
    vcl::TEdit* edTime = nullptr;
    vcl::TEdit* edBoltanie = nullptr;
    vcl::TEdit* edSizeBak = nullptr;
    vcl::TEdit* edDopOstatok = nullptr;
    vcl::TLabel* lbTargetLitr = nullptr;
    vcl::TStringGrid* sgTableVolumetra = nullptr;
    vcl::TLabel* lbPerformance = nullptr;
    vcl::TButton* Button1 = nullptr;
    vcl::TButton* btVolumetra = nullptr;
    vcl::TButton* btSaveTable = nullptr;
    vcl::TLabel* CommandInfo = nullptr;
    vcl::TTimer* initTimer = nullptr;
    vcl::TTimer* TimerAlwaysRead = nullptr;
    vcl::TImageList* iconList = nullptr;

    // Event handlers, bound by the names the description gives.
    void FormShow(rtl::TObject* sender);
    void FormClose(rtl::TObject* sender, vcl::TCloseAction& action);
    void initTimerTimer(rtl::TObject* sender);
    void TimerAlwaysReadTimer(rtl::TObject* sender);
    void btVolumetraClick(rtl::TObject* sender);
    void Button1Click(rtl::TObject* sender);
    void btSaveTableClick(rtl::TObject* sender);
    void Edit1KeyPress(rtl::TObject* sender, wchar_t& key);
    void edBakKeyPress(rtl::TObject* sender, wchar_t& key);
    void edColPointKeyPress(rtl::TObject* sender, wchar_t& key);
    void edTimeKeyPress(rtl::TObject* sender, wchar_t& key);
    void edSizeBakKeyPress(rtl::TObject* sender, wchar_t& key);
    void edDopOstatokKeyPress(rtl::TObject* sender, wchar_t& key);

    // The status line CommandInfo: red for an error, black otherwise.
    void ShowStatus(const std::wstring& text, bool error) override;
    // Looks for the terminal (when none is known) or probes the known one
    // (when no run is active), under the named mutex "DevChangeMutex"; a
    // check that cannot take it within 2000 ms is skipped.
    void CheckDevice();

    // The device-change message runs the device check and goes no further.
    void Dispatch(vcl::TMessage& message) override;

    TTerminalLink& Link() noexcept { return FLink; }
    bool RunActive() const noexcept { return FRunActive; }

private:
    // The controls as the two files see them.
    class TFileControls : public CalibrationControls {
    public:
        explicit TFileControls(TMainForm& form) : FForm(form) {}
        std::wstring Text(TCalibrationText control) const override;
        void SetText(TCalibrationText control, const std::wstring& text) override;
        int SensorIndex() const override;
        void SetSensorIndex(int index) override;
        int TableRowCount() const override;
        std::wstring TableCell(int column, int row) const override;
        void ShowMessage(const std::wstring& text) override;

    private:
        vcl::TEdit* Edit(TCalibrationText control) const;
        TMainForm& FForm;
    };

    // ILinkDisplay
    void ShowSerialNumber(const std::string& serialNumber) override;
    void ShowFirmwareVersion(const std::string& versionText) override;
    // IVolumetraWindow
    void SetTargetLitres(const std::wstring& text) override;
    void ShowPumpPicture(int picture, const std::wstring& text) override;
    void SetTableCell(int column, int row, const std::wstring& text) override;
    void SetPerformance(const std::wstring& text) override;
    bool PerformPauseAction() override;
    void WorkerFinished() override;

    void ShowMessage(const std::wstring& text);
    void NotConnected();
    // The pause button: continues a worker on hold, or checks the tank size
    // and residual and asks the worker to hold. True when a hold was asked.
    bool PauseOrContinue();
    void StartRun();
    void EndRunControls();

    TFileControls FFileControls{*this};
    TTerminalLink FLink;
    rtl::TMutex FDevChangeMutex{kDevChangeMutexName};
    TReplyBuffer<kCommandReplySize> FReply;
    TMainFormFields FFields;
    TVolumetra* FWorker = nullptr;  // weak: frees itself after WorkerFinished
    bool FRunActive = false;
    bool FLibraryMissing = false;  // the program ends without touching the settings
    bool FClosePending = false;    // closed during a run: close once the worker has ended
    std::wstring FProgramDirectory;
};

}  // namespace app
