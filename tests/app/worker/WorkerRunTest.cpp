// Calibration runs against the simulated terminal: what the worker records,
// how it reacts to a terminal that fails, the hold and the stop, and the
// automatic pause.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "rtl/SysUtils.h"
#include "tests/app/worker/WorkerTestSupport.h"

namespace {

using workertest::Exchange;
using workertest::RecordingWindow;
using workertest::RunExchanges;
using workertest::Split;

// The bench's pump at 1500 l/min (about 3 l per fill pass). On a slower
// machine (VOLUMETRA_TIME_SCALE) it runs as much slower, so that a portion
// still takes several fill passes; the settling reads keep their pace in
// time, and so does the sensor.
std::string PumpFlow()
{
    return "FlowLitresPerMinute=" + std::to_string(1500 / testsupport::TimeScale()) + "\n";
}

// 200 pulses per litre; the sensor reads 500 + 10 per litre and follows the
// level with a lag of 150 ms, longer than one read.
std::string Bench()
{
    return "[Device0]\nDescription=Zarvonix\n[Pump]\n" + PumpFlow() +
           "PulsesPerLitre=200\nCounterStart=100000\n"
           "[Tank]\nLitres=0\nCapacity=1000\nSettleMs=150\n"
           "[Sensors]\nTable=0:500,500:5500\nNoise=0\n";
}
const std::vector<std::pair<double, double>> kBenchTable = {{0, 500}, {500, 5500}};

// A pump so fast (1 l/ms) that the second fill pass passes any target of
// these runs, and a sensor without lag: the exchanges are numbered the same
// in every run. Tare exchange 1 reads the start count, 2 and 3 are the first
// point's passes, 4 its pump-off, 5 the read after the fill, 6 to 10 its
// settling reads.
constexpr char kFastBench[] = "[Device0]\nDescription=Zarvonix\n"
                              "[Pump]\nFlowLitresPerMinute=60000\nPulsesPerLitre=200\nCounterStart=5000\n"
                              "[Tank]\nLitres=0\nCapacity=100000\nSettleMs=0\n"
                              "[Sensors]\nTable=0:500,2000:20500\nNoise=0\n";

std::size_t PumpOnCount(const std::vector<Exchange>& exchanges)
{
    return static_cast<std::size_t>(
        std::count_if(exchanges.begin(), exchanges.end(), [](const Exchange& e) { return e.PumpOn(); }));
}

class WorkerRun : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(app::LoadDeviceLibrary(), nullptr) << "ftd2xx.dll beside the test program"; }

    // A fresh bench and a link that the device check found connected.
    void Use(const std::string& ini)
    {
        FBench.Use(ini);
        FLink = std::make_unique<app::TTerminalLink>();
        ASSERT_TRUE(FLink->OpenDevice()) << FBench.LogText();
        FLink->SetConnected(true);
    }

    // Runs the worker to its end while serving its main-thread calls.
    void Run(RecordingWindow& window, const app::TVolumetraParams& params, DWORD timeoutMs,
             const std::function<void()>& idle = {})
    {
        const DWORD start = GetTickCount();
        workertest::Launch(params, *FLink, window);
        EXPECT_TRUE(workertest::PumpUntilFinished(window, timeoutMs, idle)) << "the run overstayed";
        std::printf("run of %d point(s): %lu ms\n", params.FPointCount, GetTickCount() - start);
        EXPECT_EQ(window.FFinishedCount, 1);
        EXPECT_EQ(FLink->DeviceHandle(), 0u) << "the device is closed at the end";
    }

    // The pump is off at the end: the last command sent switched it off and
    // the window shows it off.
    void ExpectPumpOffAtTheEnd(const RecordingWindow& window, const std::vector<Exchange>& exchanges)
    {
        if (!exchanges.empty()) {
            EXPECT_TRUE(exchanges.back().PumpOff()) << exchanges.back().Command;
        }
        const auto pump = window.Events("pump");
        ASSERT_FALSE(pump.empty());
        EXPECT_EQ(pump.back().Picture, app::TVolumetra::kPumpOffPicture);
        EXPECT_EQ(pump.back().Text, L"Насос выключен");
        EXPECT_FALSE(window.FPumpOn);
    }

    simtest::SimBench FBench;
    std::unique_ptr<app::TTerminalLink> FLink;
};

