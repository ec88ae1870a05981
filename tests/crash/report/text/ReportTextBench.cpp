// Times BuildReportText with the default sections' size: 10 threads of 20
// frames, 50 modules and 100 processes. The blocks of the other report units
// are stand-ins of their size made once, so the figures are the cost of the
// header's layout and of joining the text; the collectors and table builders
// add theirs. Prints the first run and the median of 20 in milliseconds (a
// figure, not a test).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "crash/engine/EOptions.h"
#include "crash/engine/pipeline/Pipeline.h"
#include "crash/report/ELogManager.h"

namespace {

using namespace crash;

std::string Blocks;

std::string Rows(int count, int width)
{
    std::string row = "|" + std::string(width - 2, 'x') + "|\r\n";
    std::string text;
    for (int k = 0; k < count; ++k) text += row;
    return text;
}

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int main()
{
    Blocks = "Call Stack Information:\r\n" + Rows(10 * 20 + 10 * 3 + 4, 90) + "\r\nModules Information:\r\n" +
             Rows(50 + 4, 140) + "\r\nProcesses Information:\r\n" + Rows(100 + 4, 150) + "\r\n";
    StartExceptionPipeline();
    PipelineState().ExceptionIdentifier = "4F2A";
    ReportTextSources.CollectHeaderValues.Set([](TReportContext&, TReportHeaderValues& values) {
        for (std::size_t k = 0; k < values.Values.size(); ++k) values.Values[k] = "value " + std::to_string(k);
        std::string privileges;
        for (int k = 0; k < 24; ++k) privileges += "SePrivilege" + std::to_string(k) + "                    - ON\r\n";
        values[soUserPrivileges] = privileges;
    });
    ReportTextSources.BuildCallStackSections.Set([](TReportContext& context) { context.CallStackText += Blocks; });

    std::vector<double> times;
    std::size_t length = 0;
    for (int run = 0; run < 21; ++run) {
        TReportContext context;
        LARGE_INTEGER from, to;
        QueryPerformanceCounter(&from);
        length = BuildReportText(context).size();
        QueryPerformanceCounter(&to);
        times.push_back(Milliseconds(from, to));
    }
    const double first = times.front();
    times.erase(times.begin());
    std::sort(times.begin(), times.end());
    std::printf("BuildReportText (stand-in blocks, %u bytes): first %.3f ms, median of 20 %.3f ms\n",
                static_cast<unsigned>(length), first, times[times.size() / 2]);
    StopExceptionPipeline();
    return 0;
}
