// The framework hooks: the detour installers on this program's own export and
// on a symbol of its data block, and, in child programs that run the crash
// reporter's start-up, the class library's hook points, handled exceptions,
// the look for other frameworks and start-up without LoadLibrary.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "crash/engine/EHook.h"
#include "crash/engine/framework/FrameworkHooks.h"
#include "rtl/Libraries.h"
#include "rtl/SysUtils.h"
#include "tests/support/ChildRun.h"

extern "C" __declspec(dllexport) __attribute__((noinline)) int FrameworkTestExport(int value)
{
    volatile int twice = value * 2;
    return twice + 1;
}

namespace frameworktest {

__attribute__((noinline)) int SymbolTarget(int value)
{
    volatile int thrice = value * 3;
    return thrice + 2;
}

}  // namespace frameworktest

namespace crash {
namespace {

using testsupport::RunChild;

// ---- Detour installers ----

int (*gSaved)(int) = nullptr;

int Replacement(int value)
{
    return 1000 + gSaved(value);
}

// Through a pointer the compiler cannot see through, so that the call goes
// to the routine's code and meets the detour.
template <typename T>
T Opaque(T value)
{
    T volatile copy = value;
    return copy;
}

TEST(HookBySymbolId, DetoursTheRoutineTheDataBlockNamesAndNothingForAnUnknownId)
{
    int (*target)(int) = Opaque(&frameworktest::SymbolTarget);
    ASSERT_EQ(target(4), 14);
    void* trampoline = HookBySymbolId(42, reinterpret_cast<void*>(&Replacement));
    ASSERT_NE(trampoline, nullptr);
    gSaved = reinterpret_cast<int (*)(int)>(trampoline);
    EXPECT_EQ(target(4), 1014) << "the call goes to the replacement, which runs the routine's own code";
    EXPECT_TRUE(UnhookProcedure(trampoline));
    EXPECT_EQ(target(4), 14);
    EXPECT_EQ(HookBySymbolId(43, reinterpret_cast<void*>(&Replacement)), nullptr) << "no symbol 43 in the block";
}

TEST(HookByExport, DetoursTheNamedExportOfALoadedModuleOnly)
{
    const std::string self = rtl::WideToAnsi(rtl::ModuleFileName());
    const std::string name = self.substr(self.find_last_of('\\') + 1);
    int (*target)(int) = Opaque(&FrameworkTestExport);
    ASSERT_EQ(target(5), 11);
    // Without a replacement: only the address.
    EXPECT_EQ(HookByExport(nullptr, name, "FrameworkTestExport", nullptr), reinterpret_cast<void*>(target));
    EXPECT_EQ(target(5), 11);
    void* trampoline = HookByExport(nullptr, name, "FrameworkTestExport", reinterpret_cast<void*>(&Replacement));
    ASSERT_NE(trampoline, nullptr);
    gSaved = reinterpret_cast<int (*)(int)>(trampoline);
    EXPECT_EQ(target(5), 1011);
    EXPECT_TRUE(UnhookProcedure(trampoline));
    EXPECT_EQ(target(5), 11);
    // A given address wins over the names.
    EXPECT_EQ(HookByExport(reinterpret_cast<void*>(target), "NoSuchModule.bpl", "Nothing", nullptr),
              reinterpret_cast<void*>(target));
    // Not in the process: nothing, and it stays out.
    EXPECT_EQ(HookByExport(nullptr, "INDY140.BPL", "@Idthread@TIdThread@DoException$qqrp18Sysutils@Exception",
                           reinterpret_cast<void*>(&Replacement)),
              nullptr);
    EXPECT_EQ(::GetModuleHandleA("INDY140.BPL"), nullptr);
    EXPECT_EQ(HookByExport(nullptr, name, "NoSuchExport", reinterpret_cast<void*>(&Replacement)), nullptr);
}

// ---- Children ----

std::vector<std::string> Lines(const std::string& text, const std::string& prefix)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        if (line.rfind(prefix, 0) == 0) lines.push_back(line);
    return lines;
}

struct TTimedRun {
    testsupport::ChildRun Run;
    double Seconds;
};

TTimedRun Child(const std::string& mode)
{
    const auto start = std::chrono::steady_clock::now();
    TTimedRun timed{RunChild(L"FrameworkChild.exe", mode), 0};
    timed.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("[ figure ] FrameworkChild %s: %.2f s\n", mode.c_str(), timed.Seconds);
    return timed;
}

struct TClassLibraryCase {
    const char* Mode;
    int Boxes;  // the class library's own box: only when the crash reporter hands the exception back
};

class ClassLibrary : public ::testing::TestWithParam<TClassLibraryCase> {};

// One report for a handler's exception, whichever of the two routines takes
// it; none from the ShowException nested in HandleException. The crash
// reporter's answer decides the class library's box.
TEST_P(ClassLibrary, OneReportAndTheBoxAsTheAnswerSays)
{
    const TClassLibraryCase& c = GetParam();
    const TTimedRun child = Child(c.Mode);
    ASSERT_TRUE(child.Run.Finished) << child.Run.Output;
    EXPECT_EQ(child.Run.ExitCode, 0u) << child.Run.Output;
    const std::vector<std::string> reports = Lines(child.Run.Output, "report ");
    ASSERT_EQ(reports.size(), 1u) << child.Run.Output;
    EXPECT_NE(reports[0].find("class=Exception message=handler failed handled=0 thread=main"), std::string::npos)
        << reports[0];
    EXPECT_NE(reports[0].find("FailingHandler,"), std::string::npos) << reports[0];
    const std::vector<std::string> boxes = Lines(child.Run.Output, "box ");
    EXPECT_EQ(static_cast<int>(boxes.size()), c.Boxes) << child.Run.Output;
    if (!boxes.empty()) {
        EXPECT_EQ(boxes[0], "box handler failed");
    }
    EXPECT_NE(child.Run.Output.find("done count=1"), std::string::npos) << child.Run.Output;
}

INSTANTIATE_TEST_SUITE_P(Cases, ClassLibrary,
                         ::testing::Values(TClassLibraryCase{"handle", 0}, TClassLibraryCase{"handle-rtl", 1},
                                           TClassLibraryCase{"show", 0}, TClassLibraryCase{"show-rtl", 1}),
                         [](const auto& info) {
                             std::string name = info.param.Mode;
                             for (char& ch : name)
                                 if (ch == '-') ch = '_';
                             return name;
                         });

// While a report's handler runs, the class library handles that handler's
// exceptions as it would without the crash reporter: its box, no report.
TEST(ClassLibrary, AReportsHandlerGetsTheClassLibrarysBox)
{
    const TTimedRun child = Child("handle-in-handler");
    ASSERT_TRUE(child.Run.Finished) << child.Run.Output;
    EXPECT_EQ(child.Run.ExitCode, 0u) << child.Run.Output;
    const std::vector<std::string> reports = Lines(child.Run.Output, "report ");
    ASSERT_EQ(reports.size(), 1u) << child.Run.Output;
    EXPECT_NE(reports[0].find("message=handler failed"), std::string::npos) << reports[0];
    const std::vector<std::string> boxes = Lines(child.Run.Output, "box ");
    ASSERT_EQ(boxes.size(), 1u) << child.Run.Output;
    EXPECT_EQ(boxes[0], "box in the handler");
}

TEST(HandledExceptions, OneReportWithHandledSetAndTheRaisingFunction)
{
    const TTimedRun child = Child("handled");
    ASSERT_TRUE(child.Run.Finished) << child.Run.Output;
    EXPECT_EQ(child.Run.ExitCode, 0u) << child.Run.Output;
    const std::vector<std::string> reports = Lines(child.Run.Output, "report ");
    ASSERT_EQ(reports.size(), 1u) << child.Run.Output;
    EXPECT_NE(reports[0].find("message=handled once handled=1 thread=main"), std::string::npos) << reports[0];
    EXPECT_NE(reports[0].find("frames=HandledRaiser,"), std::string::npos) << reports[0];
    EXPECT_NE(child.Run.Output.find("caught\n"), std::string::npos);
}

// Each thread's reports walk its own stack, never a snapshot another thread
// took meanwhile.
TEST(HandledExceptions, FourThreadsEachSeeTheirOwnFunction)
{
    const TTimedRun child = Child("handled-threads");
    ASSERT_TRUE(child.Run.Finished) << child.Run.Output.substr(0, 2000);
    EXPECT_EQ(child.Run.ExitCode, 0u);
    const std::vector<std::string> reports = Lines(child.Run.Output, "report ");
    EXPECT_EQ(reports.size(), 200u);
    const char* const letters = "ABCD";
    int wrong = 0;
    for (const std::string& report : reports) {
        const std::size_t at = report.find(" thread=w");
        ASSERT_NE(at, std::string::npos) << report;
        const char own = report[at + 9];
        ASSERT_NE(std::string(letters).find(own), std::string::npos) << report;
        const std::string ownFunction = std::string("HandlingWorker") + own;
        bool ok = report.find("message=" + ownFunction + " handled=1") != std::string::npos &&
                  report.find("frames=" + ownFunction + ",") != std::string::npos;
        for (const char* other = letters; *other != '\0'; ++other)
            if (*other != own && report.find(std::string("HandlingWorker") + *other + ",") != std::string::npos)
                ok = false;
        if (!ok && ++wrong <= 5) ADD_FAILURE() << report;
    }
    EXPECT_EQ(wrong, 0);
}

TEST(HandledExceptions, TheReportWorkersOwnCatchInAStepNeitherHangsNorReports)
{
    const TTimedRun child = Child("handled-worker");
    ASSERT_TRUE(child.Run.Finished) << child.Run.Output;
    EXPECT_EQ(child.Run.ExitCode, 0u) << child.Run.Output;
    const std::vector<std::string> reports = Lines(child.Run.Output, "report ");
    ASSERT_EQ(reports.size(), 1u) << child.Run.Output;
    EXPECT_NE(reports[0].find("message=thread ends handled=0 thread=uncaught"), std::string::npos) << reports[0];
    EXPECT_NE(child.Run.Output.find("step caught\n"), std::string::npos) << child.Run.Output;
}

// None of the other frameworks is in the process: every row is looked for
// and left alone; the class library's points and the end of catch are set.
TEST(FrameworkRows, NoneIsLoadedAndTheHookPointsAreSet)
{
    const TTimedRun child = Child("probes");
    ASSERT_TRUE(child.Run.Finished) << child.Run.Output;
    const std::vector<std::string> probes = Lines(child.Run.Output, "probe ");
    EXPECT_EQ(probes.size(), 9u) << child.Run.Output;
    for (const std::string& probe : probes) EXPECT_NE(probe.find(" loaded=0 symbol=0"), std::string::npos) << probe;
    EXPECT_NE(child.Run.Output.find("points handle=1 show=1 endcatch=1"), std::string::npos) << child.Run.Output;
}

TEST(Startup, NoLoadLibraryWhileTheStartupListRuns)
{
    const TTimedRun child = Child("loadlibrary");
    ASSERT_TRUE(child.Run.Finished) << child.Run.Output;
    EXPECT_EQ(child.Run.ExitCode, 0u) << child.Run.Output;
    // At least LoadLibraryW, which the control calls, is patched.
    EXPECT_NE(child.Run.Output.find("patched="), std::string::npos) << child.Run.Output;
    EXPECT_EQ(child.Run.Output.find("patched=0"), std::string::npos) << child.Run.Output;
    EXPECT_NE(child.Run.Output.find(" startup=0 control=1"), std::string::npos) << child.Run.Output;
}

}  // namespace
}  // namespace crash