TEST_F(WorkerRun, WholeRunRecordsEveryPointAtItsCountAndSettledValue)
{
    Use(Bench());
    RecordingWindow window;
    const app::TVolumetraParams params = workertest::Params(400, 20);
    Run(window, params, 240000);
    const auto exchanges = workertest::Exchanges(FBench);
    ExpectPumpOffAtTheEnd(window, exchanges);

    const RunExchanges run = Split(exchanges);
    EXPECT_EQ(run.Startup, (std::vector<std::string>{"PERIODCOUNT34=0;", "INPFLAGS3=1,0,0,0,B,0,0,0,0;"}));
    ASSERT_TRUE(run.Start);
    const int start = run.Start->PulseCounter();
    EXPECT_EQ(start, 100000);
    EXPECT_EQ(window.Cell(1, 3), L"0");
    EXPECT_EQ(window.Cell(2, 3), rtl::IntToStr(run.Start->AdcValue()));
    ASSERT_EQ(run.Points.size(), 20u);

    std::vector<std::wstring> targets;
    for (const auto& e : window.Events("target")) targets.push_back(e.Text);
    std::vector<std::wstring> expectedTargets;
    for (int j = 1; j <= 20; ++j) expectedTargets.push_back(app::LitresText(20.0 * j));
    EXPECT_EQ(targets, expectedTargets);

    app::TSettlingWindow settling;  // replayed over the whole run
    for (std::size_t j = 0; j < run.Points.size(); ++j) {
        SCOPED_TRACE(testing::Message() << "point " << j + 1);
        const RunExchanges::Point& point = run.Points[j];
        ASSERT_GE(point.Fills.size(), 2u);
        // Pump-offs: the one of the deciding pass, the read after the fill,
        // the settling reads, and for the last point the end of the run.
        const bool last = j + 1 == run.Points.size();
        ASSERT_GE(point.Offs.size(), last ? 8u : 7u);

        // The count stands still while the pump is off.
        const int final = app::PulsesSince(start, point.Offs[1].PulseCounter());
        for (const auto& off : point.Offs) EXPECT_EQ(app::PulsesSince(start, off.PulseCounter()), final);
        const double target = 4000.0 * static_cast<double>(j + 1);
        std::int32_t pass = 0;  // the most pulses between two fill reads
        for (std::size_t k = 1; k < point.Fills.size(); ++k)
            pass = std::max(pass, app::PulsesSince(point.Fills[k - 1].PulseCounter(), point.Fills[k].PulseCounter()));
        // The deciding read is the first one past T - M, so at most one pass
        // past the target; the pump-off follows it within the same pass. The
        // read reports the count when the command arrives and the pump runs on
        // while the reply is awaited, so the table shows up to two passes over.
        const int decided = app::PulsesSince(start, point.Fills.back().PulseCounter());
        EXPECT_TRUE(app::PortionIsIn(decided, target, 24)) << decided;
        const int before = app::PulsesSince(start, point.Fills[point.Fills.size() - 2].PulseCounter());
        EXPECT_FALSE(app::PortionIsIn(before, target, 24)) << before << ": a pass too many";
        EXPECT_LE(decided - target, pass);
        // (A stall of the main thread in the display calls lengthens it; half a
        // pass of slack keeps a loaded machine from failing the run, and a
        // slower one gets as much more as it is slower.)
        const auto slack = static_cast<std::int32_t>(pass / 2 * testsupport::TimeScale());
        EXPECT_LT(final - decided, pass + slack) << "the pump ran on for a pass after the decision";
        EXPECT_GT(final, target - 24) << "short of the portion";
        EXPECT_EQ(window.Cell(1, app::PointRow(static_cast<int>(j))), app::LitresText(final / 200.0));

        // The settling reads: the point is recorded at the first read that
        // makes the window stable, after five reads at least.
        const std::size_t firstRead = 2;
        const std::size_t reads = point.Offs.size() - firstRead - (last ? 1 : 0);
        EXPECT_GE(reads, 5u);
        std::size_t stableAt = 0;
        for (std::size_t k = 0; k < reads && stableAt == 0; ++k) {
            settling.Add(point.Offs[firstRead + k].AdcValue());
            if (settling.IsStable(params.FDeviation)) stableAt = k + 1;
        }
        EXPECT_EQ(stableAt, reads) << "recorded at its first stable read";
        const int adc = point.Offs[firstRead + reads - 1].AdcValue();
        EXPECT_EQ(window.Cell(2, app::PointRow(static_cast<int>(j))), rtl::IntToStr(adc));
        // Settled: close to what the sensor shows for the litres in the tank.
        EXPECT_NEAR(workertest::LitresForAdc(kBenchTable, adc), final / 200.0, 0.5);
    }
    EXPECT_EQ(window.Cell(1, app::PointRow(20)), L"") << "no row past the last point";

    // The status line and the flow rate.
    const auto status = window.Events("status");
    ASSERT_FALSE(status.empty());
    EXPECT_TRUE(std::all_of(status.begin(), status.end(), [](const auto& e) { return !e.Error; }));
    EXPECT_EQ(status.front().Text, L"Наполняем Бак");
    EXPECT_EQ(status.back().Text, L"Ожидаем устаканивание в баке");
    const auto rates = window.Events("rate");
    ASSERT_FALSE(rates.empty());
    for (const auto& rate : rates) EXPECT_TRUE(rate.Text.ends_with(L" л/мин.")) << rtl::WideToAnsi(rate.Text);
}

