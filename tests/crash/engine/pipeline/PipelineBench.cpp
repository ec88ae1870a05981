// The cost of the crash reporter on the raise path: throw/catch pairs on the
// main thread and in a worker, and throw + rethrow + catch in a worker (which
// is judged at the rethrow), with the capture hooks out and in; the
// uncached decision; the bytes the raw snapshot copies per raise; and one
// report through a pipeline whose report steps are empty.
// Prints nanoseconds and ratios; a benchmark, not a test.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "crash/engine/EDebugData.h"
#include "crash/engine/ExceptionLog.h"
#include "crash/engine/capture/Capture.h"
#include "rtl/Classes.h"
#include "rtl/Startup.h"
#include "rtl/SysUtils.h"

namespace {

__attribute__((noinline)) void Raise(int value)
{
    throw rtl::EConvertError(value < 0 ? "negative" : "x");
}

__attribute__((noinline)) void Middle(int value)
{
    Raise(value);
}

double Seconds(const LARGE_INTEGER& start, const LARGE_INTEGER& stop)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(stop.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool gUncached = false;

double NanosecondsPerPair(int pairs, bool rethrow)
{
    LARGE_INTEGER start, stop;
    QueryPerformanceCounter(&start);
    for (int i = 0; i < pairs; ++i) {
        if (gUncached) crash::ClearHandledDecisionCache();
        try {
            if (rethrow) {
                try {
                    Middle(i);
                } catch (...) {
                    throw;
                }
            } else {
                Middle(i);
            }
        } catch (const rtl::Exception&) {}
    }
    QueryPerformanceCounter(&stop);
    return 1e9 * Seconds(start, stop) / pairs;
}

struct TWorkerRun {
    int Pairs;
    bool Rethrow;
    double Result;
};

DWORD WINAPI WorkerPairs(void* parameter)
{
    auto* run = static_cast<TWorkerRun*>(parameter);
    run->Result = NanosecondsPerPair(run->Pairs, run->Rethrow);
    return 0;
}

double InWorker(int pairs, bool rethrow)
{
    TWorkerRun run{pairs, rethrow, 0};
    DWORD id = 0;
    HANDLE thread = ::CreateThread(nullptr, 0, WorkerPairs, &run, 0, &id);
    ::WaitForSingleObject(thread, INFINITE);
    ::CloseHandle(thread);
    return run.Result;
}

// The fastest of five rounds, hooks out and in taking turns.
void Measure(const char* what, int pairs, double (*run)(int))
{
    double best[2] = {1e30, 1e30};
    for (int round = 0; round < 5; ++round)
        for (int installed = 0; installed < 2; ++installed) {
            if (installed)
                crash::InstallCaptureHooks();
            else
                crash::RemoveCaptureHooks();
            const double time = run(pairs / 5);
            if (time < best[installed]) best[installed] = time;
        }
    std::printf("%-34s out %8.0f ns, in %8.0f ns, ratio %.3f\n", what, best[0], best[1], best[1] / best[0]);
}

std::uintptr_t gSnapshotBytes = 0;

__attribute__((noinline)) void RaiseDeeper(int kilobytes)
{
    volatile char pad[1024];
    pad[0] = 1;
    if (kilobytes > 1) {
        RaiseDeeper(kilobytes - 1);
    } else {
        try {
            Middle(1);
        } catch (...) {
            const rtl::TThreadExceptState* block = rtl::CurrentExceptState();
            const std::uintptr_t size = rtl::CurrentStackTop() - block->LastRaise.Registers.Esp;
            gSnapshotBytes = size < crash::kMaxStackScan ? size : crash::kMaxStackScan;
        }
    }
    asm volatile("" ::: "memory");
    (void)pad[0];
}

}  // namespace

int main(int argc, char** argv)
{
    const rtl::TProgramStartup programStartup;
    const int pairs = argc > 1 ? std::atoi(argv[1]) : 100000;
    crash::CreateModuleLists();
    crash::InstallModuleDataReader();
    crash::InstallThreadHooks();
    crash::CreateVexlorLogList();
    crash::StartExceptionPipeline();
    crash::ReportSteps.ShowExceptionBox.Set([](crash::TReportContext&, bool) { crash::SetDialogKind(crash::edtNone); });
    NanosecondsPerPair(pairs / 100, false);

    std::printf("%d pairs per figure, fastest of 5 rounds\n", pairs);
    Measure("throw/catch, main thread", pairs, [](int n) { return NanosecondsPerPair(n, false); });
    Measure("throw/catch, worker", pairs, [](int n) { return InWorker(n, false); });
    const std::uint32_t walks = crash::HandledDecisionWalkCount();
    Measure("throw/rethrow/catch, worker", pairs, [](int n) { return InWorker(n, true); });
    std::printf("decision walks during that figure: %u\n", static_cast<unsigned>(crash::HandledDecisionWalkCount() - walks));
    gUncached = true;
    Measure("throw/rethrow/catch, uncached", pairs / 10, [](int n) { return InWorker(n, true); });
    gUncached = false;
    crash::InstallCaptureHooks();

    RaiseDeeper(1);
    std::printf("snapshot bytes per raise at bench depth: %u\n", static_cast<unsigned>(gSnapshotBytes));
    RaiseDeeper(17);
    std::printf("snapshot bytes per raise 16 KB deeper:   %u\n", static_cast<unsigned>(gSnapshotBytes));

    // One report with every report step empty (the dialog a no-op).
    rtl::Exception error("bench");
    LARGE_INTEGER start, stop;
    constexpr int kReports = 20;
    QueryPerformanceCounter(&start);
    for (int i = 0; i < kReports; ++i)
        crash::NotifyException(&error, reinterpret_cast<void*>(&Middle), false, nullptr, false, crash::aeNone, nullptr,
                               crash::rtUnknown, nullptr, nullptr, 0, 0);
    QueryPerformanceCounter(&stop);
    std::printf("one report, empty steps: %8.2f ms\n", 1e3 * Seconds(start, stop) / kReports);
    return 0;
}
