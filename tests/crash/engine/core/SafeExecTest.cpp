// The unit-step guard's three ways out.
#include <gtest/gtest.h>

#include <cstdio>
#include <exception>
#include <stdexcept>

#include "crash/engine/ECore.h"

namespace crash {
namespace {

int gRuns = 0;
std::vector<std::string> gCritical;
bool gHandledDuringCritical = false;

void Succeeds()
{
    ++gRuns;
}
void ThrowsException()
{
    throw rtl::Exception("step failed");
}
void ThrowsIgnore()
{
    throw EIgnoreException("ignored");
}
void ThrowsNumber()
{
    throw 42;
}
void ThrowsStd()
{
    throw std::runtime_error("standard failure");
}
void ThrowsAbort()
{
    rtl::Abort();
}

class PlainObject : public rtl::TObject {};
void ThrowsObject()
{
    throw PlainObject();
}

void RecordCritical(const std::string& text)
{
    gCritical.push_back(text);
    gHandledDuringCritical = std::current_exception() != nullptr;
}

std::string AddressOf(TProc proc)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(proc)));
    return text;
}

class Guard : public ::testing::Test {
protected:
    void SetUp() override
    {
        gRuns = 0;
        gCritical.clear();
        gHandledDuringCritical = false;
        CriticalError = nullptr;
    }
    void TearDown() override { CriticalError = nullptr; }
};

TEST_F(Guard, ASucceedingStepJustRuns)
{
    SafeExec(&Succeeds, "Unit.Init");
    EXPECT_EQ(gRuns, 1);
    CriticalError = &RecordCritical;
    SafeExec(&Succeeds, "Unit.Init");
    EXPECT_EQ(gRuns, 2);
    EXPECT_TRUE(gCritical.empty());
}

TEST_F(Guard, IgnoredAndForeignExceptionsPassUnchanged)
{
    for (TCriticalErrorProc handler : {TCriticalErrorProc{}, &RecordCritical}) {
        CriticalError = handler;
        try {
            SafeExec(&ThrowsIgnore, "Unit.Init");
            ADD_FAILURE() << "nothing raised";
        } catch (const EIgnoreException& e) {
            EXPECT_EQ(e.Message(), "ignored");
        }
        try {
            SafeExec(&ThrowsNumber, "Unit.Init");
            ADD_FAILURE() << "nothing raised";
        } catch (int value) {
            EXPECT_EQ(value, 42);
        }
    }
    EXPECT_TRUE(gCritical.empty());
}

TEST_F(Guard, WithAHandlerAFailureIsReportedThenAborts)
{
    CriticalError = &RecordCritical;
    static constexpr TProc kSteps[] = {&ThrowsException, &ThrowsObject, &ThrowsStd, &ThrowsAbort};
    for (TProc step : kSteps) {
        SCOPED_TRACE(AddressOf(step));
        gCritical.clear();
        EXPECT_THROW(SafeExec(step, "ECore.Init"), rtl::EAbort);
        ASSERT_EQ(gCritical.size(), 1u);
        EXPECT_EQ(gCritical[0], "ECore.Init (Address: " + AddressOf(step) + ")");
        EXPECT_TRUE(gHandledDuringCritical);  // the handler may still look at the failure
    }
}

TEST_F(Guard, WithoutAHandlerAFailureBecomesACriticalError)
{
    static constexpr struct {
        TProc step;
        const char* message;
    } kCases[] = {
        {&ThrowsException, "Critical error at: \"EHook.Done\"\r\nError: \"step failed\"."},
        {&ThrowsObject, "Critical error at: \"EHook.Done\"\r\nError: \"General internal error.\"."},
        {&ThrowsStd, "Critical error at: \"EHook.Done\"\r\nError: \"standard failure\"."},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.message);
        try {
            SafeExec(c.step, "EHook.Done");
            ADD_FAILURE() << "nothing raised";
        } catch (const rtl::EAbort&) {
            ADD_FAILURE() << "aborted without a handler";
        } catch (const rtl::Exception& e) {
            EXPECT_EQ(e.Message(), c.message);
        }
    }
}

}  // namespace
}  // namespace crash
