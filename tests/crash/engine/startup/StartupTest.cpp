// The crash reporter's start-up and shut-down as the program's start-up list
// runs them. Built twice: StartupTest carries the data block, StartupInertTest
// does not (VOLUMETRA_INERT), and there the library must leave no trace.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "crash/engine/ExceptionLog.h"
#include "crash/engine/api/ApiExports.h"
#include "crash/engine/api/PublicInterface.h"
#include "crash/engine/objects/ObjectsAndWindows.h"
#include "crash/engine/options/OptionsSharedMapping.h"
#include "crash/engine/pipeline/Pipeline.h"
#include "crash/engine/startup/LibraryStartup.h"
#include "rtl/Classes.h"
#include "rtl/ExceptHooks.h"
#include "rtl/Startup.h"
#include "tests/support/ChildRun.h"

namespace {

void* KernelExport(const char* name)
{
    return reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), name));
}

// What the program's import slots hold: the address a call through them goes to.
void* ImportedCreateThread()
{
    return reinterpret_cast<void*>(&::CreateThread);
}
void* ImportedResumeThread()
{
    return reinterpret_cast<void*>(&::ResumeThread);
}
void* ImportedExitThread()
{
    return reinterpret_cast<void*>(&::ExitThread);
}

bool SharedMappingExists()
{
    const std::string name = crash::SharedOptionsMappingName(::GetCurrentProcessId(), ::GetModuleHandleA(nullptr));
    const HANDLE mapping = ::OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str());
    if (mapping == nullptr) return false;
    ::CloseHandle(mapping);
    return true;
}

TEST(CrashReporterSteps, RunAfterTheRuntimeBeforeTheClassLibrary)
{
    const rtl::TStartupList& list = rtl::ProgramStartup();
    const auto steps = list.Steps(rtl::TStartupLevel::slCrashReporter);
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_STREQ(steps[0].Name, "ECore.Init");
    EXPECT_STREQ(steps[1].Name, "EHook.Init");
    EXPECT_STREQ(steps[2].Name, "ExceptionLog.Init");
    for (std::size_t i = 0; i < steps.size(); ++i) EXPECT_TRUE(list.IsRunning(rtl::TStartupLevel::slCrashReporter, i));
    EXPECT_EQ(crash::ECoreInitCount(), 1);
    EXPECT_EQ(crash::EHookInitCount(), 1);
    EXPECT_EQ(crash::ExceptionLogInitCount(), 1);
}

#ifdef VOLUMETRA_INERT
constexpr const wchar_t* kRaceChild = L"StartupRaceInertChild.exe";
#else
constexpr const wchar_t* kRaceChild = L"StartupRaceChild.exe";
#endif

// Eight threads raise and start threads while the child's entry function
// ends: every run ends with exit code 0. (Ended by the C runtime's exit, 2 to
// 6 runs of 10 ended with the abort code: its static destruction took the
// exception tables away under threads that still threw.)
TEST(ProgramExit, ShutDownRaceEndsCleanly)
{
    int runs = 10;
    if (const char* text = std::getenv("VOLUMETRA_RACE_RUNS")) runs = std::atoi(text);
    int failures = 0;
    for (int run = 0; run < runs; ++run) {
        const testsupport::ChildRun child = testsupport::RunChild(kRaceChild, "race");
        EXPECT_TRUE(child.Finished) << "run " << run;
        EXPECT_EQ(child.ExitCode, 0u) << "run " << run;
        if (!child.Finished || child.ExitCode != 0) ++failures;
    }
    std::printf("shut-down race: %d runs, %d failed\n", runs, failures);
}

#ifdef VOLUMETRA_INERT

bool AnyRuntimePointSet()
{
    return rtl::RaiseHook.load() != nullptr || rtl::EndCatchHook.load() != nullptr ||
           rtl::ExceptProc.load() != nullptr || rtl::ExceptObjProc.load() != nullptr ||
           rtl::UnhandledFilterProc.load() != nullptr || rtl::ThreadExecuteHook.load() != nullptr;
}

TEST(InertModule, LeavesNoTrace)
{
    EXPECT_FALSE(crash::IsVexlorLogInstalled());
    EXPECT_FALSE(crash::exports::IsVexlorLogInstalled());
    EXPECT_FALSE(AnyRuntimePointSet());
    EXPECT_FALSE(crash::ThreadHooksInstalled());
    EXPECT_EQ(crash::ThreadsList(), nullptr);
    EXPECT_EQ(ImportedCreateThread(), KernelExport("CreateThread"));
    EXPECT_EQ(ImportedResumeThread(), KernelExport("ResumeThread"));
    EXPECT_EQ(ImportedExitThread(), KernelExport("ExitThread"));
    EXPECT_FALSE(SharedMappingExists());
    EXPECT_EQ(crash::PipelineStateOrNull(), nullptr);
    EXPECT_EQ(crash::ModulesList(), nullptr);
    EXPECT_EQ(crash::LibraryOptions(), nullptr);
    EXPECT_EQ(crash::EmergencyAddressSpace(), nullptr);
    EXPECT_EQ(crash::MainThreadHandle(), nullptr);
    EXPECT_EQ(crash::VexlorLogList(), nullptr);
}

#else

