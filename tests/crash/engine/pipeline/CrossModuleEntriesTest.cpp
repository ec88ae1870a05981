// The entries another module's copy of the library forwards its raises to:
// a raise in the system record's shape is decoded as one of this module's,
// and a system exception's record and context land in the thread's state.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "crash/engine/api/ApiExports.h"
#include "crash/engine/capture/RaiseState.h"
#include "crash/engine/stack/CallStack.h"
#include "rtl/Classes.h"
#include "rtl/SysUtils.h"

namespace {

struct TRaiseArgs {
    ULONG_PTR Values[8];
};

std::uint32_t StackPosition()
{
    int local = 0;
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(&local));
}

TEST(CrossModuleEntries, LanguageRaiseIsDecodedAsOurs)
{
    auto object = std::make_unique<rtl::Exception>("tank 2 overflow");
    const std::uint32_t hook = StackPosition();
    const ULONG_PTR address = reinterpret_cast<ULONG_PTR>(&StackPosition) + 16;
    const TRaiseArgs args{{address, reinterpret_cast<ULONG_PTR>(object.get()), 0x11, 0x22, 0x33, hook + 64, hook}};
    crash::exports::VexlorLog_CallGeneralRaise(crash::kLanguageExceptionCode, 1, 7, hook, args.Values);

    const crash::TThreadRaiseState* state = crash::ThreadRaiseState();
    ASSERT_NE(state, nullptr);
    EXPECT_EQ(state->HookStackPointer, hook);
    EXPECT_EQ(state->StackPointerAtRaise, hook);
    EXPECT_EQ(state->Context.ContextFlags, crash::kContextCopyFlags);
    EXPECT_EQ(state->Context.Eax, reinterpret_cast<DWORD>(object.get()));
    EXPECT_EQ(state->Context.Ebx, 0x11u);
    EXPECT_EQ(state->Context.Esi, 0x22u);
    EXPECT_EQ(state->Context.Edi, 0x33u);
    EXPECT_EQ(state->Context.Ebp, hook + 64);
    EXPECT_EQ(state->Context.Esp, hook);
    EXPECT_EQ(state->Context.Eip, address - 5);
    EXPECT_EQ(state->ExceptionRecord.ExceptionCode, crash::kLanguageExceptionCode);
    EXPECT_EQ(state->LastLanguageObject, object.get());
    const crash::TLastRaisedException& last = crash::LastRaisedException();
    EXPECT_EQ(last.Object, object.get());
    EXPECT_EQ(last.Address, address);
    EXPECT_EQ(last.CurrentObject, object.get());
    EXPECT_TRUE(crash::exports::VexlorLog_LastNativeException());
}

// Whatever is not one of the two shapes only moves the thread's stack
// position: nothing is decoded from it.
TEST(CrossModuleEntries, OtherShapesOnlySetTheStackPosition)
{
    auto object = std::make_unique<rtl::Exception>("unrelated");
    const TRaiseArgs args{{0x401000, reinterpret_cast<ULONG_PTR>(object.get()), 0, 0, 0, 0, 0, 0}};
    struct TCase {
        const char* Name;
        DWORD Code;
        DWORD Flags;
        DWORD Count;
        const ULONG_PTR* Args;
    };
    const TCase cases[] = {
        {"thread naming", crash::kThreadNamingCode, 0, 4, args.Values},
        {"raise with 6 arguments", crash::kLanguageExceptionCode, 1, 6, args.Values},
        {"re-raise with 7 arguments", crash::kLanguageExceptionCode, 0xC0000025, 7, args.Values},
        {"other flags", crash::kLanguageExceptionCode, 3, 7, args.Values},
        {"no arguments", crash::kLanguageExceptionCode, 1, 7, nullptr},
        {"unreadable arguments", crash::kLanguageExceptionCode, 1, 7, reinterpret_cast<const ULONG_PTR*>(16)},
    };
    std::uint32_t hook = StackPosition();
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        crash::SetLastRaisedException(nullptr, 0, false);
        hook += 4;
        crash::exports::VexlorLog_CallGeneralRaise(c.Code, c.Flags, c.Count, hook, c.Args);
        EXPECT_EQ(crash::ThreadRaiseState()->HookStackPointer, hook);
        EXPECT_EQ(crash::LastRaisedException().CurrentObject, nullptr);
    }
}

TEST(CrossModuleEntries, SystemExceptionIsRecordedWithItsContext)
{
    EXCEPTION_RECORD record{};
    record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
    record.ExceptionAddress = reinterpret_cast<void*>(&StackPosition);
    record.NumberParameters = 2;
    record.ExceptionInformation[1] = 0x10;
    CONTEXT context{};
    context.ContextFlags = CONTEXT_FULL;
    context.Esp = StackPosition();
    context.Eip = reinterpret_cast<DWORD>(record.ExceptionAddress);
    context.Ebx = 0x5EED;

    void* object = crash::exports::VexlorLog_CallExceptObject(&record, &context, true);
    ASSERT_NE(object, nullptr);
    EXPECT_NE(dynamic_cast<const rtl::EExternal*>(rtl::AsValidTObject(object)), nullptr);
    const crash::TThreadRaiseState* state = crash::ThreadRaiseState();
    EXPECT_EQ(state->ExceptionRecord.ExceptionCode, EXCEPTION_ACCESS_VIOLATION);
    EXPECT_EQ(state->ExceptionRecord.ExceptionInformation[1], 0x10u);
    EXPECT_EQ(state->StackPointerAtRaise, context.Esp);
    EXPECT_EQ(state->Context.ContextFlags, crash::kContextCopyFlags);
    EXPECT_EQ(state->Context.Ebx, 0x5EEDu);
    EXPECT_EQ(crash::LastRaisedException().Object, object);
    EXPECT_FALSE(crash::exports::VexlorLog_LastNativeException());

    // A context that cannot be read counts as none.
    object = crash::exports::VexlorLog_CallExceptObject(&record, reinterpret_cast<const CONTEXT*>(16), false);
    EXPECT_NE(object, nullptr);
    EXPECT_EQ(state->StackPointerAtRaise, 0u);
    EXPECT_EQ(state->Context.ContextFlags, 0u);
    EXPECT_EQ(state->Context.Ebx, 0u);

    EXPECT_EQ(crash::exports::VexlorLog_CallExceptObject(nullptr, &context, true), nullptr);
}

}  // namespace
