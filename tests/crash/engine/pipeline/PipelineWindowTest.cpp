// The pipeline's child program with a minimised main window, in a desktop of
// its own: every report restores that window from its raising thread while
// the window's own thread serves no messages, and nothing may wait for it.
#include <gtest/gtest.h>

#include <string>

#include "tests/crash/engine/pipeline/PipelineReports.h"
#include "tests/support/ChildRun.h"

namespace {

using pipelinetest::CountOf;
using pipelinetest::ReportLines;

TEST(PipelineWindow, EightReportsWhileTheMainWindowIsMinimised)
{
    const testsupport::ChildRun run = testsupport::RunChild(L"PipelineChild.exe", "eight-minimised");
    ASSERT_TRUE(run.FFinished) << "a report waited for the window's thread";
    EXPECT_EQ(run.FExitCode, 0u);
    ASSERT_EQ(run.FOutput.rfind("minimised\n", 0), 0u) << run.FOutput;
    EXPECT_EQ(ReportLines(run.FOutput).size(), 8u) << run.FOutput;
    EXPECT_EQ(CountOf(run.FOutput, "overlapping"), 0) << run.FOutput;
    EXPECT_EQ(CountOf(run.FOutput, "end code=1"), 8) << run.FOutput;
}

}  // namespace
