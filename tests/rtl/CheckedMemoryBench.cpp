// The cost of the checked reader: microseconds per check or copy, without a
// region cache (a VirtualQuery for every region touched) and through one, for
// a read inside one region, a read across two regions and a refused read; and
// the object test, which keeps a cache of its own. A benchmark, not a test.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "rtl/CheckedMemory.h"
#include "rtl/Startup.h"
#include "rtl/SysUtils.h"

namespace {

volatile long gSink = 0;

template <class Check>
double MicrosecondsPerCheck(int checks, Check check)
{
    LARGE_INTEGER frequency, start, stop;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (int i = 0; i < checks; ++i) gSink = gSink + (check() ? 1 : 0);
    QueryPerformanceCounter(&stop);
    return 1e6 * static_cast<double>(stop.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart) / checks;
}

}  // namespace

int main(int argc, char** argv)
{
    const rtl::TProgramStartup programStartup;
    const int checks = argc > 1 ? std::atoi(argv[1]) : 200000;
    // Two readable pages of different protection, then a reserved one.
    auto* pages = static_cast<std::uint8_t*>(VirtualAlloc(nullptr, 3 * 4096, MEM_RESERVE, PAGE_NOACCESS));
    VirtualAlloc(pages, 4096, MEM_COMMIT, PAGE_READWRITE);
    VirtualAlloc(pages + 4096, 4096, MEM_COMMIT, PAGE_READONLY);
    const void* inside = pages + 100;
    const void* across = pages + 4096 - 8;
    const void* refused = pages + 2 * 4096;
    const rtl::EConvertError object("x");

    rtl::ReadableRegionCache cache;
    std::uint8_t copy[16];
    struct Case {
        const char* what;
        bool (*check)(const void*, void*, rtl::ReadableRegionCache*);
        const void* address;
    };
    const Case kCases[] = {
        {"check 8 bytes in one region",
         [](const void* a, void*, rtl::ReadableRegionCache* c) { return rtl::IsReadableMemory(a, 8, c); }, inside},
        {"copy 4 bytes in one region",
         [](const void* a, void* out, rtl::ReadableRegionCache* c) { return rtl::ReadMemory(a, out, 4, c); }, inside},
        {"copy 16 bytes across two regions",
         [](const void* a, void* out, rtl::ReadableRegionCache* c) { return rtl::ReadMemory(a, out, 16, c); }, across},
        {"refuse 4 bytes of a reserved page",
         [](const void* a, void* out, rtl::ReadableRegionCache* c) { return rtl::ReadMemory(a, out, 4, c); }, refused},
    };
    constexpr int kRounds = 5;
    std::printf("%d checks each, fastest of %d rounds, microseconds per check\n", checks, kRounds);
    std::printf("%-36s %10s %10s\n", "", "uncached", "cached");
    for (const Case& c : kCases) {
        double best[2] = {1e30, 1e30};
        for (int round = 0; round < kRounds; ++round) {
            for (int cached = 0; cached < 2; ++cached) {
                rtl::ReadableRegionCache* regions = cached ? &cache : nullptr;
                const double time =
                    MicrosecondsPerCheck(checks / kRounds, [&] { return c.check(c.address, copy, regions); });
                if (time < best[cached]) best[cached] = time;
            }
        }
        std::printf("%-36s %10.3f %10.3f\n", c.what, best[0], best[1]);
    }
    double bestObject = 1e30;
    for (int round = 0; round < kRounds; ++round) {
        const double time = MicrosecondsPerCheck(checks / kRounds, [&] { return rtl::IsValidObject(&object); });
        if (time < bestObject) bestObject = time;
    }
    std::printf("%-36s %10.3f (its own cache per call)\n", "IsValidObject of an exception", bestObject);
    VirtualFree(pages, 0, MEM_RELEASE);
    return 0;
}
