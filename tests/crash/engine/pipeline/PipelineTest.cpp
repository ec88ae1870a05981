// Raise shapes in a child program with the crash reporter in force: which
// are reported (once, never twice), under which class and thread, and how the
// thread or the program ends.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/crash/engine/pipeline/PipelineReports.h"
#include "tests/support/ChildRun.h"

namespace {

using pipelinetest::CountOf;
using pipelinetest::ReportLines;

struct TShape {
    const char* Mode;
    int Reports;
    const char* Report;  // a text the report line holds
    DWORD ExitCode;
    const char* Output;  // a text the result file holds besides the report
};

constexpr DWORD kAccessViolation = 0xC0000005;
constexpr DWORD kStackOverflow = 0xC00000FD;

const TShape kShapes[] = {
    {"main-typed", 0, "", 0, "done"},
    {"main-base", 0, "", 0, "done"},
    {"main-catchall", 0, "", 0, "done"},
    {"worker-typed", 0, "", 0, "end code=0"},
    {"worker-base", 0, "", 0, "end code=0"},
    {"worker-catchall", 0, "", 0, "end code=0"},
    {"worker-cleanup", 1, "class=Exception message=thrown thread=worker", 0, "end code=1"},
    {"worker-noexcept", 1, "class=Exception message=thrown thread=worker", 0, "end code=1"},
    {"worker-rethrowcaught", 0, "", 0, "end code=0"},
    {"worker-rethrowuncaught", 1, "class=Exception message=thrown thread=worker", 0, "end code=1"},
    {"worker-faultcaught", 0, "", 0, "end code=0"},
    {"worker-faultuncaught", 1, "class=EAccessViolation", kAccessViolation, ""},
    {"worker-msvcrt", 1, "class=EAccessViolation", kAccessViolation, ""},
    // The thread's stack has run out: the report runs on a stack of its own.
    {"worker-overflow", 1, "class=EStackOverflow message=Stack overflow thread=worker", kStackOverflow, ""},
    {"main-overflow", 1, "class=EStackOverflow message=Stack overflow thread=main", kStackOverflow, ""},
    {"worker-callback", 1, "class=Exception message=thrown thread=worker", 0, "end code=1"},
    {"worker-uncaught", 1, "class=Exception message=thrown thread=worker stage=18", 0, "end code=1"},
    // The report's environment names the message; the frames name the thrower.
    {"worker-uncaught", 1, "env=thrown frames=Thrower,", 0, "end code=1"},
    {"main-uncaught", 1, "class=Exception message=thrown thread=main", 1, ""},
    {"worker-abort", 0, "", 0, "end code=1"},
    {"worker-outofrange", 1, "class=out_of_range message=index 7 thread=worker", 0, "end code=1"},
    {"worker-int", 1, "class=int message= thread=worker", 0, "end code=1"},
    {"worker-naming", 0, "", 0, "end code=0"},
    {"sync", 1, "message=beta", 0, "done"},
};

TEST(PipelineShapes, EachShapeIsReportedOnceOrNever)
{
    for (const TShape& shape : kShapes) {
        SCOPED_TRACE(shape.Mode);
        const testsupport::ChildRun run = testsupport::RunChild(L"PipelineChild.exe", shape.Mode);
        ASSERT_TRUE(run.Finished);
        EXPECT_EQ(run.ExitCode, shape.ExitCode);
        const std::vector<std::string> reports = ReportLines(run.Output);
        ASSERT_EQ(static_cast<int>(reports.size()), shape.Reports) << run.Output;
        if (shape.Reports > 0) {
            EXPECT_NE(reports[0].find(shape.Report), std::string::npos) << reports[0];
        }
        if (*shape.Output) {
            EXPECT_NE(run.Output.find(shape.Output), std::string::npos) << run.Output;
        }
    }
}

// A synchronised call's report shows where it raised (Beta), not the main
// thread's earlier handled raise (Alpha).
TEST(PipelineShapes, SynchronisedCallShowsItsOwnStack)
{
    const testsupport::ChildRun run = testsupport::RunChild(L"PipelineChild.exe", "sync");
    const std::vector<std::string> reports = ReportLines(run.Output);
    ASSERT_EQ(reports.size(), 1u) << run.Output;
    EXPECT_NE(reports[0].find("Beta"), std::string::npos) << reports[0];
    EXPECT_EQ(reports[0].find("Alpha"), std::string::npos) << reports[0];
}

// Eight threads failing in one function: eight reports, one after the other,
// each naming its thread; the program goes on. Again while the main thread
// raises too.
TEST(PipelineShapes, EightThreadsInOneFunctionGiveEightReports)
{
    for (const char* mode : {"eight", "eight-main"}) {
        SCOPED_TRACE(mode);
        const testsupport::ChildRun run = testsupport::RunChild(L"PipelineChild.exe", mode);
        ASSERT_TRUE(run.Finished);
        EXPECT_EQ(run.ExitCode, 0u);
        const std::vector<std::string> reports = ReportLines(run.Output);
        EXPECT_EQ(reports.size(), 8u) << run.Output;
        EXPECT_EQ(CountOf(run.Output, "overlapping"), 0) << run.Output;
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(CountOf(run.Output, "thread=w" + std::to_string(i) + " "), 1) << run.Output;
        EXPECT_EQ(CountOf(run.Output, "end code=1"), 8) << run.Output;
        EXPECT_NE(run.Output.find("done"), std::string::npos);
    }
}

// The data reader's password request during a report goes to the raising
// thread, like every handler of a report, and its answer comes back.
TEST(PipelineShapes, PasswordRequestRunsOnTheRaisingThread)
{
    const testsupport::ChildRun run = testsupport::RunChild(L"PipelineChild.exe", "password");
    ASSERT_TRUE(run.Finished);
    EXPECT_GT(CountOf(run.Output, "handler thread=worker\n"), 0) << run.Output;
    EXPECT_EQ(CountOf(run.Output, "handler thread="), CountOf(run.Output, "handler thread=worker\n")) << run.Output;
    EXPECT_NE(run.Output.find("password=pass\n"), std::string::npos) << run.Output;
    EXPECT_EQ(ReportLines(run.Output).size(), 1u) << run.Output;
}

// A step that raises and calls the entry inside the report worker: the entry
// answers at once, one report, no hang.
TEST(PipelineShapes, WorkerReentryGivesOneReportAndNoHang)
{
    const testsupport::ChildRun run = testsupport::RunChild(L"PipelineChild.exe", "reenter");
    ASSERT_TRUE(run.Finished) << "the report hung";
    EXPECT_EQ(ReportLines(run.Output).size(), 1u) << run.Output;
    EXPECT_NE(run.Output.find("inner passed"), std::string::npos) << run.Output;
    EXPECT_NE(run.Output.find("end code=1"), std::string::npos) << run.Output;
}

// A notify handler that faults: served outside the hook, so the fault becomes
// an exception the call slot swallows, and the report reaches its last stage.
TEST(PipelineShapes, FaultingNotifyHandlerDoesNotLoseTheReport)
{
    const testsupport::ChildRun run = testsupport::RunChild(L"PipelineChild.exe", "notifynull");
    ASSERT_TRUE(run.Finished);
    EXPECT_EQ(run.ExitCode, 0u);
    const std::vector<std::string> reports = ReportLines(run.Output);
    ASSERT_EQ(reports.size(), 1u) << run.Output;
    EXPECT_NE(reports[0].find("stage=18"), std::string::npos) << reports[0];
    EXPECT_NE(run.Output.find("end code=1"), std::string::npos) << run.Output;
}

// A console program writes the report to its standard output.
TEST(PipelineOutput, ConsoleProgramWritesTheReportToStandardOutput)
{
    const testsupport::ChildRun run = testsupport::RunChild(L"PipelineChild.exe", "console");
    ASSERT_TRUE(run.Finished);
    EXPECT_NE(run.Output.find("Exception: thrown\r\n"), std::string::npos) << run.Output;
    EXPECT_EQ(ReportLines(run.Output).size(), 1u) << run.Output;
}

// Threads paused for a report whose step fails run again afterwards.
TEST(PipelineThreads, PausedThreadsAreResumedWhenAStepFails)
{
    const testsupport::ChildRun run = testsupport::RunChild(L"PipelineChild.exe", "pausefail");
    ASSERT_TRUE(run.Finished) << "a paused thread was never resumed";
    EXPECT_NE(run.Output.find("suspended sleeper=0"), std::string::npos) << run.Output;
    EXPECT_NE(run.Output.find("failed=8"), std::string::npos) << run.Output;
}

// Twenty reports with every thread shown while one thread churns the heap
// and another starts threads: none of them hangs on a suspended thread.
TEST(PipelineThreads, ReportsWithBusyThreadsDoNotHang)
{
    const testsupport::ChildRun run = testsupport::RunChild(L"PipelineChild.exe", "heapchurn");
    ASSERT_TRUE(run.Finished) << "a report hung";
    EXPECT_EQ(ReportLines(run.Output).size(), 20u) << run.Output;
    EXPECT_EQ(CountOf(run.Output, "end code=1"), 20) << run.Output;
}

}  // namespace