TEST_F(WorkerRun, FailingTerminalEndsOrSkipsAndLeavesThePumpOff)
{
    static constexpr struct {
        const char* fault;
        int pumpOns;         // pump-on commands sent; -1: not counted
        bool first, second;  // points recorded
    } kCases[] = {
        {"", 3, true, true},
        {"Tare.Stray=3", 4, true, true},            // a garbled fill read: the pass is repeated
        {"Tare.Truncate=5", 2, false, false},       // the read after the fill is not good: the run ends
        {"Tare.Stray=6", 3, false, true},           // a garbled settling read skips the point
        {"Tare.NoReply=6-", 2, false, false},       // the terminal goes silent while settling
        {"Tare.NoReply=3-", 2, false, false},       // ... while filling
        {"PeriodCount.NoReply=1", 1, true, false},  // stop request: one pass, the point recorded
        {"InputFlags.NoReply=1", 1, true, false},
        {"Tare.NoReply=1", 0, false, false},  // no start count: nothing is filled
        {"Tare.Truncate=1", 0, false, false},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.fault);
        Use(std::string(kFastBench) + "[Faults]\n" + c.fault + "\n");
        RecordingWindow window;
        Run(window, workertest::Params(40, 2), 30000);
        const auto exchanges = workertest::Exchanges(FBench);
        ExpectPumpOffAtTheEnd(window, exchanges);
        if (c.pumpOns >= 0) {
            EXPECT_EQ(PumpOnCount(exchanges), static_cast<std::size_t>(c.pumpOns));
        }
        EXPECT_EQ(!window.Cell(1, 4).empty(), c.first);
        EXPECT_EQ(!window.Cell(2, 4).empty(), c.first);
        EXPECT_EQ(!window.Cell(1, 5).empty(), c.second);
        EXPECT_EQ(!window.Cell(2, 5).empty(), c.second);
    }
}

