// The calibration worker: fill, settle and record, point by point.
#include "app/VolumetraThread.h"

#include <climits>
#include <cmath>
#include <exception>

#include "rtl/SysUtils.h"

namespace app {

namespace {

// The x87 unit keeps intermediate results in 80 bits for as long as the
// optimiser holds them in registers; storing through a volatile rounds each
// step to the declared type, so the portion rule decides the same whatever
// the compiler kept where.
double Rounded(double value) noexcept
{
    volatile double stored = value;
    return stored;
}

float RoundedFloat(float value) noexcept
{
    volatile float stored = value;
    return stored;
}

int TruncatedToInt(double value) noexcept
{
    if (std::isnan(value)) return INT_MAX;  // no usable count: never pause by itself
    if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (value <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(value);  // toward zero
}

}  // namespace

bool VolumetraParamsUsable(const TVolumetraParams& params) noexcept
{
    return params.FPointCount > 0 && params.FTankCapacity > 0 && std::isfinite(params.FPulsesPerLitre) &&
           params.FPulsesPerLitre > 0;
}

float LitresPerPoint(int tankCapacity, int pointCount) noexcept
{
    return RoundedFloat(static_cast<float>(tankCapacity) / static_cast<float>(pointCount));
}

double MarginPulses(float litresPerPoint, float pulsesPerLitre) noexcept
{
    const double pulsesPerPoint = Rounded(static_cast<double>(litresPerPoint) * static_cast<double>(pulsesPerLitre));
    return Rounded(pulsesPerPoint * kEarlyFraction);
}

double TargetPulses(int point, float litresPerPoint, float pulsesPerLitre) noexcept
{
    const double litres = Rounded((static_cast<double>(point) + 1) * static_cast<double>(litresPerPoint));
    return Rounded(litres * static_cast<double>(pulsesPerLitre));
}

bool PortionIsIn(std::int32_t pulses, double target, double margin) noexcept
{
    const double p = pulses;
    const double early = Rounded(target - margin);
    return (early < p && p < target) || p > target;
}

int PointsBeforePause(int tankSize, int allowedResidual, float litresPerPoint) noexcept
{
    const double litres = static_cast<double>(tankSize) - static_cast<double>(allowedResidual);
    const double points = Rounded(litres / static_cast<double>(litresPerPoint));
    return TruncatedToInt(Rounded(points + 1));
}

std::int32_t PulsesSince(std::int32_t start, std::int32_t counter) noexcept
{
    // The terminal's counter is 32 bits and wraps; the difference of the two
    // readings is right across one wrap, and signed arithmetic would overflow.
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(counter) - static_cast<std::uint32_t>(start));
}

std::wstring LitresText(double litres)
{
    return rtl::FloatToStrF(litres, rtl::TFloatFormat::ffFixed, 4, 3);
}

void TSettlingWindow::Add(int adcValue) noexcept
{
    FValues[FPosition] = adcValue;
    FPosition = (FPosition + 1) % kSettlingWindow;
}

bool TSettlingWindow::IsStable(float deviation) const noexcept
{
    int lo = FValues[0];
    int hi = FValues[0];
    for (int value : FValues) {
        if (value < lo) lo = value;
        if (value > hi) hi = value;
    }
    // A sensor that reads 0 would divide by zero; 0 counts as 1.
    if (lo == 0) lo = 1;
    if (hi == 0) hi = 1;
    const double ratio = Rounded(static_cast<double>(lo) / static_cast<double>(hi));
    const double spread = Rounded(100 - Rounded(ratio * 100));
    return spread <= static_cast<double>(deviation);
}

// ---- TVolumetra -----------------------------------------------------------

TVolumetra::TVolumetra(bool createSuspended, const TVolumetraParams& params, TTerminalLink& link,
                       IVolumetraWindow& window)
    : FParams(params),
      FLink(link),
      FWindow(window),
      FCommands(link, this),
      FTankSize(params.FTankSize),
      FAllowedResidual(params.FAllowedResidual)
{
    // The class is final: the object is whole here.
    if (!createSuspended) Start();
}

TVolumetra::~TVolumetra()
{
    // The base class would wait only after our members are gone, and Execute
    // uses them; a free-on-end worker is deleted by its own thread instead.
    if (Handle() != nullptr && !FreeOnTerminate() && !Finished() && ::GetCurrentThreadId() != ThreadID()) {
        Stop();
        try {
            WaitFor();
        } catch (...) {}
    }
}

TVolumetra* TVolumetra::Launch(const TVolumetraParams& params, TTerminalLink& link, IVolumetraWindow& window)
{
    auto* worker = new TVolumetra(true, params, link, window);
    worker->SetFreeOnTerminate(true);
    worker->SetPriority(THREAD_PRIORITY_NORMAL);
    worker->SetOnTerminate([&window](rtl::TThread&) { window.WorkerFinished(); });
    try {
        worker->Start();
    } catch (...) {
        delete worker;  // never started: still ours
        throw;
    }
    return worker;
}

void TVolumetra::RequestPause(int tankSize, int allowedResidual, int pointsBeforePause, int sensorIndex)
{
    {
        rtl::TCriticalSectionLock lock(FLock);
        FTankSize = tankSize;
        FAllowedResidual = allowedResidual;
        FPointsBeforePause = pointsBeforePause;
        FHoldSensorIndex = sensorIndex;
    }
    FHoldRequested = true;
}

void TVolumetra::Continue()
{
    FHoldRequested = false;
    FHoldChanged.SetEvent();
}

void TVolumetra::Stop()
{
    Terminate();
    FHoldChanged.SetEvent();
}

int TVolumetra::TankSize() const
{
    rtl::TCriticalSectionLock lock(FLock);
    return FTankSize;
}

int TVolumetra::AllowedResidual() const
{
    rtl::TCriticalSectionLock lock(FLock);
    return FAllowedResidual;
}

int TVolumetra::PointsLeftBeforePause() const
{
    rtl::TCriticalSectionLock lock(FLock);
    return FPointsBeforePause;
}

void TVolumetra::OnMain(const rtl::TThreadMethod& method)
{
    rtl::Synchronize(method);
}

void TVolumetra::ShowPumpState(bool on)
{
    OnMain([this, on] {
        FWindow.ShowPumpPicture(on ? kPumpOnPicture : kPumpOffPicture, on ? kPumpOnText : kPumpOffText);
    });
}

void TVolumetra::ShowTargetLitres()
{
    OnMain([this] {
        const double litres = Rounded((static_cast<double>(FCurrentPoint.load()) + 1) * FLitresPerPoint);
        FWindow.SetTargetLitres(LitresText(litres));
    });
}

void TVolumetra::ShowWorkerStatus(const wchar_t* text)
{
    FStatusText = text;
    OnMain([this] { FWindow.ShowStatus(FStatusText, false); });
}

void TVolumetra::ShowPoint(int row, double litres)
{
    const int adc = FCommands.LastAdcValue();
    OnMain([this, row, litres, adc] {
        FWindow.SetTableCell(kLitresColumn, row, LitresText(litres));
        FWindow.SetTableCell(kAdcColumn, row, rtl::IntToStr(adc));
    });
}

void TVolumetra::ShowRate(std::int32_t counter, DWORD& referenceTick, std::int32_t& referenceCount)
{
    if (TickDelta(referenceTick) < kRateIntervalMs) return;
    referenceTick = ::GetTickCount();
    // Litres in the last interval, taken as one second: litres per minute.
    const double rate = static_cast<double>(PulsesSince(referenceCount, counter)) / FParams.FPulsesPerLitre * 60;
    referenceCount = counter;
    OnMain([this, rate] { FWindow.SetPerformance(LitresText(rate) + kRateSuffix); });
}

void TVolumetra::AutomaticPause()
{
    bool held = false;
    OnMain([this, &held] { held = FWindow.PerformPauseAction(); });
    // Taken at once: the fill's first exchange would switch the pump on.
    if (held) HoldIfRequested();
}

bool TVolumetra::HoldIfRequested()
{
    if (!FHoldRequested.load() || Terminated()) return FStoppedInHold;
    int sensor;
    {
        rtl::TCriticalSectionLock lock(FLock);
        sensor = FHoldSensorIndex;
    }
    FHolding = true;
    // The pump must not run while nobody watches the count.
    int ignored = 0;
    FCommands.ExchangeTare(0, 0, sensor, ignored);
    while (FHoldRequested.load() && !Terminated())
        FHoldChanged.WaitFor(100);  // the timeout also catches a bare Terminate()
    FHolding = false;
    if (Terminated()) FStoppedInHold = true;
    return FStoppedInHold;
}

bool TVolumetra::Tare(int pump, std::int32_t& counter)
{
    HoldIfRequested();
    // The operator held the run to keep the pump off and then stopped it:
    // it ends without pumping again.
    if (FStoppedInHold && pump != 0) return false;
    int value = counter;
    const bool accepted = FCommands.ExchangeTare(pump, pump, FParams.FSensorIndex, value);
    counter = value;
    return accepted;
}

void TVolumetra::Execute()
{
    std::exception_ptr failure;
    try {
        if (VolumetraParamsUsable(FParams)) Run();
    } catch (...) {
        failure = std::current_exception();
    }
    // The end of every run, however it ended: pump off, device closed.
    try {
        int ignored = 0;
        FCommands.ExchangeTare(0, 0, FParams.FSensorIndex, ignored);
    } catch (...) {
        if (!failure) failure = std::current_exception();
    }
    FLink.CloseDevice();
    if (failure) std::rethrow_exception(failure);
}

void TVolumetra::Run()
{
    const float pulsesPerLitre = FParams.FPulsesPerLitre;
    FLitresPerPoint = LitresPerPoint(FParams.FTankCapacity, FParams.FPointCount);
    const double margin = MarginPulses(FLitresPerPoint, pulsesPerLitre);
    {
        rtl::TCriticalSectionLock lock(FLock);
        FPointsBeforePause = PointsBeforePause(FTankSize, FAllowedResidual, FLitresPerPoint);
    }
    FCurrentPoint = 0;

    if (!FLink.IsDeviceOpen()) return;

    HoldIfRequested();
    if (!FCommands.SendPeriodCount(kPeriodCountParameter, kPeriodCountValue)) Stop();
    HoldIfRequested();
    if (!FCommands.SendInputFlags(kInputFlagsInput)) Stop();
    std::int32_t start = 0;
    if (!Tare(0, start)) {
        // Without a start count no litres value of this run would be right.
        Stop();
        return;
    }
    std::int32_t counter = start;

    // The start point: nothing filled yet, written as the integer 0.
    const int startAdc = FCommands.LastAdcValue();
    OnMain([this, startAdc] {
        FWindow.SetTableCell(kLitresColumn, kStartPointRow, rtl::IntToStr(0));
        FWindow.SetTableCell(kAdcColumn, kStartPointRow, rtl::IntToStr(startAdc));
    });
    ::Sleep(kFillPauseMs);
    DWORD referenceTick = ::GetTickCount();
    std::int32_t referenceCount = start;
    TSettlingWindow window;

    for (int point = 0; point < FParams.FPointCount; ++point) {
        FCurrentPoint = point;
        ShowTargetLitres();

        bool pause;
        {
            rtl::TCriticalSectionLock lock(FLock);
            if (FTankSize > 0 && FAllowedResidual > 0) --FPointsBeforePause;
            pause = FPointsBeforePause == 0;
        }
        if (pause) AutomaticPause();

        // Fill: one pass at least, until the portion is in or a stop is asked.
        const double target = TargetPulses(point, FLitresPerPoint, pulsesPerLitre);
        double litres = 0;
        bool portionIn = false;
        do {
            ShowRate(counter, referenceTick, referenceCount);
            ::Sleep(kFillPauseMs);
            if (Tare(1, counter)) {
                ShowWorkerStatus(kFillingText);
                const std::int32_t pulses = PulsesSince(start, counter);
                litres = pulses / static_cast<double>(pulsesPerLitre);
                ShowPoint(kCurrentRow, litres);
                portionIn = PortionIsIn(pulses, target, margin);
                ::Sleep(kFillPauseMs);
                if (portionIn) Tare(0, counter);
            }
        } while (!portionIn && !Terminated());

        // Pump off and read; without an answer the count is unknown.
        if (!Tare(0, counter)) return;
        litres = PulsesSince(start, counter) / static_cast<double>(pulsesPerLitre);
        ShowPoint(kCurrentRow, litres);
        ShowWorkerStatus(kSettlingText);

        // Settle. A stop waits for this point to be recorded.
        for (;;) {
            for (int slice = 0; slice < FParams.FSettlingTime * 2; ++slice) ::Sleep(kSettleSliceMs);
            if (!Tare(0, counter)) break;  // the point stays empty
            litres = PulsesSince(start, counter) / static_cast<double>(pulsesPerLitre);
            ShowPoint(kCurrentRow, litres);
            window.Add(FCommands.LastAdcValue());
            if (window.IsStable(FParams.FDeviation)) {
                ShowPoint(PointRow(point), litres);
                break;
            }
        }
        if (Terminated()) return;
    }
}

}  // namespace app
