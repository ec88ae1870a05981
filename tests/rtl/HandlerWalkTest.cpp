// The handler walk against what the C++ runtime then really does.
#include <string>

#include <gtest/gtest.h>

#include "ExceptTestSupport.h"
#include "rtl/SysUtils.h"

namespace {

using excepttest::RaiseRecorder;

volatile int gCleanups = 0;

struct Cleanup {
    ~Cleanup() { gCleanups = gCleanups + 1; }
};

__attribute__((noinline)) void Raise()
{
    throw rtl::EConvertError("x");
}

__attribute__((noinline)) void WithCleanup()
{
    Cleanup cleanup;
    Raise();
}

// Each answers 1 when the catch the walk should name took the exception.
__attribute__((noinline)) int CatchOwnClass()
{
    try {
        WithCleanup();
    } catch (const rtl::EConvertError&) {
        return 1;
    }
    return 0;
}

__attribute__((noinline)) int CatchBaseClass()
{
    try {
        Raise();
    } catch (const rtl::Exception&) {
        return 1;
    }
    return 0;
}

__attribute__((noinline)) int CatchUnrelatedThenAll()
{
    try {
        Raise();
    } catch (const rtl::EOSError&) {
        return 2;
    } catch (...) {
        return 1;
    }
    return 0;
}

__attribute__((noinline)) int CatchAllOnly()
{
    try {
        WithCleanup();
    } catch (...) {
        return 1;
    }
    return 0;
}

__attribute__((noinline)) int PassUnrelated()
{
    try {
        Raise();
    } catch (const rtl::EOSError&) {
        return 2;
    }
    return 0;
}

__attribute__((noinline)) int CatchAfterUnrelated()
{
    try {
        return PassUnrelated();
    } catch (const rtl::EConvertError&) {
        return 1;
    }
}

__attribute__((noinline)) int CatchInTheThrowingFrame()
{
    try {
        throw rtl::EConvertError("here");
    } catch (const rtl::EConvertError&) {
        return 1;
    }
}

std::string KindText(const rtl::THandlerInfo& handler)
{
    std::string text;
    switch (handler.Kind) {
    case rtl::THandlerKind::hkCatchAll: text = "all"; break;
    case rtl::THandlerKind::hkCatchTyped: text = "typed"; break;
    case rtl::THandlerKind::hkCleanup: text = "cleanup"; break;
    case rtl::THandlerKind::hkTerminate: text = "terminate"; break;
    }
    if (handler.Kind == rtl::THandlerKind::hkCatchTyped) {
        text += "(";
        for (int i = 0; i < handler.CatchTypeCount; ++i)
            text += (i ? "," : "") + (handler.CatchTypes[i] ? rtl::ClassNameOf(*handler.CatchTypes[i]) : "...");
        text += ")";
    }
    return text + (handler.Matches ? "*" : "");
}

TEST(HandlerWalk, PredictsWhichCatchTakesTheException)
{
    static constexpr struct {
        const char* name;
        int (*run)();
        const char* handlers;  // each handler the walk yields, * = takes it
        int catcherFrame;
    } kCases[] = {
        {"typed catch of the class", CatchOwnClass, "cleanup typed(EConvertError)*", 2},
        {"typed catch of a base class", CatchBaseClass, "typed(Exception)*", 1},
        {"unrelated class, then catch (...)", CatchUnrelatedThenAll, "typed(EOSError,...)*", 1},
        {"catch (...) behind a cleanup", CatchAllOnly, "cleanup all*", 2},
        {"an unrelated catch passes it on", CatchAfterUnrelated, "typed(EOSError) typed(EConvertError)*", 2},
        {"catch in the throwing frame", CatchInTheThrowingFrame, "typed(EConvertError)*", 0},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        RaiseRecorder recorder(true);
        const int cleanupsBefore = gCleanups;
        EXPECT_EQ(c.run(), 1);  // what really happened
        ASSERT_GE(recorder->Count, 1);
        const rtl::TWalkResult& result = recorder->WalkResult;
        EXPECT_EQ(result.End, rtl::TWalkEnd::weCaught);
        std::string handlers;
        for (int i = 0; i < recorder->HandlerCount; ++i) handlers += (i ? " " : "") + KindText(recorder->Handlers[i]);
        EXPECT_EQ(handlers, c.handlers);
        const rtl::THandlerInfo& taker = recorder->Handlers[recorder->HandlerCount - 1];
        EXPECT_EQ(taker.Frame, c.catcherFrame);
        EXPECT_EQ(taker.FunctionStart, reinterpret_cast<std::uintptr_t>(c.run));
        EXPECT_NE(result.FirstFrameAddress, 0u);
        if (std::string(c.handlers).rfind("cleanup", 0) == 0) {
            EXPECT_EQ(gCleanups, cleanupsBefore + 1);
        }
    }
}

// A thrown pointer is matched by what it points to, as the C++ runtime does:
// a base reached through a virtual base is found through the pointee's
// vtable, and a null pointer has none to read.
struct PointedBase {
    virtual ~PointedBase() = default;
};
struct PointedDerived : virtual PointedBase {};
struct Unrelated {
    virtual ~Unrelated() = default;
};

__attribute__((noinline)) int CatchPointer(PointedDerived* thrown)
{
    try {
        throw thrown;
    } catch (Unrelated*) {
        return 2;
    } catch (PointedBase* caught) {
        return caught == static_cast<PointedBase*>(thrown) ? 1 : 3;
    }
}

TEST(HandlerWalk, AThrownPointerIsMatchedByItsPointee)
{
    PointedDerived object;
    PointedDerived* const kCases[] = {&object, nullptr};
    for (PointedDerived* thrown : kCases) {
        SCOPED_TRACE(thrown ? "an object" : "a null pointer");
        RaiseRecorder recorder(true);
        EXPECT_EQ(CatchPointer(thrown), 1);
        ASSERT_EQ(recorder->Count, 1);
        EXPECT_EQ(recorder->WalkResult.End, rtl::TWalkEnd::weCaught);
        ASSERT_EQ(recorder->HandlerCount, 1);
        const rtl::THandlerInfo& handler = recorder->Handlers[0];
        EXPECT_EQ(handler.Kind, rtl::THandlerKind::hkCatchTyped);
        EXPECT_EQ(handler.CatchTypeCount, 2);
        EXPECT_TRUE(handler.Matches);
    }
}

TEST(HandlerWalk, TheFirstWalkOfAProcessAllocatesNothing)
{
    // The unwinder sorts its frame tables on first use; start-up has done
    // that already, so a hook walking the process's first raise does not.
    const excepttest::ChildRun run = excepttest::RunChild("first-walk");
    ASSERT_TRUE(run.Finished);
    EXPECT_EQ(run.ExitCode, 0u);
    EXPECT_EQ(run.Output, "walk caught, 0 allocations\nmain returned\n");
}

TEST(HandlerWalk, FirstFramePositionTellsRaisesFromDifferentDepths)
{
    // The same raise address under a different stack depth has another
    // first-frame position (the key of a decision made per raise place).
    RaiseRecorder shallow(true);
    CatchBaseClass();
    const std::uintptr_t first = shallow->WalkResult.FirstFrameAddress;
    void* const address = shallow->Raises[0].Address;
    struct Deeper {
        __attribute__((noinline)) static int Run()
        {
            volatile char pad[256] = {};
            return CatchBaseClass() + pad[0];
        }
    };
    RaiseRecorder deep(true);
    Deeper::Run();
    EXPECT_LT(deep->WalkResult.FirstFrameAddress, first);
    EXPECT_EQ(deep->Raises[0].Address, address);
}

}  // namespace
