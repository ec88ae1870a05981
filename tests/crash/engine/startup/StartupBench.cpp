// The crash reporter's start-up and shut-down times in a program that carries
// its data block: the program's list has brought it up once; it is taken down
// and up again 20 times, each step timed, and the medians printed.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "crash/engine/api/PublicInterface.h"
#include "crash/engine/startup/LibraryStartup.h"
#include "rtl/Startup.h"

namespace {

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main()
{
    const rtl::TProgramStartup programStartup;
    if (!crash::IsVexlorLogInstalled()) {
        std::printf("the crash reporter is not installed\n");
        return 1;
    }
    std::vector<double> done, init;
    for (int i = 0; i < 20; ++i) {
        LARGE_INTEGER a, b, c;
        QueryPerformanceCounter(&a);
        crash::ExceptionLogUnitDone();
        QueryPerformanceCounter(&b);
        crash::ExceptionLogUnitInit();
        QueryPerformanceCounter(&c);
        done.push_back(Milliseconds(a, b));
        init.push_back(Milliseconds(b, c));
        if (!crash::IsVexlorLogInstalled()) {
            std::printf("start-up %d failed\n", i);
            return 1;
        }
    }
    std::printf("InitializeLibrary: median %.2f ms, FinalizeLibrary: median %.2f ms (20 cycles)\n", Median(init),
                Median(done));
    return 0;
}
