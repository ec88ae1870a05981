// The raise hook: every throw, rethrow and end of a catch, with the raise
// address and the raiser's registers.
#include <exception>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "ExceptTestSupport.h"
#include "rtl/SysUtils.h"

namespace {

using excepttest::EnclosingFunction;
using excepttest::RaiseRecorder;
using excepttest::ScopedHook;

void* gThrowerFrame = nullptr;

__attribute__((noinline)) void ThrowConvertError()
{
    gThrowerFrame = __builtin_frame_address(0);
    throw rtl::EConvertError("'x' is not a valid integer value");
}

// Kept in one piece: a catch block is otherwise moved to the function's cold
// part, which the unwinder knows as a function of its own.
__attribute__((noinline, optimize("no-reorder-blocks-and-partition"))) void Rethrow()
{
    try {
        ThrowConvertError();
    } catch (...) {
        throw;
    }
}

TEST(RaiseHook, SeesTheThrowWithItsAddressAndRegisters)
{
    RaiseRecorder recorder;
    try {
        ThrowConvertError();
        FAIL() << "nothing thrown";
    } catch (const rtl::EConvertError& e) {
        ASSERT_EQ(recorder->Count, 1);
        const rtl::TRaiseInfo& raise = recorder->Raises[0];
        EXPECT_EQ(raise.Kind, rtl::TRaiseKind::rkThrow);
        EXPECT_EQ(raise.Object, static_cast<const void*>(&e));
        EXPECT_EQ(raise.Type, &typeid(rtl::EConvertError));
        EXPECT_EQ(EnclosingFunction(raise.Address), reinterpret_cast<void*>(&ThrowConvertError));
        EXPECT_EQ(e.RaiseAddress(), raise.Address);
        EXPECT_EQ(raise.Registers.Ebp, reinterpret_cast<DWORD>(gThrowerFrame));
        EXPECT_LT(raise.Registers.Esp, raise.Registers.Ebp);
        EXPECT_EQ(raise.ThreadID, GetCurrentThreadId());
        EXPECT_EQ(rtl::RaisedObject(raise), static_cast<const rtl::TObject*>(&e));
        EXPECT_EQ(rtl::CurrentExceptState()->LastRaise.Object, raise.Object);
    }
}

TEST(RaiseHook, SeesRethrowsAndEndsOfCatch)
{
    static void* ended[8];
    static int endCount;
    endCount = 0;
    ScopedHook<rtl::TEndCatchHook> endHook(rtl::EndCatchHook, [](void* object, const std::type_info*) noexcept {
        if (endCount < 8) ended[endCount++] = object;
    });
    RaiseRecorder recorder;
    void* caught = nullptr;
    try {
        Rethrow();
    } catch (const rtl::EConvertError& e) {
        caught = const_cast<rtl::EConvertError*>(&e);
    }
    ASSERT_EQ(recorder->Count, 2);
    EXPECT_EQ(recorder->Raises[1].Kind, rtl::TRaiseKind::rkRethrow);
    EXPECT_EQ(recorder->Raises[1].Object, recorder->Raises[0].Object);
    EXPECT_EQ(recorder->Raises[1].Type, &typeid(rtl::EConvertError));
    EXPECT_EQ(EnclosingFunction(recorder->Raises[1].Address), reinterpret_cast<void*>(&Rethrow));
    ASSERT_EQ(endCount, 2);  // the rethrowing catch, then ours
    EXPECT_EQ(ended[0], caught);
    EXPECT_EQ(ended[1], caught);

    std::exception_ptr kept;
    try {
        ThrowConvertError();
    } catch (...) {
        kept = std::current_exception();
    }
    EXPECT_THROW(std::rethrow_exception(kept), rtl::EConvertError);
    EXPECT_EQ(recorder->Raises[recorder->Count - 1].Kind, rtl::TRaiseKind::rkRethrowException);
    EXPECT_EQ(recorder->Raises[recorder->Count - 1].Object, recorder->Raises[recorder->Count - 2].Object);
}

TEST(RaiseHook, StandardLibraryThrowsCarryTheirTypeNameAndText)
{
    RaiseRecorder recorder;
    std::vector<int> empty;
    EXPECT_THROW(static_cast<void>(empty.at(3)), std::out_of_range);
    ASSERT_EQ(recorder->Count, 1);
    const rtl::TRaiseInfo& raise = recorder->Raises[0];
    EXPECT_EQ(rtl::RaisedObject(raise), nullptr);
    EXPECT_EQ(rtl::ExceptionClassName(raise.Type), "out_of_range");
    EXPECT_NE(rtl::ExceptionMessage(raise.Object, raise.Type).find("3"), std::string::npos)
        << rtl::ExceptionMessage(raise.Object, raise.Type);
}

TEST(RaiseHook, AHookThatThrowsInsideIsNotEnteredAgain)
{
    static int calls;
    calls = 0;
    ScopedHook<rtl::TRaiseHook> hook(rtl::RaiseHook, [](const rtl::TRaiseInfo&) noexcept {
        ++calls;
        try {
            throw 1;
        } catch (int) {}
    });
    EXPECT_THROW(ThrowConvertError(), rtl::EConvertError);
    EXPECT_EQ(calls, 1);
}

TEST(ExceptProc, UnhandledThrowReachesItWithTheThrowerOnTheStack)
{
    static constexpr struct {
        const char* mode;
        const char* walk;
    } kCases[] = {
        {"uncaught", "walk nohandler"},
        {"noexcept", "walk terminate"},
        // The system's frames have no unwind data: the catch around the
        // call is never reached, and the walk says so beforehand.
        {"callback", "walk nohandler"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.mode);
        const excepttest::ChildRun run = excepttest::RunChild(c.mode);
        ASSERT_TRUE(run.Finished);
        EXPECT_EQ(run.ExitCode, 1u);
        EXPECT_EQ(run.Output,
                  std::string(c.walk) + "\nproc EConvertError 'lost' thrower-on-stack=1 address-in-thrower=1\n");
    }
}

TEST(RaiseHook, RaisesWithoutAnObjectAreRecordedAsSuch)
{
    static constexpr struct {
        const char* mode;
        DWORD exitCode;
        const char* output;
    } kCases[] = {
        // The hook sees the rethrow; the C++ runtime then terminates, and with
        // no exception to report the runtime aborts (exit code 3).
        {"bare-rethrow", 3, "walk nohandler\n"},
        // A foreign exception ends its catch with no object and no type.
        {"foreign-end-catch", 0, "caught the foreign exception\nend of catch: no object\nmain returned\n"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.mode);
        const excepttest::ChildRun run = excepttest::RunChild(c.mode);
        ASSERT_TRUE(run.Finished);
        EXPECT_EQ(run.ExitCode, c.exitCode);
        EXPECT_EQ(run.Output, c.output);
    }
}

TEST(ExceptProc, InAWorkerItEndsOnlyThatThread)
{
    const excepttest::ChildRun run = excepttest::RunChild("thread");
    ASSERT_TRUE(run.Finished);
    EXPECT_EQ(run.ExitCode, 0u);
    EXPECT_EQ(run.Output, "walk nohandler\nproc EConvertError 'lost' thrower-on-stack=1 address-in-thrower=1\n"
                          "thread exit 1\n");
}

}  // namespace
