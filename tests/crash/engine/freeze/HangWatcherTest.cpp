// The hang watcher in a child program with a window (HangChild.cpp): which
// blocks of the main thread give a hang report, and that the report neither
// waits for the blocked thread nor deadlocks with a report of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/ChildRun.h"

namespace {

int CountOf(const std::string& output, const std::string& text)
{
    int count = 0;
    for (std::size_t at = output.find(text); at != std::string::npos; at = output.find(text, at + 1)) ++count;
    return count;
}

// The latency the child measured, from the block to the report's first step;
// -1 when it wrote none.
double LatencyOf(const std::string& output)
{
    const std::size_t at = output.find("started latency=");
    return at == std::string::npos ? -1 : std::atof(output.c_str() + at + 16);
}

testsupport::ChildRun RunHangChild(const char* mode, bool console = false)
{
    return testsupport::RunChild(console ? L"HangConsoleChild.exe" : L"HangChild.exe", mode);
}

TEST(HangWatcher, BlockedMessageHandlerGivesOneReportOfTheMainThread)
{
    const testsupport::ChildRun child = RunHangChild("spin");
    ASSERT_TRUE(child.Finished) << child.Output;
    EXPECT_EQ(child.ExitCode, 0u) << child.Output;
    EXPECT_EQ(CountOf(child.Output, "report class="), 1) << child.Output;
    EXPECT_NE(child.Output.find("report class=EFrozenApplication thread=main first=Spin"), std::string::npos)
        << child.Output;
    EXPECT_EQ(CountOf(child.Output, "complete\n"), 1) << child.Output;
    // Never sooner than FreezeTimeout (1 s); how much later is a figure.
    EXPECT_GE(LatencyOf(child.Output), 1000.0) << child.Output;
}

// Reports that must complete while the main thread still runs its block: a
// minimised window (restoring it must not wait for its thread) and a thread
// busy in the heap (the report allocates only once the thread runs again).
TEST(HangWatcher, ReportCompletesWhileTheMainThreadStillBlocks)
{
    struct TCase {
        const char* Mode;
        const char* Line;
    };
    for (const TCase& c : {TCase{"min", "completed while spinning"}, TCase{"malloc", "completed while allocating"}}) {
        SCOPED_TRACE(c.Mode);
        const testsupport::ChildRun child = RunHangChild(c.Mode);
        ASSERT_TRUE(child.Finished) << child.Output;
        EXPECT_EQ(child.ExitCode, 0u) << child.Output;
        EXPECT_NE(child.Output.find(c.Line), std::string::npos) << child.Output;
        EXPECT_EQ(CountOf(child.Output, "report class=EFrozenApplication thread=main"), 1) << child.Output;
    }
}

// No hang: a window that answers, a program without windows, and a main
// thread that does not pump because its own report runs longer than
// FreezeTimeout (the watcher must neither count nor deadlock with it).
TEST(HangWatcher, NoReportWithoutAHang)
{
    struct TCase {
        const char* Mode;
        bool Console;
        int Reports;  // the child's own reports
    };
    for (const TCase& c : {TCase{"answer", false, 0}, TCase{"console", true, 0}, TCase{"held", false, 1}}) {
        SCOPED_TRACE(c.Mode);
        const testsupport::ChildRun child = RunHangChild(c.Mode, c.Console);
        ASSERT_TRUE(child.Finished) << child.Output;
        EXPECT_EQ(child.ExitCode, 0u) << child.Output;
        EXPECT_EQ(CountOf(child.Output, "EFrozenApplication"), 0) << child.Output;
        EXPECT_EQ(CountOf(child.Output, "report class="), c.Reports) << child.Output;
        EXPECT_NE(child.Output.find("done"), std::string::npos) << child.Output;
    }
}

TEST(HangWatcher, SwitchedOffFromItsOwnReportEndsAndStartsAgainOnce)
{
    const testsupport::ChildRun child = RunHangChild("off");
    ASSERT_TRUE(child.Finished) << child.Output;
    EXPECT_EQ(child.ExitCode, 0u) << child.Output;
    EXPECT_NE(child.Output.find("handler on-watcher=yes after-off=0"), std::string::npos) << child.Output;
    EXPECT_NE(child.Output.find("old watcher ended=yes"), std::string::npos) << child.Output;
    EXPECT_NE(child.Output.find("new starts=1 running=new"), std::string::npos) << child.Output;
    EXPECT_EQ(CountOf(child.Output, "report class="), 1) << child.Output;
}

// Not an assertion: the figures of the watcher, printed. The latency from
// the block to the report's start over 10 runs, and the watcher's CPU time
// on an idle program, as milliseconds per minute. Run by the benchmark test
// HangWatcher.Figures.
TEST(HangWatcherFigures, DISABLED_LatencyAndIdleCost)
{
    std::vector<double> latencies;
    for (int i = 0; i < 10; ++i) {
        const testsupport::ChildRun child = RunHangChild("spin");
        const double latency = LatencyOf(child.Output);
        if (latency >= 0) latencies.push_back(latency);
    }
    ASSERT_FALSE(latencies.empty());
    std::sort(latencies.begin(), latencies.end());
    std::printf("hang latency ms over %zu runs: median %.0f min %.0f max %.0f\n", latencies.size(),
                latencies[latencies.size() / 2], latencies.front(), latencies.back());
    const testsupport::ChildRun idle = RunHangChild("idle");
    double cpu = -1, over = 0;
    const std::size_t at = idle.Output.find("watcher cpu ms=");
    ASSERT_NE(at, std::string::npos) << idle.Output;
    std::sscanf(idle.Output.c_str() + at, "watcher cpu ms=%lf over ms=%lf", &cpu, &over);
    std::printf("watcher cpu %.1f ms over %.0f ms idle: %.1f ms per minute\n", cpu, over, cpu * 60000.0 / over);
}

}  // namespace