TEST_F(WorkerRun, NothingIsFilledWithoutADeviceOrWithUnusableParameters)
{
    static constexpr struct {
        const char* name;
        bool connected;
        int capacity, points;
        float pulsesPerLitre;
    } kCases[] = {
        {"the terminal does not open", false, 40, 2, 200},
        {"no points", true, 40, 0, 200},
        {"no capacity", true, 0, 2, 200},
        {"no pulses per litre", true, 40, 2, 0},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        Use(kFastBench);
        FLink->SetConnected(c.connected);
        RecordingWindow window;
        Run(window, workertest::Params(c.capacity, c.points, c.pulsesPerLitre), 10000);
        const auto exchanges = workertest::Exchanges(FBench);
        EXPECT_EQ(PumpOnCount(exchanges), 0u);
        EXPECT_TRUE(window.FCells.empty());
        ExpectPumpOffAtTheEnd(window, exchanges);
    }
}

// A window whose calls fail once `throwWhen` takes what they were asked to
// show: the worker's Synchronize hands the exception back into the worker.
class ThrowingWindow : public RecordingWindow {
public:
    std::function<bool(const Event&)> FThrowWhen;
    int FThrown = 0;

    void SetTargetLitres(const std::wstring& text) override
    {
        RecordingWindow::SetTargetLitres(text);
        FailIfAsked();
    }
    void ShowStatus(const std::wstring& text, bool error) override
    {
        RecordingWindow::ShowStatus(text, error);
        FailIfAsked();
    }
    void ShowPumpPicture(int picture, const std::wstring& text) override
    {
        RecordingWindow::ShowPumpPicture(picture, text);
        FailIfAsked();
    }
    void SetTableCell(int column, int row, const std::wstring& text) override
    {
        RecordingWindow::SetTableCell(column, row, text);
        FailIfAsked();
    }
    void SetPerformance(const std::wstring& text) override
    {
        RecordingWindow::SetPerformance(text);
        FailIfAsked();
    }

private:
    void FailIfAsked()
    {
        if (FThrowWhen && FThrowWhen(FEvents.back())) {
            ++FThrown;
            throw rtl::Exception("the window failed to show " + FEvents.back().Kind);
        }
    }
};

TEST_F(WorkerRun, AWindowCallThatThrowsEndsTheRunWithThePumpOffAndTheDeviceClosed)
{
    using Event = RecordingWindow::Event;
    static const struct {
        const char* name;
        std::function<bool(const Event&)> throwWhen;
        std::size_t pumpOns;  // pump-on commands sent
    } kCases[] = {
        {"the pump display, as the pump goes on",
         [](const Event& e) { return e.Kind == "pump" && e.Picture == app::TVolumetra::kPumpOnPicture; }, 1},
        {"the status line, while the pump runs", [](const Event& e) { return e.Kind == "status"; }, 1},
        // The end's own pump display fails too; the pump-off is sent before it.
        {"every call", [](const Event&) { return true; }, 0},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        Use(kFastBench);
        ThrowingWindow window;
        window.FThrowWhen = c.throwWhen;
        Run(window, workertest::Params(40, 2), 30000);
        ASSERT_GE(window.FThrown, 1) << "the window never failed";

        const auto exchanges = workertest::Exchanges(FBench);
        EXPECT_EQ(PumpOnCount(exchanges), c.pumpOns) << "the run ends at the failure";
        ASSERT_FALSE(exchanges.empty());
        EXPECT_TRUE(exchanges.back().PumpOff())
            << "the last command switches the pump off: " << exchanges.back().Command;
        // In the driver: the pump-off written, then the device closed.
        const auto calls = FBench.Calls();
        std::size_t lastWrite = calls.size(), lastClose = calls.size();
        for (std::size_t i = 0; i < calls.size(); ++i) {
            if (calls[i].Name == "FT_Write") lastWrite = i;
            if (calls[i].Name == "FT_Close") lastClose = i;
        }
        ASSERT_LT(lastWrite, calls.size());
        ASSERT_LT(lastClose, calls.size()) << FBench.LogText();
        EXPECT_GT(lastClose, lastWrite) << FBench.LogText();
        EXPECT_EQ(calls[lastClose].Status, FT_OK);
        EXPECT_EQ(calls[lastClose].Number("open"), 0) << "no handle left open in the driver";
        EXPECT_TRUE(window.Cell(1, 4).empty()) << "no point recorded";
    }
}

