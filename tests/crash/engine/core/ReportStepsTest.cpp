// The report steps' slots: a filled slot is called, an empty one skipped.
#include "crash/engine/ReportSteps.h"

#include <gtest/gtest.h>

#include <string>

namespace {

int gCalls = 0;

std::string ReportText(int code, const std::string& message)
{
    ++gCalls;
    return std::to_string(code) + ": " + message;
}

void SaveLog(std::string& log)
{
    ++gCalls;
    log += "saved";
}

TEST(ReportSteps, AFilledSlotIsCalledAndAnEmptyOneSkipped)
{
    crash::TReportStep<std::string(int, const std::string&)> text;
    crash::TReportStep<void(std::string&)> log;
    gCalls = 0;
    EXPECT_FALSE(text);
    EXPECT_EQ(text(5, "lost"), "");  // skipped: the empty answer
    std::string written;
    log(written);
    EXPECT_EQ(written, "");
    EXPECT_EQ(gCalls, 0);

    text.Set(ReportText);
    log.Set(SaveLog);
    EXPECT_TRUE(text);
    EXPECT_EQ(text(5, "lost"), "5: lost");
    log(written);
    EXPECT_EQ(written, "saved");
    EXPECT_EQ(gCalls, 2);

    text.Set(nullptr);
    EXPECT_EQ(text(5, "lost"), "");
    EXPECT_EQ(gCalls, 2);
}

}  // namespace
