// Calibration bench: one whole run of the worker against the simulated tank,
// then, per point, how far the pump ran past the target (in pulses and in
// fill passes) and how far the table is from the litres really in the tank.
//
// Usage: VolumetraWorkerBench [--capacity=400] [--points=20] [--ppl=200]
//   [--meter-ppl=<ppl>] [--flow=1500] [--settle-ms=150] [--noise=0]
//   [--deviation=0.5] [--settling-time=0] [--reply-delay=5]
// --ppl is what the operator enters, --meter-ppl what the simulated flow meter
// really gives. Runs beside the simulator's ftd2xx.dll; writes its scenario
// and call log to the temporary folder.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "rtl/Startup.h"
#include "tests/app/worker/WorkerTestSupport.h"

namespace {

double Option(int argc, char** argv, const char* name, double fallback)
{
    const std::size_t length = std::strlen(name);
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], name, length) == 0 && argv[i][length] == '=') return std::atof(argv[i] + length + 1);
    return fallback;
}

std::vector<simtest::LoggedCall> Writes(const std::wstring& logPath)
{
    std::vector<simtest::LoggedCall> calls;
    std::ifstream file(logPath.c_str(), std::ios::binary);
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        simtest::LoggedCall call;
        if (simtest::ParseLogLine(line, call) && call.Name == "FT_Write") calls.push_back(call);
    }
    return calls;
}