// The steps of the operator's pause in the test below.
struct PauseScript {
    bool Clicked = false, Held = false, Done = false;
    DWORD HeldAt = 0;
    std::size_t WritesAtHold = 0, WritesLater = 0;
};

TEST_F(WorkerRun, PauseHoldsWithThePumpOffUntilContinued)
{
    Use(Bench());
    RecordingWindow window;
    PauseScript script;
    Run(window, workertest::Params(60, 3), 60000, [&] {
        app::TVolumetra* worker = window.FWorker;
        if (!worker) return;
        if (!script.Clicked && window.Events("pump").size() >= 4 && window.FPumpOn) {
            worker->RequestPause(-1, -1, 1, 5);  // the window's sensor choice is LLS 6
            EXPECT_TRUE(worker->OnHold());
            script.Clicked = true;
            window.Mark("click");
        } else if (script.Clicked && !script.Held && worker->Holding()) {
            script.Held = true;
            script.HeldAt = GetTickCount();
        } else if (script.Held && !script.Done && GetTickCount() - script.HeldAt > 300) {
            if (script.WritesAtHold == 0) {
                script.WritesAtHold = FBench.Calls("FT_Write").size();
                script.HeldAt = GetTickCount();
                return;
            }
            script.WritesLater = FBench.Calls("FT_Write").size();
            window.Mark("continue");
            worker->Continue();
            EXPECT_FALSE(worker->OnHold());
            script.Done = true;
        }
    });
    ASSERT_TRUE(script.Done) << "the worker never held";
    EXPECT_EQ(script.WritesLater, script.WritesAtHold) << "no exchange while on hold";

    const auto exchanges = workertest::Exchanges(FBench);
    ExpectPumpOffAtTheEnd(window, exchanges);
    const auto hold =
        std::find_if(exchanges.begin(), exchanges.end(), [](const Exchange& e) { return e.Command == "QVTARE=0,0,5"; });
    ASSERT_NE(hold, exchanges.end()) << "the hold switches the pump off with the sensor chosen at the click";
    EXPECT_EQ(std::count_if(exchanges.begin(), exchanges.end(),
                            [](const Exchange& e) { return e.Command == "QVTARE=0,0,5"; }),
              1);
    EXPECT_EQ(static_cast<std::size_t>(hold - exchanges.begin()) + 1, script.WritesAtHold)
        << "the hold's pump-off is the last command before the hold";
    ASSERT_NE(hold + 1, exchanges.end());
    ASSERT_TRUE(hold->Tare && (hold + 1)->Tare);
    EXPECT_EQ((hold + 1)->Tare->PulseCounter(), hold->Tare->PulseCounter()) << "no pulses while on hold";

    // The window showed the pump off from the hold until the continue.
    const auto events = window.FEvents;
    const auto click = std::find_if(events.begin(), events.end(), [](const auto& e) { return e.Kind == "click"; });
    const auto cont = std::find_if(events.begin(), events.end(), [](const auto& e) { return e.Kind == "continue"; });
    ASSERT_TRUE(click != events.end() && cont != events.end());
    const auto offAfterClick = std::find_if(
        click, cont, [](const auto& e) { return e.Kind == "pump" && e.Picture == app::TVolumetra::kPumpOffPicture; });
    ASSERT_NE(offAfterClick, cont);
    EXPECT_TRUE(std::none_of(offAfterClick, cont, [](const auto& e) {
        return e.Kind == "pump" && e.Picture == app::TVolumetra::kPumpOnPicture;
    }));

    // The run went on to the end.
    for (int row = 4; row <= 6; ++row) EXPECT_FALSE(window.Cell(1, row).empty()) << "row " << row;
}

