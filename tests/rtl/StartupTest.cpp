// The start-up list: levels in order, undone in reverse, each step guarded.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "rtl/Startup.h"
#include "rtl/SysUtils.h"

namespace {

// What the steps of one test did, in order: "+name" for an Init, "-name" for a Done.
std::vector<std::string>& Trace()
{
    static std::vector<std::string> trace;
    return trace;
}

struct Failure {
    std::string Step;
    rtl::TStartupPhase Phase;
    std::string Message;
};

std::vector<Failure>& Failures()
{
    static std::vector<Failure> failures;
    return failures;
}

void RecordFailure(const rtl::TStartupStep& step, rtl::TStartupPhase phase, const std::exception_ptr& error) noexcept
{
    std::string message;
    try {
        std::rethrow_exception(error);
    } catch (const rtl::Exception& e) {
        message = e.Message();
    } catch (...) {}
    Failures().push_back({step.Name, phase, message});
}

// The steps of the tests are functions named after them.
#define TRACE_STEP(name)                                                                                               \
    void Init_##name()                                                                                                 \
    {                                                                                                                  \
        Trace().push_back("+" #name);                                                                                  \
    }                                                                                                                  \
    void Done_##name()                                                                                                 \
    {                                                                                                                  \
        Trace().push_back("-" #name);                                                                                  \
    }
TRACE_STEP(Runtime1)
TRACE_STEP(Runtime2)
TRACE_STEP(Reporter)
TRACE_STEP(Library)
#undef TRACE_STEP

void InitFails()
{
    Trace().push_back("+Fails");
    throw rtl::Exception("no window");
}
void DoneNeverRuns()
{
    Trace().push_back("-Fails");
}
void DoneFails()
{
    Trace().push_back("-DoneFails");
    throw rtl::Exception("still in use");
}

constexpr rtl::TStartupStep kRuntime[] = {
    {"Test.Runtime1", Init_Runtime1, Done_Runtime1},
    {"Test.Runtime2", Init_Runtime2, Done_Runtime2},
};
constexpr rtl::TStartupStep kReporter[] = {{"Test.Reporter", Init_Reporter, Done_Reporter}};
constexpr rtl::TStartupStep kLibrary[] = {{"Test.Library", Init_Library, Done_Library}};

class StartupList : public testing::Test {
protected:
    void SetUp() override
    {
        Trace().clear();
        Failures().clear();
        FOldProc = rtl::StartupErrorProc.exchange(RecordFailure);
    }
    void TearDown() override { rtl::StartupErrorProc = FOldProc; }

private:
    rtl::TStartupErrorProc FOldProc = nullptr;
};

TEST_F(StartupList, TheCrashReportersLevelRunsBetweenTheRuntimeAndTheClassLibrary)
{
    rtl::TStartupList list{kRuntime};
    // Set in another order than they run: the level decides.
    ASSERT_TRUE(list.SetSteps(rtl::TStartupLevel::slClassLibrary, kLibrary));
    ASSERT_TRUE(list.SetSteps(rtl::TStartupLevel::slCrashReporter, kReporter));
    list.Initialize();
    list.Initialize();  // once only
    EXPECT_TRUE(list.IsRunning(rtl::TStartupLevel::slCrashReporter, 0));
    list.Finalize();
    list.Finalize();
    const std::vector<std::string> expected = {"+Runtime1", "+Runtime2", "+Reporter", "+Library",
                                               "-Library",  "-Reporter", "-Runtime2", "-Runtime1"};
    EXPECT_EQ(Trace(), expected);
    EXPECT_FALSE(list.IsRunning(rtl::TStartupLevel::slCrashReporter, 0));
    EXPECT_TRUE(Failures().empty());
}

TEST_F(StartupList, AFailingStepIsReportedAndTheOthersGoOn)
{
    constexpr rtl::TStartupStep reporter[] = {
        {"Test.Fails", InitFails, DoneNeverRuns},
        {"Test.DoneFails", Init_Reporter, DoneFails},
        {"Test.NoDone", Init_Library, nullptr},
    };
    rtl::TStartupList list{kRuntime};
    ASSERT_TRUE(list.SetSteps(rtl::TStartupLevel::slCrashReporter, reporter));
    list.Initialize();
    EXPECT_FALSE(list.IsRunning(rtl::TStartupLevel::slCrashReporter, 0));
    EXPECT_TRUE(list.IsRunning(rtl::TStartupLevel::slCrashReporter, 1));
    list.Finalize();
    // The failed step is not undone; a failing Done does not stop the steps below it.
    const std::vector<std::string> expected = {"+Runtime1", "+Runtime2",  "+Fails",    "+Reporter",
                                               "+Library",  "-DoneFails", "-Runtime2", "-Runtime1"};
    EXPECT_EQ(Trace(), expected);
    ASSERT_EQ(Failures().size(), 2u);
    EXPECT_EQ(Failures()[0].Step, "Test.Fails");
    EXPECT_EQ(Failures()[0].Phase, rtl::TStartupPhase::spInit);
    EXPECT_EQ(Failures()[0].Message, "no window");
    EXPECT_EQ(Failures()[1].Step, "Test.DoneFails");
    EXPECT_EQ(Failures()[1].Phase, rtl::TStartupPhase::spDone);
    EXPECT_EQ(Failures()[1].Message, "still in use");
}

TEST_F(StartupList, ALevelTakesOneTableAndOnlyBeforeTheStart)
{
    rtl::TStartupList list;
    EXPECT_TRUE(list.SetSteps(rtl::TStartupLevel::slCrashReporter, kReporter));
    EXPECT_FALSE(list.SetSteps(rtl::TStartupLevel::slCrashReporter, kLibrary));
    const std::vector<rtl::TStartupStep> tooMany(rtl::TStartupList::kMaxSteps + 1, kLibrary[0]);
    EXPECT_FALSE(list.SetSteps(rtl::TStartupLevel::slClassLibrary, tooMany));
    list.Initialize();
    EXPECT_FALSE(list.SetSteps(rtl::TStartupLevel::slClassLibrary, kLibrary));
    EXPECT_EQ(list.Steps(rtl::TStartupLevel::slCrashReporter).data(), kReporter);
    list.Finalize();
    const std::vector<std::string> expected = {"+Reporter", "-Reporter"};
    EXPECT_EQ(Trace(), expected);
}

// A Done that ends the program (the terminate handler's Halt, say) while the
// list is being undone does not undo it a second time.
rtl::TStartupList* gReentered = nullptr;
void DoneReenters()
{
    Trace().push_back("-Reenters");
    gReentered->Finalize();
}

TEST_F(StartupList, UndoingBeforeTheStartOrFromInsideAStepDoesNothing)
{
    constexpr rtl::TStartupStep reporter[] = {{"Test.Reenters", Init_Reporter, DoneReenters}};
    rtl::TStartupList list{kRuntime};
    gReentered = &list;
    ASSERT_TRUE(list.SetSteps(rtl::TStartupLevel::slCrashReporter, reporter));
    list.Finalize();  // not started: nothing to undo
    EXPECT_TRUE(Trace().empty());
    list.Initialize();
    list.Finalize();
    const std::vector<std::string> expected = {"+Runtime1", "+Runtime2", "+Reporter",
                                               "-Reenters", "-Runtime2", "-Runtime1"};
    EXPECT_EQ(Trace(), expected);
}

TEST(ProgramStartup, TheRuntimesStepsRanBeforeTheTests)
{
    const rtl::TStartupList& list = rtl::ProgramStartup();
    std::vector<std::string> names;
    for (const rtl::TStartupStep& step : list.Steps(rtl::TStartupLevel::slRuntime)) names.push_back(step.Name);
    const std::vector<std::string> expected = {"Classes.MainThread", "System.ExceptionHooks", "Classes.Synchronize"};
    EXPECT_EQ(names, expected);
    for (std::size_t i = 0; i < names.size(); ++i)
        EXPECT_TRUE(list.IsRunning(rtl::TStartupLevel::slRuntime, i)) << names[i];
    // Nothing of the crash reporter or the class library is linked into this program.
    EXPECT_TRUE(list.Steps(rtl::TStartupLevel::slCrashReporter).empty());
    EXPECT_TRUE(list.Steps(rtl::TStartupLevel::slClassLibrary).empty());
}

}  // namespace