std::string Utf8(const std::wstring& text)
{
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), length, nullptr, nullptr);
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    const rtl::TProgramStartup programStartup;
    const int capacity = static_cast<int>(Option(argc, argv, "--capacity", 400));
    const int points = static_cast<int>(Option(argc, argv, "--points", 20));
    const double ppl = Option(argc, argv, "--ppl", 200);
    const double meterPpl = Option(argc, argv, "--meter-ppl", ppl);
    const double flow = Option(argc, argv, "--flow", 1500);
    const double settleMs = Option(argc, argv, "--settle-ms", 150);
    const double noise = Option(argc, argv, "--noise", 0);
    const double deviation = Option(argc, argv, "--deviation", 0.5);
    const int settlingTime = static_cast<int>(Option(argc, argv, "--settling-time", 0));
    const double replyDelay = Option(argc, argv, "--reply-delay", 5);
    // The sensor: 500 + 10 per litre, up to a tank of 1000 litres.
    const std::vector<std::pair<double, double>> table = {{0, 500}, {1000, 10500}};

    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring stem = std::wstring(temp) + L"VolumetraWorkerBench." + std::to_wstring(GetCurrentProcessId());
    const std::wstring scenarioPath = stem + L".ini";
    const std::wstring logPath = stem + L".log";
    {
        char ini[1024];
        std::snprintf(ini, sizeof ini,
                      "[Device0]\nDescription=Zarvonix\n[Link]\nReplyDelayMs=%g\n"
                      "[Pump]\nFlowLitresPerMinute=%g\nPulsesPerLitre=%g\nCounterStart=100000\n"
                      "[Tank]\nLitres=0\nCapacity=1000\nSettleMs=%g\n"
                      "[Sensors]\nTable=0:500,1000:10500\nNoise=%g\n",
                      replyDelay, flow, meterPpl, settleMs, noise);
        std::ofstream file(scenarioPath.c_str(), std::ios::binary | std::ios::trunc);
        file << ini;
    }
    DeleteFileW(logPath.c_str());
    SetEnvironmentVariableW(L"VOLUMETRA_SIM_SCENARIO", scenarioPath.c_str());
    SetEnvironmentVariableW(L"VOLUMETRA_SIM_LOG", logPath.c_str());

    if (!app::LoadDeviceLibrary()) {
        std::fprintf(stderr, "ftd2xx.dll not found beside the program\n");
        return 2;
    }
    app::TTerminalLink link;
    if (!link.OpenDevice()) {
        std::fprintf(stderr, "no simulated terminal\n");
        return 2;
    }
    link.SetConnected(true);

    app::TVolumetraParams params = workertest::Params(capacity, points, static_cast<float>(ppl));
    params.FDeviation = static_cast<float>(deviation);
    params.FSettlingTime = settlingTime;
    workertest::RecordingWindow window;
    const DWORD started = GetTickCount();
    workertest::Launch(params, link, window);
    workertest::PumpUntilFinished(window, 3600000);
    const DWORD elapsed = GetTickCount() - started;

    const auto run = workertest::Split(workertest::Exchanges(Writes(logPath)));
    if (!run.Start) {
        std::fprintf(stderr, "the run read no start count\n");
        return 1;
    }
    const int start = run.Start->PulseCounter();
    const float perPoint = app::LitresPerPoint(capacity, points);
    const double margin = app::MarginPulses(perPoint, static_cast<float>(ppl));

    std::printf("capacity %d l, %d points, %g pulses/l entered, meter %g pulses/l, flow %g l/min, lag %g ms, "
                "noise %g, deviation %g %%\n",
                capacity, points, ppl, meterPpl, flow, settleMs, noise, deviation);
    std::printf("margin %.1f pulses; run %lu ms\n\n", margin, elapsed);
    std::printf("%5s %9s %9s %9s %8s %7s %7s %9s %9s %6s %9s %9s %8s %8s\n", "point", "target", "decided", "final",
                "over", "pass", "passes", "litres", "level", "adc", "adc-l", "err-lvl", "err-adc", "reads");
    double sumOver = 0, maxOver = -1e9, sumPasses = 0, maxPasses = -1e9, sumLevel = 0, maxLevel = 0, sumAdc = 0,
           maxAdc = 0;
    int measured = 0;
    for (std::size_t j = 0; j < run.Points.size(); ++j) {
        const auto& point = run.Points[j];
        if (point.Fills.empty() || point.Offs.size() < 2) continue;
        const double target = app::TargetPulses(static_cast<int>(j), perPoint, static_cast<float>(ppl));
        const int decided = app::PulsesSince(start, point.Fills.back().PulseCounter());
        const int final = app::PulsesSince(start, point.Offs[1].PulseCounter());
        double pass = 0;  // mean pulses between two fill reads of this point
        if (point.Fills.size() > 1)
            pass = static_cast<double>(
                       app::PulsesSince(point.Fills.front().PulseCounter(), point.Fills.back().PulseCounter())) /
                   static_cast<double>(point.Fills.size() - 1);
        const double over = final - target;
        const double passes = pass > 0 ? over / pass : 0;
        double litres = 0;
        const std::wstring cell = window.Cell(app::kLitresColumn, app::PointRow(static_cast<int>(j)));
        const std::wstring adcCell = window.Cell(app::kAdcColumn, app::PointRow(static_cast<int>(j)));
        const bool recorded = rtl::TryStrToFloat(cell, litres) && !adcCell.empty();
        const int adc = recorded ? std::stoi(adcCell) : 0;
        // The tank's true level at the last read of the point (decilitres in field 5).
        const double level = point.Offs.back().FFields[4] / 10.0;
        const double adcLitres = workertest::LitresForAdc(table, adc);
        const std::size_t reads = point.Offs.size() - 2 - (j + 1 == run.Points.size() ? 1 : 0);
        std::printf("%5zu %9.0f %9d %9d %8.0f %7.0f %7.2f %9.3f %9.1f %6d %9.3f %9.3f %8.3f %8zu%s\n", j + 1, target,
                    decided, final, over, pass, passes, litres, level, adc, adcLitres, litres - level,
                    litres - adcLitres, reads, recorded ? "" : "  (not recorded)");
        if (!recorded) continue;
        ++measured;
        sumOver += over;
        maxOver = std::max(maxOver, over);
        sumPasses += passes;
        maxPasses = std::max(maxPasses, passes);
        sumLevel += std::fabs(litres - level);
        maxLevel = std::max(maxLevel, std::fabs(litres - level));
        sumAdc += std::fabs(litres - adcLitres);
        maxAdc = std::max(maxAdc, std::fabs(litres - adcLitres));
    }
    if (measured == 0) {
        std::printf("\nno point recorded\n");
        return 1;
    }
    std::printf("\n%d points: overshoot mean %.0f pulses (%.2f passes), max %.0f pulses (%.2f passes)\n", measured,
                sumOver / measured, sumPasses / measured, maxOver, maxPasses);
    std::printf("table against the true level: mean |error| %.3f l, max %.3f l\n", sumLevel / measured, maxLevel);
    std::printf("table against the litres the recorded ADC stands for: mean |error| %.3f l, max %.3f l\n",
                sumAdc / measured, maxAdc);
    std::vector<std::wstring> rates;
    for (const auto& e : window.Events("rate")) rates.push_back(e.Text);
    std::printf("flow-rate label: %zu updates", rates.size());
    for (std::size_t i = 0; i < rates.size() && i < 6; ++i)
        std::printf("%s \"%s\"", i ? "," : "", Utf8(rates[i]).c_str());
    std::printf("\n");
    return 0;
}
