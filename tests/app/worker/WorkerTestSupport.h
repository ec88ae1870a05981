// Helpers for running the calibration worker against the simulator: a window
// double that records what the main window would show, a message pump for
// the worker's main-thread calls, and the terminal exchanges read back from
// the simulator's call log.
#pragma once
#include <windows.h>

#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/DeviceCommands.h"
#include "app/VolumetraThread.h"
#include "rtl/Classes.h"
#include "tests/sim/SimTestSupport.h"
#include "tests/support/TimeScale.h"

namespace workertest {

// What the main window would show, in the order it was asked. Every call
// comes on the main thread, so no lock is needed.
class RecordingWindow : public app::IVolumetraWindow {
public:
    struct Event {
        std::string Kind;  // "target", "status", "pump", "cell", "rate", "pause", "finished", or the test's own
        std::wstring Text;
        int Column = 0, Row = 0, Picture = 0;
        bool Error = false;
        int Point = -1;  // the worker's current point when asked
        DWORD Tick = 0;
    };

    // The worker being watched; set by Launch, cleared by WorkerFinished.
    app::TVolumetra* FWorker = nullptr;
    // The pause button's action; the default declines (no hold).
    std::function<bool(app::TVolumetra&)> FPauseAction;

    std::vector<Event> FEvents;
    std::map<std::pair<int, int>, std::wstring> FCells;  // (column, row) -> text
    bool FFinished = false;
    int FFinishedCount = 0;
    bool FPumpOn = false;

    void SetTargetLitres(const std::wstring& text) override { Add({"target", text}); }
    void ShowStatus(const std::wstring& text, bool error) override
    {
        Event e{"status", text};
        e.Error = error;
        Add(e);
    }
    void ShowPumpPicture(int picture, const std::wstring& text) override
    {
        Event e{"pump", text};
        e.Picture = picture;
        FPumpOn = picture == app::TVolumetra::kPumpOnPicture;
        Add(e);
    }
    void SetTableCell(int column, int row, const std::wstring& text) override
    {
        FCells[{column, row}] = text;
        Event e{"cell", text};
        e.Column = column;
        e.Row = row;
        Add(e);
    }
    void SetPerformance(const std::wstring& text) override { Add({"rate", text}); }
    bool PerformPauseAction() override
    {
        Add({"pause", L""});
        return FPauseAction && FWorker ? FPauseAction(*FWorker) : false;
    }
    void WorkerFinished() override
    {
        Add({"finished", L""});
        FWorker = nullptr;
        FFinished = true;
        ++FFinishedCount;
    }

    void Mark(const std::string& kind) { Add({kind, L""}); }

    std::wstring Cell(int column, int row) const
    {
        const auto it = FCells.find({column, row});
        return it == FCells.end() ? std::wstring() : it->second;
    }
    std::vector<Event> Events(const std::string& kind) const
    {
        std::vector<Event> out;
        for (const Event& e : FEvents)
            if (e.Kind == kind) out.push_back(e);
        return out;
    }

private:
    void Add(Event e)
    {
        e.Point = FWorker ? FWorker->CurrentPoint() : -1;
        e.Tick = GetTickCount();
        FEvents.push_back(std::move(e));
    }
};

// Serves the worker's main-thread calls until the run has ended or timeoutMs
// have passed; `idle` runs on the main thread between messages. A run that
// overstays is stopped (and still waited for, so that nothing outlives the
// test). Answers whether the run ended by itself in time.
inline bool PumpUntilFinished(RecordingWindow& window, DWORD timeoutMs, const std::function<void()>& idle = {})
{
    const DWORD start = GetTickCount();
    bool inTime = true;
    while (!window.FFinished) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        rtl::CheckSynchronize();
        if (window.FFinished) break;
        if (idle) idle();
        if (inTime && GetTickCount() - start > testsupport::Scaled(timeoutMs)) {
            inTime = false;
            if (window.FWorker) window.FWorker->Stop();
        }
    }
    return inTime;
}

inline app::TVolumetra* Launch(const app::TVolumetraParams& params, app::TTerminalLink& link, RecordingWindow& window)
{
    app::TVolumetra* worker = app::TVolumetra::Launch(params, link, window);
    window.FWorker = worker;
    return worker;
}

// One command the terminal received, with the reply it queued (if any).
struct Exchange {
    std::string Command;
    std::optional<app::TTareReply> Tare;  // a tare reply as queued (after faults)
    bool Replied = false;
    double AtMs = 0;

    bool IsTare() const { return Command.rfind("QVTARE=", 0) == 0; }
    bool PumpOn() const { return Command.rfind("QVTARE=1,", 0) == 0; }
    bool PumpOff() const { return Command.rfind("QVTARE=0,", 0) == 0; }
};

inline std::vector<Exchange> Exchanges(const std::vector<simtest::LoggedCall>& writes)
{
    std::vector<Exchange> out;
    for (const simtest::LoggedCall& call : writes) {
        Exchange e;
        e.Command = call.Arg("data");
        e.AtMs = call.AtMs;
        const std::string reply = call.Arg("reply");
        e.Replied = reply != "<none>";
        if (e.Replied) e.Tare = app::ScanTareReply(reply);
        out.push_back(e);
    }
    return out;
}

inline std::vector<Exchange> Exchanges(const simtest::SimBench& bench)
{
    return Exchanges(bench.Calls("FT_Write"));
}

// The tare exchanges of one run, point by point.
struct RunExchanges {
    std::vector<std::string> Startup;  // commands before the first tare exchange
    std::optional<app::TTareReply> Start;
    struct Point {
        std::vector<app::TTareReply> Fills;  // pump-on replies
        std::vector<app::TTareReply> Offs;   // pump-off replies up to the next pump-on
    };
    std::vector<Point> Points;
};

inline RunExchanges Split(const std::vector<Exchange>& exchanges)
{
    RunExchanges run;
    std::size_t i = 0;
    for (; i < exchanges.size() && !exchanges[i].IsTare(); ++i) run.Startup.push_back(exchanges[i].Command);
    if (i < exchanges.size()) run.Start = exchanges[i++].Tare;
    for (; i < exchanges.size(); ++i) {
        const Exchange& e = exchanges[i];
        if (e.PumpOn() && (run.Points.empty() || !run.Points.back().Offs.empty())) run.Points.emplace_back();
        if (run.Points.empty() || !e.Tare) continue;
        (e.PumpOn() ? run.Points.back().Fills : run.Points.back().Offs).push_back(*e.Tare);
    }
    return run;
}

// The worker's settings for the simulator scenarios of these tests.
inline app::TVolumetraParams Params(int capacity, int points, float pulsesPerLitre = 200)
{
    app::TVolumetraParams p;
    p.FPulsesPerLitre = pulsesPerLitre;
    p.FTankCapacity = capacity;
    p.FPointCount = points;
    p.FSensorIndex = 0;
    p.FDeviation = 0.5f;
    p.FSettlingTime = 0;
    return p;
}

// The true litres behind an adc value: the scenario's litres:adc table read
// backwards (it rises monotonically in these scenarios).
inline double LitresForAdc(const std::vector<std::pair<double, double>>& table, double adc)
{
    if (adc <= table.front().second) return table.front().first;
    for (std::size_t i = 1; i < table.size(); ++i)
        if (adc <= table[i].second) {
            const auto& [l0, a0] = table[i - 1];
            const auto& [l1, a1] = table[i];
            return l0 + (adc - a0) / (a1 - a0) * (l1 - l0);
        }
    return table.back().first;
}

}  // namespace workertest
