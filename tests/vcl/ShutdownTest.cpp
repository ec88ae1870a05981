// Shut-down of a program whose message loop ends by an exception while a
// worker runs: the forms go, with their worker, before static destruction
// (or, ended by the terminate handler through Halt, before the process ends
// without it).
#include <gtest/gtest.h>

#include <string>

#include "tests/support/ChildRun.h"

namespace {

TEST(Shutdown, TheFormsEndWithTheirWorkerBeforeStaticDestruction)
{
    static constexpr struct {
        const char* mode;
        DWORD exitCode;  // the terminate handler's 1, or what the entry function returned
        const char* first;
        const char* last;  // Halt ends the process without static destruction
    } kCases[] = {
        {"uncaught", 1, "unhandled: the loop failed", ""},
        {"caught", 0, "caught: the loop failed", "static destruction\n"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.mode);
        const testsupport::ChildRun run = testsupport::RunChild(L"LoopEndChild.exe", c.mode);
        ASSERT_TRUE(run.Finished) << "the child still ran after 60 s: " << run.Output;
        EXPECT_EQ(run.ExitCode, c.exitCode);
        EXPECT_EQ(run.Output, std::string(c.first) + "\nworker finished\nform destroyed\n" + c.last);
    }
}

}  // namespace
