// Import-table patches of this test program's own kernel32 imports.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "crash/engine/EHook.h"
#include "rtl/Libraries.h"

namespace {

constexpr DWORD kFakeId = 0x4242;

DWORD WINAPI FakeGetCurrentProcessId()
{
    return kFakeId;
}

// Goes through the import entry at every call: inlined, the compiler would
// reuse a pointer loaded before the patch.
__attribute__((noinline)) DWORD CallGetCurrentProcessId()
{
    asm volatile("" ::: "memory");
    return ::GetCurrentProcessId();
}

std::string ProgramFileName()
{
    return rtl::ModuleFileNameAnsi();
}

class ImportPatch : public ::testing::Test {
protected:
    void TearDown() override { crash::EHookDone(); }
    void* Fake() const { return reinterpret_cast<void*>(&FakeGetCurrentProcessId); }
    void* RealExport() const
    {
        return reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "GetCurrentProcessId"));
    }
};

TEST_F(ImportPatch, RedirectsAndShutDownRestores)
{
    const DWORD real = CallGetCurrentProcessId();
    ASSERT_NE(real, kFakeId);
    void* replaced = crash::HookDllProcedureEx(ProgramFileName(), "kernel32.dll", "GetCurrentProcessId", Fake());
    EXPECT_EQ(replaced, RealExport());
    EXPECT_EQ(CallGetCurrentProcessId(), kFakeId);
    crash::EHookDone();
    EXPECT_EQ(CallGetCurrentProcessId(), real);
}

DWORD WINAPI FakeGetCurrentThreadId()
{
    return kFakeId + 1;
}

__attribute__((noinline)) DWORD CallGetCurrentThreadId()
{
    asm volatile("" ::: "memory");
    return ::GetCurrentThreadId();
}

TEST_F(ImportPatch, UnhookRevertsOnlyThePatchesOfItsReplacement)
{
    const DWORD realThread = CallGetCurrentThreadId();
    crash::HookDllProcedureEx(ProgramFileName(), "kernel32.dll", "GetCurrentProcessId", Fake());
    void* fakeThread = reinterpret_cast<void*>(&FakeGetCurrentThreadId);
    crash::HookDllProcedureEx(ProgramFileName(), "kernel32.dll", "GetCurrentThreadId", fakeThread);
    ASSERT_EQ(CallGetCurrentThreadId(), kFakeId + 1);
    EXPECT_TRUE(crash::UnhookDllProcedure(fakeThread));
    EXPECT_EQ(CallGetCurrentThreadId(), realThread);
    EXPECT_EQ(CallGetCurrentProcessId(), kFakeId);
    EXPECT_FALSE(crash::UnhookDllProcedure(fakeThread));  // forgotten: nothing left to revert
    // Hooked again after the revert, and shut-down reverts that patch once.
    crash::HookDllProcedureEx(ProgramFileName(), "kernel32.dll", "GetCurrentThreadId", fakeThread);
    EXPECT_EQ(CallGetCurrentThreadId(), kFakeId + 1);
    crash::EHookDone();
    EXPECT_EQ(CallGetCurrentThreadId(), realThread);
    EXPECT_NE(CallGetCurrentProcessId(), kFakeId);
}

TEST_F(ImportPatch, TryOverSeveralModulesSkipsTheMissingOnes)
{
    void* replaced = nullptr;
    const std::vector<std::string> modules = {"no-such-module.dll", ProgramFileName(), ProgramFileName()};
    EXPECT_TRUE(crash::TryHookDllProcedureEx(modules, "KERNEL32.DLL", "GetCurrentProcessId", Fake(), replaced, true));
    EXPECT_EQ(replaced, RealExport());
    EXPECT_EQ(CallGetCurrentProcessId(), kFakeId);
    crash::EHookDone();
    EXPECT_NE(CallGetCurrentProcessId(), kFakeId);
}

TEST_F(ImportPatch, ModuleWithoutTheImportRaisesUnlessNoRaise)
{
    // The program does not import this routine.
    const std::vector<std::string> modules = {ProgramFileName()};
    void* replaced = nullptr;
    EXPECT_FALSE(crash::TryHookDllProcedureEx(modules, "kernel32.dll", "GetTapeStatus", Fake(), replaced, true));
    EXPECT_NE(replaced, nullptr);
    try {
        crash::TryHookDllProcedureEx(modules, "kernel32.dll", "GetTapeStatus", Fake(), replaced, false);
        FAIL() << "no exception";
    } catch (const crash::EHookingError& e) {
        EXPECT_EQ(e.Message(), "Cannot hook the procedure \"kernel32.dll.GetTapeStatus\".");
    }
    EXPECT_THROW(crash::HookDllProcedureEx(ProgramFileName(), "kernel32.dll", "GetTapeStatus", Fake()),
                 crash::EHookingError);
}

TEST_F(ImportPatch, MissingRoutineOrModule)
{
    EXPECT_THROW(crash::HookDllProcedureEx(ProgramFileName(), "kernel32.dll", "NoSuchRoutine", Fake()),
                 crash::EProcNull);
    void* replaced = reinterpret_cast<void*>(1);
    EXPECT_FALSE(
        crash::TryHookDllProcedureEx({ProgramFileName()}, "kernel32.dll", "NoSuchRoutine", Fake(), replaced, true));
    EXPECT_EQ(replaced, nullptr);
    EXPECT_THROW(crash::HookDllProcedureEx("no-such-module.dll", "kernel32.dll", "GetCurrentProcessId", Fake()),
                 crash::EHookingError);
    EXPECT_NE(CallGetCurrentProcessId(), kFakeId);
}

}  // namespace
