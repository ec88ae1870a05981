// The calibration worker: the thread that fills the tank portion by portion,
// waits for the level sensor to settle after each portion and writes litres
// and ADC value of every point into the main window's result table.
//
// Threads: the worker runs on a thread of its own and exchanges with the
// terminal through the main window's link. It reaches the window only through
// IVolumetraWindow, whose every call it hands to the main thread (Synchronize)
// and waits for. The main thread controls it through RequestPause, Continue
// and Stop, none of which waits for the worker. Nothing here shows a message
// or raises into the caller (but Launch, when the system gives no thread):
// failures of the terminal end the run, and the pump is switched off at the
// end of every run, whatever ended it.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "app/DeviceCommands.h"
#include "app/TerminalLink.h"
#include "rtl/Classes.h"
#include "rtl/SyncObjs.h"

namespace app {

// The parameters of one run, as the start button reads them from the window.
struct TVolumetraParams {
    float FPulsesPerLitre = 0;     // flow-meter pulses per litre
    std::uint8_t FSensorType = 0;  // 0 = "RS-485"; kept, not used by the run
    int FTankCapacity = 0;         // litres filled over the whole run
    int FPointCount = 0;           // portions of the run
    int FSensorIndex = 0;          // level sensor on the terminal's bus, 0..7
    float FDeviation = 0;          // allowed spread of the last five ADC values, percent
    int FSettlingTime = 0;         // seconds to wait before each settling read
    int FTankSize = -1;            // litres; -1 when not given
    int FAllowedResidual = -1;     // litres; -1 when not given
};

// False for parameters a run cannot work with: no points, no capacity, or a
// pulse rate that is not a positive number (they would divide by zero or fill
// backwards). The start button refuses them; a worker given them anyway
// fills nothing and only switches the pump off.
bool VolumetraParamsUsable(const TVolumetraParams& params) noexcept;

// ---- The rules of a run, exposed for the main window and the tests ------

inline constexpr double kEarlyFraction = 0.006;  // of a portion: counts as reached early
inline constexpr DWORD kRateIntervalMs = 1000;
inline constexpr DWORD kFillPauseMs = 25;     // before and after each fill exchange
inline constexpr DWORD kSettleSliceMs = 500;  // twice per second of settling time
inline constexpr int kSettlingWindow = 5;
inline constexpr int kPeriodCountParameter = 34;
inline constexpr int kPeriodCountValue = 0;
inline constexpr int kInputFlagsInput = 3;

// Grid rows and columns of the result table.
inline constexpr int kLitresColumn = 1;
inline constexpr int kAdcColumn = 2;
inline constexpr int kCurrentRow = 1;
inline constexpr int kStartPointRow = 3;
inline constexpr int PointRow(int point) noexcept
{
    return point + 4;
}

// Tank capacity / number of points, as the worker keeps it (a float).
// pointCount must be above 0.
float LitresPerPoint(int tankCapacity, int pointCount) noexcept;
// Pulses short of a target that count as reached: litres per point ×
// pulses per litre × 0.006. Computed in double, rounded to double at every
// step, so that the decision is the same at every optimisation level.
double MarginPulses(float litresPerPoint, float pulsesPerLitre) noexcept;
// Pulses after the start count at which the 0-based point is in:
// (point + 1) × litres per point × pulses per litre, in double.
double TargetPulses(int point, float litresPerPoint, float pulsesPerLitre) noexcept;
// The portion is in when T - M < P < T, or P > T; a count of exactly T is not.
bool PortionIsIn(std::int32_t pulses, double target, double margin) noexcept;
// Points left until the automatic pause: (tank size - residual) / litres per
// point + 1, truncated toward zero; held inside int.
int PointsBeforePause(int tankSize, int allowedResidual, float litresPerPoint) noexcept;
// Pulses counted since `start`, across a wrap of the terminal's 32-bit counter.
std::int32_t PulsesSince(std::int32_t start, std::int32_t counter) noexcept;
// litres as the table shows them: fixed-point, precision 4, 3 decimals, the
// user's decimal separator (20 -> "20,000", 123.456 -> "123,500").
std::wstring LitresText(double litres);

// The last five ADC values of the settling reads. It starts with five zeros
// and is not cleared between points, so a point's first reads are judged
// together with the last values of the point before.
class TSettlingWindow {
public:
    void Add(int adcValue) noexcept;
    // 100 - Lo / Hi × 100 ≤ deviation, where Lo and Hi are the smallest and
    // largest value, each counted as 1 when it is 0.
    bool IsStable(float deviation) const noexcept;

private:
    int FValues[kSettlingWindow] = {};
    int FPosition = 0;
};

// ---- What the worker needs of the main window ---------------------------

// Implemented by the main window (a test double in the tests). Every call is
// made on the main thread, while the worker waits; none may wait for the
// worker.
class IVolumetraWindow {
public:
    virtual ~IVolumetraWindow() = default;