TEST(InstalledModule, HooksListsAndMapping)
{
    EXPECT_TRUE(crash::IsVexlorLogInstalled());
    EXPECT_TRUE(crash::IsVexlorLogActive());
    ASSERT_NE(crash::PipelineStateOrNull(), nullptr);
    EXPECT_TRUE(crash::PipelineState().Installed.load());
    EXPECT_TRUE(crash::ThreadHooksInstalled());
    EXPECT_EQ(ImportedCreateThread(), reinterpret_cast<void*>(&crash::HookedCreateThread));
    EXPECT_EQ(ImportedResumeThread(), reinterpret_cast<void*>(&crash::HookedResumeThread));
    EXPECT_EQ(ImportedExitThread(), reinterpret_cast<void*>(&crash::HookedExitThread));
    EXPECT_TRUE(SharedMappingExists());
    EXPECT_NE(crash::ModulesList(), nullptr);
    EXPECT_NE(crash::LibraryOptions(), nullptr);
    EXPECT_NE(crash::EmergencyAddressSpace(), nullptr);
    EXPECT_NE(crash::MainThreadHandle(), nullptr);
    EXPECT_NE(crash::VexlorLogList(), nullptr);
    EXPECT_EQ(crash::MainThreadStackTop(), rtl::CurrentStackTop());
    EXPECT_TRUE(static_cast<bool>(crash::ThreadExceptionReport));
    EXPECT_EQ(rtl::UnhandledFilterProc.load() != nullptr, true);
    ASSERT_NE(crash::ThreadsList(), nullptr);
    EXPECT_GE(crash::ThreadsList()->FindByThreadID(::GetCurrentThreadId()), 0);
    EXPECT_NE(crash::CurrentVexlorLogOptions(), nullptr);
}

// The fault child's result file: one "report" line per report.
int ReportCount(const std::string& output)
{
    int reports = 0;
    for (std::size_t at = output.find("report "); at != std::string::npos; at = output.find("report ", at + 1))
        ++reports;
    return reports;
}

// A fault that reaches the top-level filter: one report, the fault's code as
// the exit code. "divide" words its report's message otherwise than the
// fault's own text, which the last-resort step must not take for another
// exception.
TEST(InstalledModule, FaultReachingTheFilterIsReportedOnceAndEndsTheProcess)
{
    struct Case {
        const char* Mode;
        DWORD ExitCode;
    };
    const Case cases[] = {{"fault", 0xC0000005u}, {"divide", 0xC0000094u}};
    for (const Case& c : cases) {
        const testsupport::ChildRun child = testsupport::RunChild(L"StartupFaultChild.exe", c.Mode);
        ASSERT_TRUE(child.Finished) << c.Mode;
        EXPECT_EQ(child.ExitCode, c.ExitCode) << c.Mode;
        EXPECT_EQ(ReportCount(child.Output), 1) << c.Mode << ": " << child.Output;
    }
}

// An exception leaving a thread object's Execute is reported once where the
// thread catches it, not again when it is raised anew to become the thread's
// FatalException; the program goes on.
TEST(InstalledModule, ThreadObjectExceptionIsReportedOnce)
{
    const testsupport::ChildRun child = testsupport::RunChild(L"StartupFaultChild.exe", "thread");
    ASSERT_TRUE(child.Finished);
    EXPECT_EQ(child.ExitCode, 0u) << "the thread keeps its exception";
    EXPECT_EQ(ReportCount(child.Output), 1) << child.Output;
}

// A filter argument that cannot be read is left to the steps before: the
// last-resort step reads the record only through checked copies, and with no
// record to report it neither reports nor ends the process.
TEST(InstalledModule, LastResortStepLeavesAnUnreadableArgumentAlone)
{
    const int reports = crash::PipelineState().ExceptionCount;
    EXCEPTION_POINTERS unreadableRecord{reinterpret_cast<EXCEPTION_RECORD*>(0x10), nullptr};
    struct Case {
        const char* What;
        EXCEPTION_POINTERS* Pointers;
    };
    const Case cases[] = {
        {"no argument", nullptr},
        {"an argument at an unreadable address", reinterpret_cast<EXCEPTION_POINTERS*>(0x20)},
        {"a record at an unreadable address", &unreadableRecord},
    };
    for (const Case& c : cases)
        EXPECT_EQ(crash::LastResortExceptionFilter(c.Pointers), EXCEPTION_CONTINUE_SEARCH) << c.What;
    EXPECT_EQ(crash::PipelineState().ExceptionCount, reports);
}

TEST(InstalledModule, ShutDownUndoesEverything)
{
    rtl::ProgramStartup().Finalize();
    EXPECT_FALSE(crash::IsVexlorLogInstalled());
    EXPECT_FALSE(crash::IsVexlorLogActive());
    EXPECT_EQ(crash::PipelineStateOrNull(), nullptr);
    EXPECT_FALSE(crash::ThreadHooksInstalled());
    EXPECT_EQ(ImportedCreateThread(), KernelExport("CreateThread"));
    EXPECT_EQ(ImportedResumeThread(), KernelExport("ResumeThread"));
    EXPECT_EQ(ImportedExitThread(), KernelExport("ExitThread"));
    EXPECT_FALSE(SharedMappingExists());
    EXPECT_EQ(crash::LibraryOptions(), nullptr);
    EXPECT_EQ(crash::EmergencyAddressSpace(), nullptr);
    EXPECT_EQ(crash::VexlorLogList(), nullptr);
    EXPECT_EQ(crash::ExceptionLogInitCount(), 0);
    EXPECT_FALSE(static_cast<bool>(crash::ThreadExceptionReport));
    EXPECT_EQ(rtl::UnhandledFilterProc.load(), nullptr);
}

#endif

}  // namespace