TEST_F(WorkerRun, StopWhileFillingRecordsThePortionSoFar)
{
    static constexpr struct {
        const char* name;
        bool onHold;               // stopped while on hold, else while the pump runs
        std::size_t extraPumpOns;  // pump-on commands after the stop, at most
    } kCases[] = {
        {"while the pump runs: the pass in progress ends", false, 1},
        {"while on hold: the pump stays off", true, 0},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        Use(Bench());
        RecordingWindow window;
        bool clicked = false, stopped = false;
        std::size_t writesAtStop = 0;
        Run(window, workertest::Params(60, 3), 60000, [&] {
            app::TVolumetra* worker = window.FWorker;
            if (!worker || stopped) return;
            const bool filling = window.Events("pump").size() >= 4 && window.FPumpOn;
            if (c.onHold && !clicked && filling) {
                worker->RequestPause(-1, -1, 1, 0);
                clicked = true;
            } else if (c.onHold ? clicked && worker->Holding() : filling) {
                writesAtStop = FBench.Calls("FT_Write").size();
                worker->Stop();
                stopped = true;
            }
        });
        ASSERT_TRUE(stopped);
        const auto exchanges = workertest::Exchanges(FBench);
        ExpectPumpOffAtTheEnd(window, exchanges);
        ASSERT_LE(writesAtStop, exchanges.size());
        const std::vector<Exchange> afterStop(exchanges.begin() + static_cast<std::ptrdiff_t>(writesAtStop),
                                              exchanges.end());
        EXPECT_LE(PumpOnCount(afterStop), c.extraPumpOns);
        const RunExchanges run = Split(exchanges);
        ASSERT_EQ(run.Points.size(), 1u);
        // The portion filled so far is settled and recorded in its row.
        ASSERT_TRUE(run.Start);
        const auto& offs = run.Points[0].Offs;
        ASSERT_GE(offs.size(), 2u);
        const int final = app::PulsesSince(run.Start->PulseCounter(), offs.back().PulseCounter());
        EXPECT_LT(final, 4000 - 24) << "short of its target";
        EXPECT_EQ(window.Cell(1, 4), app::LitresText(final / 200.0));
        EXPECT_FALSE(window.Cell(2, 4).empty());
        EXPECT_TRUE(window.Cell(1, 5).empty());
    }
}

TEST_F(WorkerRun, StopOnTheAutomaticPauseNeverSwitchesThePumpOn)
{
    // A residual without a tank: the run pauses before its first portion.
    Use(Bench());
    RecordingWindow window;
    window.FPauseAction = [](app::TVolumetra& worker) {
        worker.RequestPause(-1, 5, app::PointsBeforePause(-1, 5, worker.LitresPerPointValue()), 0);
        return true;
    };
    app::TVolumetraParams params = workertest::Params(60, 3);
    params.FAllowedResidual = 5;
    bool stopped = false;
    Run(window, params, 30000, [&] {
        if (!stopped && window.FWorker && window.FWorker->Holding()) {
            window.FWorker->Stop();
            stopped = true;
        }
    });
    ASSERT_TRUE(stopped);
    const auto exchanges = workertest::Exchanges(FBench);
    ExpectPumpOffAtTheEnd(window, exchanges);
    EXPECT_EQ(PumpOnCount(exchanges), 0u);
    EXPECT_EQ(window.Events("pause").size(), 1u);
    // The point held before its fill is settled and recorded empty-handed.
    EXPECT_EQ(window.Cell(1, 4), app::LitresText(0));
    EXPECT_TRUE(window.Cell(1, 5).empty());
}

