// The cost of the raise path: a million throw/catch pairs with the hooks
// empty, with a trivial raise hook, and with a hook that walks the handlers;
// then the cost of a hardware fault turned into a throw.
// Prints nanoseconds per pair and the ratios; a benchmark, not a test.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "rtl/ExceptHooks.h"
#include "rtl/Startup.h"
#include "rtl/SysUtils.h"

namespace {

volatile long gRaises = 0;

__attribute__((noinline)) void Raise(int value)
{
    throw rtl::EConvertError(value < 0 ? "negative" : "x");
}

__attribute__((noinline)) void Middle(int value)
{
    Raise(value);
}

int* volatile gNull = nullptr;
volatile int gSink = 0;

__attribute__((noinline)) int ReadNull()
{
    return *gNull;
}

// An access violation of our code, thrown and caught.
double NanosecondsPerFault(int faults)
{
    LARGE_INTEGER frequency, start, stop;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (int i = 0; i < faults; ++i) {
        try {
            gSink = ReadNull();
        } catch (const rtl::EAccessViolation&) {}
    }
    QueryPerformanceCounter(&stop);
    return 1e9 * static_cast<double>(stop.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart) / faults;
}

double NanosecondsPerPair(int pairs)
{
    LARGE_INTEGER frequency, start, stop;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (int i = 0; i < pairs; ++i) {
        try {
            Middle(i);
        } catch (const rtl::Exception&) {}
    }
    QueryPerformanceCounter(&stop);
    return 1e9 * static_cast<double>(stop.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart) / pairs;
}

}  // namespace

int main(int argc, char** argv)
{
    const rtl::TProgramStartup programStartup;
    const int pairs = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const rtl::TRaiseHook trivial = [](const rtl::TRaiseInfo&) noexcept { gRaises = gRaises + 1; };
    const rtl::TRaiseHook walking = [](const rtl::TRaiseInfo& raise) noexcept {
        gRaises = gRaises + 1;
        rtl::WalkHandlers(raise, nullptr, nullptr);
    };
    const rtl::TRaiseHook kHooks[] = {nullptr, trivial, walking};
    // Five rounds, the hooks taking turns, so that a slow moment of the
    // machine does not fall on one of them only; the fastest round counts.
    constexpr int kRounds = 5;
    double best[3] = {1e30, 1e30, 1e30};
    NanosecondsPerPair(pairs / 100);  // warm up
    for (int round = 0; round < kRounds; ++round)
        for (int hook = 0; hook < 3; ++hook) {
            rtl::RaiseHook = kHooks[hook];
            const double time = NanosecondsPerPair(pairs / kRounds);
            if (time < best[hook]) best[hook] = time;
        }
    rtl::RaiseHook = nullptr;
    std::printf("%d throw/catch pairs per hook, fastest of %d rounds\n", pairs, kRounds);
    std::printf("hooks empty:         %8.0f ns per pair\n", best[0]);
    std::printf("trivial raise hook:  %8.0f ns per pair (ratio %.3f)\n", best[1], best[1] / best[0]);
    std::printf("hook walks handlers: %8.0f ns per pair (ratio %.3f)\n", best[2], best[2] / best[0]);
    std::printf("access violation thrown and caught: %8.0f ns each (%d faults)\n", NanosecondsPerFault(pairs / 10),
                pairs / 10);
    return gRaises == 2 * (pairs / kRounds) * kRounds ? 0 : 1;
}
