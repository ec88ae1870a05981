// The figure of the call-stack walk's cost: GetCurrentCallStack 64 frames deep
// in our own code (64 functions, each calling the next), with the stack bytes
// it scanned and the items it found; the median of many walks in
// microseconds, the first walk (which makes the module records) apart. A
// measurement, not a timed test: it fails only when the walk misses frames.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "crash/engine/EDebugData.h"
#include "crash/engine/stack/CallStack.h"
#include "rtl/ExceptHooks.h"
#include "rtl/Startup.h"

namespace {

constexpr int kDepth = 64;
constexpr int kWalks = 200;

struct Figures {
    std::vector<double> Walks;
    double First = 0;
    std::uintptr_t Bytes = 0;
    int Items = 0;
    int Visible = 0;
};

double Microseconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
}

__attribute__((noinline)) void Measure(Figures& figures)
{
    figures.Bytes = rtl::CurrentStackTop() - reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
    for (int i = 0; i <= kWalks; ++i) {
        LARGE_INTEGER start, stop;
        ::QueryPerformanceCounter(&start);
        std::unique_ptr<crash::TVexlorStackList> stack = crash::GetCurrentCallStack();
        ::QueryPerformanceCounter(&stop);
        if (i == 0) {
            figures.First = Microseconds(start, stop);
            figures.Items = stack->Count();
            for (int k = 0; k < stack->Count(); ++k) figures.Visible += stack->GetItem(k)->DebugDetail != crash::ddNone;
        } else {
            figures.Walks.push_back(Microseconds(start, stop));
        }
    }
}

template <int N>
__attribute__((noinline)) int Deep(Figures& figures, int value)
{
    const int result = Deep<N - 1>(figures, value + 1);
    asm volatile("" ::: "memory");
    return result + 1;
}

template <>
__attribute__((noinline)) int Deep<0>(Figures& figures, int value)
{
    Measure(figures);
    return value;
}

}  // namespace

int main()
{
    const rtl::TProgramStartup programStartup;
    crash::CreateModuleLists();
    crash::InstallModuleDataReader();
    Figures figures;
    Deep<kDepth>(figures, 0);
    std::sort(figures.Walks.begin(), figures.Walks.end());
    const double median = figures.Walks[figures.Walks.size() / 2];
    std::printf("GetCurrentCallStack, %d frames of our own code deep: median %.0f us over %d walks "
                "(fastest %.0f, slowest %.0f), first walk %.0f us\n",
                kDepth, median, kWalks, figures.Walks.front(), figures.Walks.back(), figures.First);
    std::printf("stack scanned: %u bytes (%u slots); items found: %d, %d of them shown (not hidden by pruning)\n",
                static_cast<unsigned>(figures.Bytes), static_cast<unsigned>(figures.Bytes / 4), figures.Items,
                figures.Visible);
    if (figures.Visible < kDepth) {
        std::printf("FAILED: fewer items than frames\n");
        return 1;
    }
    return 0;
}