TEST_F(WorkerRun, CountsAcrossAWrapOfTheTerminalCounter)
{
    // The counter passes 2^31 during the first portion.
    Use("[Device0]\nDescription=Zarvonix\n[Pump]\n" + PumpFlow() +
        "PulsesPerLitre=200\nCounterStart=2147482647\n"
        "[Tank]\nCapacity=1000\nSettleMs=0\n[Sensors]\nTable=0:500,500:5500\nNoise=0\n");
    RecordingWindow window;
    Run(window, workertest::Params(40, 2), 30000);
    const RunExchanges run = Split(workertest::Exchanges(FBench));
    ASSERT_TRUE(run.Start);
    ASSERT_EQ(run.Points.size(), 2u);
    ASSERT_LT(run.Points[0].Offs.back().PulseCounter(), 0) << "the counter wrapped";
    for (int j = 0; j < 2; ++j) {
        SCOPED_TRACE(j);
        const int final = app::PulsesSince(run.Start->PulseCounter(), run.Points[j].Offs.back().PulseCounter());
        EXPECT_GT(final, 4000 * (j + 1) - 24);
        EXPECT_LT(final, 4000 * (j + 1) + 2000);
        EXPECT_EQ(window.Cell(1, app::PointRow(j)), app::LitresText(final / 200.0));
    }
}

TEST_F(WorkerRun, StopWhileSettlingRecordsThePointFirst)
{
    // A slow sensor: the first point needs many settling reads.
    Use("[Device0]\nDescription=Zarvonix\n"
        "[Pump]\nFlowLitresPerMinute=1500\nPulsesPerLitre=200\n"
        "[Tank]\nCapacity=1000\nSettleMs=600\n"
        "[Sensors]\nTable=0:500,400:4500\nNoise=0\n");
    RecordingWindow window;
    bool stopped = false;
    std::size_t writesAtStop = 0;
    app::TVolumetraParams params = workertest::Params(60, 3);
    params.FDeviation = 0.1f;
    Run(window, params, 60000, [&] {
        if (!stopped && window.FWorker && !window.Events("status").empty() &&
            window.Events("status").back().Text == L"Ожидаем устаканивание в баке") {
            writesAtStop = FBench.Calls("FT_Write").size();
            window.FWorker->Stop();
            stopped = true;
        }
    });
    ASSERT_TRUE(stopped);
    const auto exchanges = workertest::Exchanges(FBench);
    ExpectPumpOffAtTheEnd(window, exchanges);
    const RunExchanges run = Split(exchanges);
    ASSERT_EQ(run.Points.size(), 1u);
    EXPECT_GT(exchanges.size(), writesAtStop + 5) << "the settling went on after the stop";
    EXPECT_FALSE(window.Cell(1, 4).empty());
    EXPECT_FALSE(window.Cell(2, 4).empty());
    EXPECT_TRUE(window.Cell(1, 5).empty());
    // Recorded at a settled read: the last five reads before the end of the run agree.
    const auto& offs = run.Points[0].Offs;
    ASSERT_GE(offs.size(), 6u);
    app::TSettlingWindow last;
    for (std::size_t k = offs.size() - 6; k + 1 < offs.size(); ++k) last.Add(offs[k].AdcValue());
    EXPECT_TRUE(last.IsStable(params.FDeviation));
    EXPECT_EQ(window.Cell(2, 4), rtl::IntToStr(offs[offs.size() - 2].AdcValue()));
}

