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
    ASSERT_TRUE(run.Finished) << "a report waited for the window's thread";
    EXPECT_EQ(run.ExitCode, 0u);
    ASSERT_EQ(run.Output.rfind("minimised\n", 0), 0u) << run.Output;
    EXPECT_EQ(ReportLines(run.Output).size(), 8u) << run.Output;
    EXPECT_EQ(CountOf(run.Output, "overlapping"), 0) << run.Output;
    EXPECT_EQ(CountOf(run.Output, "end code=1"), 8) << run.Output;
}

}  // namespace