    // The label lbTargetLitr: the target litres of the point being filled.
    virtual void SetTargetLitres(const std::wstring& text) = 0;
    // The status line (the window's ShowStatus): text, red when error is set.
    virtual void ShowStatus(const std::wstring& text, bool error) = 0;
    // The pump state: imStatRele shows picture `picture` of iconList and is
    // repainted; lbStatRele shows `text`.
    virtual void ShowPumpPicture(int picture, const std::wstring& text) = 0;
    // One cell of the result grid sgTableVolumetra.
    virtual void SetTableCell(int column, int row, const std::wstring& text) = 0;
    // The flow-rate label lbPerformance.
    virtual void SetPerformance(const std::wstring& text) = 0;
    // The pause button's action, exactly as if the operator had pressed it
    // (Button1Click): read and check the tank size and residual again, and
    // either show the check's message or hand them to the worker with
    // TVolumetra::RequestPause. Answers whether a hold was requested.
    virtual bool PerformPauseAction() = 0;
    // The end handler: the run is over, the pump is off and the device closed.
    // The worker is freed right after this returns: forget it here.
    virtual void WorkerFinished() = 0;
};

// ---- The worker -----------------------------------------------------------

class TVolumetra final : public rtl::TThread, private ICommandHost {
public:
    static constexpr wchar_t kFillingText[] = L"Наполняем Бак";
    static constexpr wchar_t kSettlingText[] = L"Ожидаем устаканивание в баке";
    static constexpr wchar_t kPumpOnText[] = L"Насос включен";
    static constexpr wchar_t kPumpOffText[] = L"Насос выключен";
    static constexpr wchar_t kRateSuffix[] = L" л/мин.";
    static constexpr int kPumpOnPicture = 0;
    static constexpr int kPumpOffPicture = 1;

    // Copies the parameters. link and window must outlive the worker. The
    // thread always starts suspended; createSuspended false starts it here.
    TVolumetra(bool createSuspended, const TVolumetraParams& params, TTerminalLink& link, IVolumetraWindow& window);
    // A worker that is not free-on-end and still runs is stopped and waited for.
    ~TVolumetra() override;

    // What the start button does: a suspended worker, free-on-end, normal
    // priority, end handler window.WorkerFinished, started. The pointer is
    // valid on the main thread until WorkerFinished has run. Raises
    // rtl::EThread when the system gives no thread.
    static TVolumetra* Launch(const TVolumetraParams& params, TTerminalLink& link, IVolumetraWindow& window);

    // Main thread (the pause button). Puts the worker on hold before its next
    // exchange with the terminal, with the tank size, residual and points
    // before pause that the button read. On entering the hold the worker
    // itself switches the pump off (ExchangeTare 0, 0, sensorIndex, the
    // sensor chosen at the click). Returns at once.
    void RequestPause(int tankSize, int allowedResidual, int pointsBeforePause, int sensorIndex);
    // Main thread. Ends the hold (or drops a hold not yet taken).
    void Continue();
    // Any thread. The stop request; it also releases a hold, and a worker
    // released by it does not switch the pump on again.
    void Stop();
    // A hold is requested and not yet continued: the pause button reads
    // "Продолжить".
    bool OnHold() const noexcept { return FHoldRequested.load(); }
    // The worker is inside the hold (its pump-off exchange sent or being sent).
    bool Holding() const noexcept { return FHolding.load(); }

    // Read by the main thread while the worker waits in a window call.
    int CurrentPoint() const noexcept { return FCurrentPoint; }
    float LitresPerPointValue() const noexcept { return FLitresPerPoint.load(); }
    int TankSize() const;
    int AllowedResidual() const;
    int PointsLeftBeforePause() const;
    const TVolumetraParams& Params() const noexcept { return FParams; }

protected:
    void Execute() override;

private:
    // ICommandHost, called by the exchanges on the worker's thread.
    void RequestStop() override { Stop(); }
    void ShowPumpState(bool on) override;

    void Run();
    void ShowTargetLitres();
    void ShowWorkerStatus(const wchar_t* text);
    void ShowPoint(int row, double litres);
    void ShowRate(std::int32_t counter, DWORD& referenceTick, std::int32_t& referenceCount);
    void AutomaticPause();
    // Takes a requested hold; true once a stop has ended a hold of this run.
    bool HoldIfRequested();
    // The exchanges, each after a hold that may be pending.
    bool Tare(int pump, std::int32_t& counter);
    void OnMain(const rtl::TThreadMethod& method);

    TVolumetraParams FParams;               // the nine parameters, copied
    TTerminalLink& FLink;                   // weak: the main window's
    IVolumetraWindow& FWindow;              // weak
    TDeviceCommands FCommands;              // the reply buffer is its own
    std::atomic<float> FLitresPerPoint{0};  // set once at the start of the run
    std::atomic<int> FCurrentPoint{0};
    std::wstring FStatusText;
    bool FStoppedInHold = false;  // the worker's thread only

    // The hold, and the values the pause button changes while the run goes on.
    mutable rtl::TCriticalSection FLock;
    int FTankSize;               // guarded by FLock
    int FAllowedResidual;        // guarded by FLock
    int FPointsBeforePause = 0;  // guarded by FLock
    int FHoldSensorIndex = 0;    // guarded by FLock
    std::atomic<bool> FHoldRequested{false};
    std::atomic<bool> FHolding{false};
    rtl::TEvent FHoldChanged{false, false};
};

}  // namespace app