TEST_F(WorkerRun, AutomaticPauseComesBeforeThePointItCountsDownTo)
{
    static const struct {
        const char* name;
        int tankSize, residual;
        std::vector<int> askedBefore;  // 0-based points before which the pause button is pressed
    } kCases[] = {
        {"tank 100, residual 10: before the fifth point", 100, 10, {4}},
        {"neither given", -1, -1, {}},
        {"a residual without a tank: before every point", -1, 5, {0, 1, 2, 3, 4}},
        {"a tank without a residual", 100, -1, {}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        Use(kFastBench);
        RecordingWindow window;  // declines: the window's check refused the pause
        app::TVolumetraParams params = workertest::Params(100, 5);
        params.FTankSize = c.tankSize;
        params.FAllowedResidual = c.residual;
        Run(window, params, 60000);
        std::vector<int> asked;
        for (const auto& e : window.Events("pause")) asked.push_back(e.Point);
        EXPECT_EQ(asked, c.askedBefore);
        for (int row = 4; row <= 8; ++row)
            EXPECT_FALSE(window.Cell(1, row).empty()) << "row " << row << ": the run went on";
    }
}

TEST_F(WorkerRun, AutomaticPauseHoldsLikeThePauseButton)
{
    Use(kFastBench);
    RecordingWindow window;
    window.FPauseAction = [](app::TVolumetra& worker) {
        // What the pause button does when its check passes: tank 100,
        // residual 10 read again, the sensor LLS 3 selected.
        worker.RequestPause(100, 10, app::PointsBeforePause(100, 10, worker.LitresPerPointValue()), 2);
        return true;
    };
    app::TVolumetraParams params = workertest::Params(100, 5);
    params.FTankSize = 100;
    params.FAllowedResidual = 10;
    DWORD heldAt = 0;
    bool continued = false;
    Run(window, params, 60000, [&] {
        app::TVolumetra* worker = window.FWorker;
        if (!worker || continued || !worker->Holding()) return;
        if (heldAt == 0) {
            heldAt = GetTickCount();
            EXPECT_EQ(worker->PointsLeftBeforePause(), 5);
        } else if (GetTickCount() - heldAt > 200) {
            window.Mark("continue");
            worker->Continue();
            continued = true;
        }
    });
    ASSERT_TRUE(continued);
    const auto exchanges = workertest::Exchanges(FBench);
    ExpectPumpOffAtTheEnd(window, exchanges);
    const RunExchanges run = Split(exchanges);
    ASSERT_EQ(run.Points.size(), 5u);
    // The hold's pump-off comes between the fourth point's settling and the
    // fifth point's first pass.
    const auto& fourth = run.Points[3].Offs;
    std::size_t holds = 0;
    for (std::size_t i = 0; i < exchanges.size(); ++i)
        if (exchanges[i].Command == "QVTARE=0,0,2") {
            ++holds;
            ASSERT_LT(i + 1, exchanges.size());
            EXPECT_TRUE(exchanges[i + 1].PumpOn()) << "the fill of the fifth point follows the hold";
        }
    EXPECT_EQ(holds, 1u);
    ASSERT_FALSE(fourth.empty());
    const auto pauses = window.Events("pause");
    ASSERT_EQ(pauses.size(), 1u);
    EXPECT_EQ(pauses[0].Point, 4);
    for (int row = 4; row <= 8; ++row) EXPECT_FALSE(window.Cell(1, row).empty()) << "row " << row;
}

TEST_F(WorkerRun, SettlingTimeIsWaitedBeforeEveryRead)
{
    static constexpr struct {
        int seconds;
        double minGapMs, maxGapMs;
    } kCases[] = {
        {0, 0, 400},
        {1, 990, 1600},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.seconds);
        Use(kFastBench);
        RecordingWindow window;
        app::TVolumetraParams params = workertest::Params(20, 1);
        params.FSettlingTime = c.seconds;
        Run(window, params, 30000);
        // The settling reads: the pump-offs after the read that follows the fill.
        std::vector<double> times;
        const auto exchanges = workertest::Exchanges(FBench);
        std::size_t offsSeen = 0;
        bool filling = false;
        for (const Exchange& e : exchanges) {
            filling = filling || e.PumpOn();
            if (filling && e.PumpOff() && ++offsSeen > 2) times.push_back(e.AtMs);
        }
        ASSERT_GE(times.size(), 6u);  // five reads and the end of the run
        // The time a read takes beyond the wait grows on a slower machine.
        const double maxGapMs = c.minGapMs + (c.maxGapMs - c.minGapMs) * testsupport::TimeScale();
        for (std::size_t k = 1; k + 1 < times.size(); ++k) {
            EXPECT_GE(times[k] - times[k - 1], c.minGapMs);
            EXPECT_LE(times[k] - times[k - 1], maxGapMs);
        }
    }
}

}  // namespace
