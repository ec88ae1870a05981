// The handled decision and its cache, and the copies a raise makes, judged
// from a raise hook of the test's own.
#include <gtest/gtest.h>

#include <array>
#include <utility>

#include "crash/engine/capture/Capture.h"
#include "crash/engine/capture/RaiseState.h"
#include "rtl/SysUtils.h"
#include "tests/rtl/ExceptTestSupport.h"

namespace {

struct TDecisionLog {
    bool Handled = false;
    DWORD Esp = 0;
    bool Decode = false;
};
TDecisionLog gLog;

void DecidingHook(const rtl::TRaiseInfo& raise) noexcept
{
    if (raise.ThreadID != ::GetCurrentThreadId()) return;
    crash::TAsynchronousException asynchronous;
    gLog.Handled = crash::DecideExceptionHandled(raise, false, asynchronous);
    gLog.Esp = raise.Registers.Esp;
    if (gLog.Decode) crash::DecodeRaise(raise);
}

template <int N>
__attribute__((noinline)) void ThrowAt()
{
    throw rtl::Exception("site " + std::to_string(N));
}

template <int... N>
constexpr auto MakeSites(std::integer_sequence<int, N...>)
{
    return std::array<void (*)(), sizeof...(N)>{&ThrowAt<N>...};
}
constexpr auto kSites = MakeSites(std::make_integer_sequence<int, 11>{});

// Every site is raised through the same two callers, so that only the
// site differs.
__attribute__((noinline)) void CatchAt(int site)
{
    try {
        kSites[static_cast<std::size_t>(site)]();
    } catch (const rtl::Exception&) {}
}

__attribute__((noinline)) void CatchEach(int from, int to)
{
    for (int site = from; site <= to; ++site) CatchAt(site);
}

class HandledDecision : public ::testing::Test {
protected:
    void SetUp() override
    {
        crash::ClearHandledDecisionCache();
        gLog = {};
    }
    excepttest::ScopedHook<rtl::TRaiseHook> FHook{rtl::RaiseHook, DecidingHook};
};

TEST_F(HandledDecision, RepeatedRaiseIsDecidedFromTheCache)
{
    const std::uint32_t walks = crash::HandledDecisionWalkCount();
    for (int i = 0; i < 3; ++i) {
        try {
            ThrowAt<0>();
        } catch (...) {}
        EXPECT_TRUE(gLog.Handled);
    }
    EXPECT_EQ(crash::HandledDecisionWalkCount() - walks, 1u);
    EXPECT_EQ(crash::HandledDecisionCacheCount(), 1);
}

TEST_F(HandledDecision, EleventhDecisionDropsTheOldest)
{
    CatchEach(0, 10);
    EXPECT_EQ(crash::HandledDecisionCacheCount(), 10);
    const std::uint32_t walks = crash::HandledDecisionWalkCount();
    CatchEach(10, 10);
    EXPECT_EQ(crash::HandledDecisionWalkCount(), walks) << "the newest entry is kept";
    CatchEach(0, 0);
    EXPECT_EQ(crash::HandledDecisionWalkCount(), walks + 1) << "the oldest entry was dropped";
}

// Two callers at the same depth, with the same frame, reaching the same
// raise: the place and the stack pointer agree, the path does not.
__attribute__((noinline)) void Middle()
{
    ThrowAt<20>();
    asm volatile("" ::: "memory");
}

__attribute__((noinline)) void PathA()
{
    try {
        Middle();
    } catch (const rtl::Exception&) {}
}

__attribute__((noinline)) void PathB()
{
    try {
        Middle();
    } catch (const rtl::EConvertError&) {
    } catch (const rtl::Exception&) {}
}

TEST_F(HandledDecision, AnotherPathAtTheSamePlaceAndDepthIsDecidedAgain)
{
    PathA();
    const DWORD espA = gLog.Esp;
    const std::uint32_t walks = crash::HandledDecisionWalkCount();
    PathB();
    ASSERT_EQ(gLog.Esp, espA) << "the two paths must raise at the same stack position";
    EXPECT_EQ(crash::HandledDecisionWalkCount(), walks + 1);
}

TEST_F(HandledDecision, RaiseCopiesCarryTheRaisersRegistersAndTheLanguageRecord)
{
    gLog.Decode = true;
    void* object = nullptr;
    try {
        ThrowAt<30>();
    } catch (rtl::Exception& error) {
        object = &error;
    }
    const crash::TThreadRaiseState* state = crash::ThreadRaiseState();
    ASSERT_NE(state, nullptr);
    const rtl::TThreadExceptState* block = rtl::CurrentExceptState();
    const rtl::TRaiseInfo& raise = block->LastRaise;
    EXPECT_EQ(state->Context.ContextFlags, crash::kContextCopyFlags);
    EXPECT_EQ(state->Context.Eax, reinterpret_cast<DWORD>(object));
    EXPECT_EQ(state->Context.Edx, reinterpret_cast<DWORD>(raise.Address));
    EXPECT_EQ(state->Context.Eip, reinterpret_cast<DWORD>(raise.Address) - 5);
    EXPECT_EQ(state->Context.Ecx, 0u);
    EXPECT_EQ(state->Context.Esp, raise.Registers.Esp);
    EXPECT_EQ(state->Context.Ebp, raise.Registers.Ebp);
    EXPECT_EQ(state->StackPointerAtRaise, raise.Registers.Esp);
    EXPECT_EQ(state->ExceptionRecord.ExceptionCode, crash::kLanguageExceptionCode);
    EXPECT_EQ(state->ExceptionRecord.ExceptionFlags, 1u);
    EXPECT_EQ(state->ExceptionRecord.NumberParameters, 7u);
    EXPECT_EQ(state->ExceptionRecord.ExceptionInformation[1], reinterpret_cast<ULONG_PTR>(object));
    EXPECT_EQ(state->LastLanguageObject, object);
}

}  // namespace
