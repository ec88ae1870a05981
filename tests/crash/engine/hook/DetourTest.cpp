// Detours on routines written byte by byte, so that every relocation case is
// known exactly.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <initializer_list>
#include <vector>

#include "crash/engine/EHook.h"

namespace {

using crash::HookProcedureEx;
using crash::UnhookProcedure;

// The routines take their argument in eax and answer in eax.
typedef int (*TRegFn)(int) __attribute__((regparm(1)));

TRegFn GTrampoline = nullptr;
TRegFn GInnerTrampoline = nullptr;

__attribute__((regparm(1), noinline)) int AddHundred(int x)
{
    return GTrampoline(x) + 100;
}
__attribute__((regparm(1), noinline)) int AddThousand(int x)
{
    return GInnerTrampoline(x) + 1000;
}

class Detour : public ::testing::Test {
protected:
    void SetUp() override
    {
        FArena =
            static_cast<std::uint8_t*>(::VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
        ASSERT_NE(FArena, nullptr);
        std::memset(FArena, 0xCC, 4096);
    }
    void TearDown() override
    {
        crash::EHookDone();
        ::VirtualFree(FArena, 0, MEM_RELEASE);
        GTrampoline = GInnerTrampoline = nullptr;
    }
    // Writes a routine at `offset` in the arena.
    std::uint8_t* Put(std::size_t offset, std::initializer_list<std::uint8_t> bytes)
    {
        std::memcpy(FArena + offset, bytes.begin(), bytes.size());
        ::FlushInstructionCache(::GetCurrentProcess(), FArena + offset, bytes.size());
        return FArena + offset;
    }
    static TRegFn Fn(void* code) { return reinterpret_cast<TRegFn>(code); }
    void Hook(std::uint8_t* routine)
    {
        GTrampoline = Fn(HookProcedureEx(routine, reinterpret_cast<void*>(&AddHundred), "Routine"));
        ASSERT_NE(GTrampoline, nullptr);
    }
    std::uint8_t* FArena = nullptr;
};

TEST_F(Detour, ShortJumpLeavingTheCopiedBytesGoesThroughALongJump)
{
    // jmp +4; nop; nop; nop; ret; mov eax, 42; ret. The copied bytes end at 5;
    // the jump lands at 6, outside them.
    std::uint8_t* routine = Put(0, {0xEB, 0x04, 0x90, 0x90, 0x90, 0xC3, 0xB8, 42, 0, 0, 0, 0xC3});
    ASSERT_EQ(Fn(routine)(0), 42);
    Hook(routine);
    EXPECT_EQ(GTrampoline(0), 42);
    EXPECT_EQ(Fn(routine)(0), 142);
    EXPECT_EQ(routine[0], 0xE9);
}

TEST_F(Detour, CallInTheCopiedBytesStillReachesItsTarget)
{
    // call helper; add eax, 1; ret -- with the helper (mov eax, 5; ret) far
    // behind the routine, so the moved call needs a new displacement.
    std::uint8_t* helper = Put(0x800, {0xB8, 5, 0, 0, 0, 0xC3});
    std::uint8_t* routine = Put(0, {0xE8, 0, 0, 0, 0, 0x83, 0xC0, 0x01, 0xC3});
    const std::int32_t distance = static_cast<std::int32_t>(helper - (routine + 5));
    std::memcpy(routine + 1, &distance, 4);
    ASSERT_EQ(Fn(routine)(0), 6);
    Hook(routine);
    EXPECT_EQ(GTrampoline(0), 6);
    EXPECT_EQ(Fn(routine)(0), 106);
}

TEST_F(Detour, ConditionalJumpInsideTheCopiedBytesStaysInside)
{
    // again: inc eax; cmp al, 3; jb again; ret. The loop's target is the
    // routine's first byte, which now holds the jump to the replacement: the
    // trampoline must loop within itself.
    std::uint8_t* routine = Put(0, {0x40, 0x3C, 0x03, 0x72, 0xFB, 0xC3});
    ASSERT_EQ(Fn(routine)(0), 3);
    Hook(routine);
    EXPECT_EQ(GTrampoline(0), 3);
    EXPECT_EQ(Fn(routine)(0), 103);
    EXPECT_EQ(Fn(routine)(7), 108);
}

TEST_F(Detour, ConditionalJumpOutsideTheCopiedBytes)
{
    // test eax, eax; jz zero; nop; mov eax, 9; ret; zero: mov eax, 4; ret
    std::uint8_t* routine = Put(0, {0x85, 0xC0, 0x74, 0x07, 0x90, 0xB8, 9, 0, 0, 0, 0xC3, 0xB8, 4, 0, 0, 0, 0xC3});
    ASSERT_EQ(Fn(routine)(0), 4);
    ASSERT_EQ(Fn(routine)(1), 9);
    Hook(routine);
    EXPECT_EQ(GTrampoline(0), 4);
    EXPECT_EQ(GTrampoline(1), 9);
    EXPECT_EQ(Fn(routine)(0), 104);
}

TEST_F(Detour, HookingTwiceGivesTheSameTrampolineAndWritesNothing)
{
    std::uint8_t* routine = Put(0, {0x8D, 0x40, 0x02, 0x90, 0x90, 0xC3});  // lea eax, [eax+2]
    Hook(routine);
    std::uint8_t after[6];
    std::memcpy(after, routine, sizeof after);
    void* second = HookProcedureEx(routine, reinterpret_cast<void*>(&AddThousand), "Routine");
    EXPECT_EQ(second, reinterpret_cast<void*>(GTrampoline));
    EXPECT_EQ(std::memcmp(after, routine, sizeof after), 0);
    EXPECT_EQ(Fn(routine)(1), 103);
}

TEST_F(Detour, UnhookByRoutineOrTrampolineRestoresTheBytes)
{
    static constexpr std::uint8_t kBytes[] = {0x8D, 0x40, 0x02, 0x90, 0x90, 0xC3};
    std::uint8_t* first = Put(0, {0x8D, 0x40, 0x02, 0x90, 0x90, 0xC3});
    std::uint8_t* second = Put(0x40, {0x8D, 0x40, 0x02, 0x90, 0x90, 0xC3});
    void* firstTrampoline = HookProcedureEx(first, reinterpret_cast<void*>(&AddHundred), "First");
    GTrampoline = Fn(HookProcedureEx(second, reinterpret_cast<void*>(&AddHundred), "Second"));
    // Newest first, each by a different handle.
    EXPECT_TRUE(UnhookProcedure(reinterpret_cast<void*>(GTrampoline)));
    EXPECT_EQ(std::memcmp(second, kBytes, sizeof kBytes), 0);
    EXPECT_TRUE(UnhookProcedure(first));
    EXPECT_EQ(std::memcmp(first, kBytes, sizeof kBytes), 0);
    EXPECT_FALSE(UnhookProcedure(first));
    EXPECT_FALSE(UnhookProcedure(firstTrampoline));
    EXPECT_EQ(Fn(first)(1), 3);
}

TEST_F(Detour, ShutDownRemovesDetoursNewestFirst)
{
    // The second detour sits on the first one's trampoline: it must come off
    // while that trampoline still exists.
    static constexpr std::uint8_t kBytes[] = {0x8D, 0x40, 0x02, 0x90, 0x90, 0xC3};
    std::uint8_t* routine = Put(0, {0x8D, 0x40, 0x02, 0x90, 0x90, 0xC3});
    Hook(routine);
    GInnerTrampoline =
        Fn(HookProcedureEx(reinterpret_cast<void*>(GTrampoline), reinterpret_cast<void*>(&AddThousand), "Trampoline"));
    EXPECT_EQ(Fn(routine)(1), 1103);
    crash::EHookDone();
    EXPECT_EQ(std::memcmp(routine, kBytes, sizeof kBytes), 0);
    EXPECT_EQ(Fn(routine)(1), 3);
}

TEST_F(Detour, JumpThunkIsFollowed)
{
    // jmp [slot], with the slot holding the real routine.
    std::uint8_t* real = Put(0x100, {0x8D, 0x40, 0x05, 0x90, 0x90, 0xC3});
    void** slot = reinterpret_cast<void**>(FArena + 0x200);
    *slot = real;
    std::uint8_t* thunk = Put(0, {0xFF, 0x25, 0, 0, 0, 0});
    std::memcpy(thunk + 2, &slot, 4);
    Hook(thunk);
    EXPECT_EQ(thunk[0], 0xFF) << "the thunk itself stays";
    EXPECT_EQ(real[0], 0xE9);
    EXPECT_EQ(Fn(thunk)(1), 106);
    EXPECT_TRUE(UnhookProcedure(thunk));
    EXPECT_EQ(real[0], 0x8D);
}

TEST_F(Detour, UndecodableStartIsRefused)
{
    // ud2 cannot be measured: nothing may be copied or written.
    static constexpr std::uint8_t kBytes[] = {0x0F, 0x0B, 0x90, 0x90, 0x90, 0xC3};
    std::uint8_t* routine = Put(0, {0x0F, 0x0B, 0x90, 0x90, 0x90, 0xC3});
    try {
        HookProcedureEx(routine, reinterpret_cast<void*>(&AddHundred), "Broken");
        FAIL() << "no exception";
    } catch (const crash::EHookingError& e) {
        EXPECT_EQ(e.Message(), "Cannot hook the procedure \"Broken\".");
    }
    EXPECT_EQ(std::memcmp(routine, kBytes, sizeof kBytes), 0);
    EXPECT_FALSE(UnhookProcedure(routine));
}

TEST_F(Detour, SixteenBitRelativeJumpsAndCallsAreRefused)
{
    // With 66 a relative target is cut to 16 bits: from the trampoline it would
    // land somewhere else entirely, so none of these may be copied. (None runs:
    // its target lies in the first 64 KB.)
    static constexpr struct {
        std::uint8_t bytes[8];
        const char* what;
    } kCases[] = {
        {{0x66, 0xE8, 0x10, 0x00, 0x90, 0x90, 0x90, 0xC3}, "call rel16"},
        {{0x66, 0xE9, 0x10, 0x00, 0x90, 0x90, 0x90, 0xC3}, "jmp rel16"},
        {{0x66, 0x0F, 0x84, 0x10, 0x00, 0x90, 0x90, 0xC3}, "jz rel16"},
        {{0x66, 0xEB, 0x02, 0x90, 0x90, 0x90, 0x90, 0xC3}, "short jmp under 66"},
        {{0x66, 0x75, 0x02, 0x90, 0x90, 0x90, 0x90, 0xC3}, "short jnz under 66"},
        {{0x90, 0x66, 0xE8, 0x10, 0x00, 0x90, 0x90, 0xC3}, "call rel16 after a nop"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        std::uint8_t* routine = FArena + 0x100;
        std::memcpy(routine, c.bytes, sizeof c.bytes);
        try {
            HookProcedureEx(routine, reinterpret_cast<void*>(&AddHundred), "Sixteen");
            ADD_FAILURE() << "hooked";
            UnhookProcedure(routine);
        } catch (const crash::EHookingError& e) {
            EXPECT_EQ(e.Message(), "Cannot hook the procedure \"Sixteen\".");
        }
        EXPECT_EQ(std::memcmp(routine, c.bytes, sizeof c.bytes), 0);
        EXPECT_FALSE(UnhookProcedure(routine));
    }
}

TEST_F(Detour, NullRoutineOrReplacementIsRefused)
{
    std::uint8_t* routine = Put(0, {0x8D, 0x40, 0x02, 0x90, 0x90, 0xC3});
    try {
        HookProcedureEx(nullptr, reinterpret_cast<void*>(&AddHundred), "Missing");
        FAIL() << "no exception";
    } catch (const crash::EProcNull& e) {
        EXPECT_EQ(e.Message(), "Cannot hook a null procedure (\"Missing\").");
    }
    EXPECT_THROW(HookProcedureEx(routine, nullptr, "Routine"), crash::EProcNull);
    EXPECT_EQ(routine[0], 0x8D);
}

TEST_F(Detour, JumpToMemWritesARelativeJump)
{
    std::uint8_t* target = Put(0x300, {0xB8, 7, 0, 0, 0, 0xC3});
    crash::JumpToMem(FArena, target);
    EXPECT_EQ(FArena[0], 0xE9);
    EXPECT_EQ(Fn(FArena)(0), 7);
}

// The crash reporter copies exception objects it reports: every class of the
// unit must copy as itself, message included.
TEST(HookErrors, CloneAsTheirOwnClass)
{
    const crash::EHookError hook("hook");
    const crash::EProcNull null("null");
    const crash::EHookingError hooking("hooking");
    const crash::ESharedArea shared("shared");
    for (const rtl::Exception* e : std::initializer_list<const rtl::Exception*>{&hook, &null, &hooking, &shared}) {
        SCOPED_TRACE(e->Message());
        const std::unique_ptr<rtl::TObject> copy = e->Clone();
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(copy->ClassName(), e->ClassName());
        EXPECT_EQ(copy->InstanceSize(), e->InstanceSize());
        EXPECT_EQ(static_cast<const rtl::Exception&>(*copy).Message(), e->Message());
    }
}

}  // namespace
