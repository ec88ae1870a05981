// The report's notify procedures (forwarded to a library with its own copy of
// the engine first, then fired here) and the exception filter search.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "crash/engine/EOptions.h"
#include "crash/engine/ExceptionLog.h"
#include "crash/report/events/ReportEvents.h"
#include "rtl/Handles.h"
#include "rtl/Libraries.h"

namespace {

using namespace crash;

// ---- Exception classes of a small tree -----------------------------------------------

struct EBaseError : rtl::Exception {
    RTL_CLASS(EBaseError)
    EBaseError() : Exception("base") {}
};
struct EDerivedError : EBaseError {
    RTL_CLASS(EDerivedError)
};
struct EOtherError : rtl::Exception {
    RTL_CLASS(EOtherError)
    EOtherError() : Exception("other") {}
};

TVexlorExceptionFilter Filter(const char* className, TFilterExceptionType type = fetAll, bool active = true)
{
    TVexlorExceptionFilter filter;
    filter.Active = active;
    filter.ExceptionClassName = className;
    filter.ExceptionType = type;
    return filter;
}

TEST(ExceptionFilters, FirstActiveMatchingFilterIsFound)
{
    const EBaseError base;
    const EDerivedError derived;
    const EOtherError other;
    const TActiveXException com("EOleSysError\r\nEOleError", "call failed");
    const rtl::TObject plain;

    struct Case {
        const char* what;
        std::vector<TVexlorExceptionFilter> filters;
        const void* object;
        bool handled;
        int found;
    };
    const Case cases[] = {
        {"no filters", {}, &base, false, -1},
        {"two that match: the first",
         {Filter("EOtherError"), Filter("EBaseError"), Filter("Exception")},
         &base,
         false,
         1},
        {"an inactive one is skipped", {Filter("EBaseError", fetAll, false), Filter("EBaseError")}, &base, false, 1},
        {"the base class matches a derived one", {Filter("EBaseError")}, &derived, false, 0},
        {"a derived class does not match its base", {Filter("EDerivedError")}, &base, false, -1},
        {"names without case and blanks", {Filter(" ebaseerror ")}, &derived, false, 0},
        {"fetHandled skips an unhandled one",
         {Filter("EBaseError", fetHandled), Filter("EBaseError")},
         &base,
         false,
         1},
        {"fetHandled takes a handled one", {Filter("EBaseError", fetHandled)}, &base, true, 0},
        {"fetUnhandled skips a handled one", {Filter("EBaseError", fetUnhandled)}, &base, true, -1},
        {"fetUnhandled takes an unhandled one", {Filter("EBaseError", fetUnhandled)}, &base, false, 0},
        {"a COM error through a line of its type text",
         {Filter("EOtherError"), Filter("eoleerror", fetHandled)},
         &com,
         false,
         1},
        {"a COM error not through its own class", {Filter("TActiveXException"), Filter("Exception")}, &com, false, -1},
        {"a COM error through its first line", {Filter("EOleSysError", fetUnhandled)}, &com, true, 0},
        {"no object", {Filter("EBaseError")}, nullptr, false, -1},
        {"an object that is no exception", {Filter("Exception"), Filter("TObject")}, &plain, false, 1},
    };
    for (const Case& c : cases) {
        auto options = TVexlorModuleOptions::Create(std::string());
        for (const TVexlorExceptionFilter& filter : c.filters) options->ExceptionsFilters().Add(filter);
        EXPECT_EQ(FindExceptionFilter(options->ExceptionsFilters(), c.object, c.handled), c.found) << c.what;
    }
}

TEST(ExceptionFilters, RegisteredSearchReadsTheReportsOptions)
{
    StartExceptionPipeline();
    RegisterReportEventSteps();
    ReportOptions().ExceptionsFilters().Add(Filter("EOtherError"));
    ReportOptions().ExceptionsFilters().Add(Filter("EBaseError", fetHandled));
    EDerivedError derived;
    EXPECT_EQ(ReportSteps.FindExceptionFilter(&derived, true), 1);
    EXPECT_EQ(ReportSteps.FindExceptionFilter(&derived, false), -1);
    ReportSteps.FindExceptionFilter.Set(nullptr);
    ReportSteps.NotifyShowingExceptionInfo.Set(nullptr);
    ReportSteps.NotifyShowedExceptionInfo.Set(nullptr);
    StopExceptionPipeline();
}

// ---- Notify procedures ------------------------------------------------------------------

std::vector<std::string>& Notes()
{
    static std::vector<std::string> notes;
    return notes;
}

void Note(const char* line)
{
    Notes().push_back(line);
}

std::string Flag(bool value)
{
    return value ? "1" : "0";
}

void __stdcall ProcAction(TVexlorExceptionRecord, std::uint32_t action, bool* execute)
{
    Notes().push_back("proc:action " + std::to_string(action) + " execute=" + Flag(*execute));
}

void __stdcall ProcError(TVexlorExceptionRecord, std::uint32_t action, bool* retry)
{
    Notes().push_back("proc:error " + std::to_string(action) + " retry=" + Flag(*retry));
}

// The engine's events fixture: a library with its own copy of the engine,
// whose action handler clears Execute and whose error handler sets Retry.
class TFixtureLibrary {
public:
    TFixtureLibrary() : FModule(::LoadLibraryA(EVENTS_FIXTURE))
    {
        if (auto* start = Entry<void(void (*)(const char*))>("FixtureStart")) start(&Note);
    }
    ~TFixtureLibrary()
    {
        if (auto* stop = Entry<void()>("FixtureStop")) stop();
    }
    TFixtureLibrary(const TFixtureLibrary&) = delete;
    TFixtureLibrary& operator=(const TFixtureLibrary&) = delete;
    explicit operator bool() const noexcept { return static_cast<bool>(FModule); }
    void* CodeAddress() const { return reinterpret_cast<void*>(Entry<void(void (*)(const char*))>("FixtureStart")); }
    template <class TFunction>
    TFunction* Entry(const char* name) const
    {
        return rtl::EntryPoint<TFunction>(FModule.Get(), name);
    }

private:
    rtl::LibraryHandle FModule;
};

class ReportNotify : public testing::Test {
protected:
    void SetUp() override
    {
        CreateVexlorLogList();
        VexlorEventData() = TVexlorEventData{};
        Notes().clear();
        FRecord.ExceptionThreadID = ::GetCurrentThreadId();
        FRecord.LogText = FText.data();
        FRecord.LogTextLength = static_cast<std::uint32_t>(FText.size());
        FLog = std::make_unique<TVexlorLog>();
        FLog->SetOnExceptionActionNotify([](TVexlorExceptionRecord, TVexlorActionType action, bool& execute) {
            Notes().push_back("host:action " + std::to_string(action) + " execute=" + Flag(execute));
        });
        FLog->SetOnExceptionErrorNotify([](TVexlorExceptionRecord, TVexlorActionType action, bool& retry) {
            Notes().push_back("host:error " + std::to_string(action) + " retry=" + Flag(retry));
        });
        ExceptionActionNotify = &ProcAction;
        ExceptionErrorNotify = &ProcError;
    }
    void TearDown() override
    {
        SetCurrentExceptionRecord(nullptr);
        ExceptionActionNotify = nullptr;
        ExceptionErrorNotify = nullptr;
        FLog.reset();
        FreeVexlorLogList();
    }

    std::string FText = "report text";
    TVexlorExceptionRecord FRecord{};
    std::unique_ptr<TVexlorLog> FLog;
};

struct TNotifyCase {
    const char* name;
    void (*run)();
    int action;
};
const TNotifyCase kActions[] = {
    {"NotifyShowingExceptionInfo", &NotifyShowingExceptionInfo, atShowingExceptionInfo},
    {"NotifyShowedExceptionInfo", &NotifyShowedExceptionInfo, atShowedExceptionInfo},
    {"NotifySavingLogFile", &NotifySavingLogFile, atSavingLogFile},
    {"NotifySavedLogFile", &NotifySavedLogFile, atSavedLogFile},
};

TEST_F(ReportNotify, ForwardedFirstThenFiredHere)
{
    TFixtureLibrary library;
    ASSERT_TRUE(library);
    FRecord.ExceptionAddress = library.CodeAddress();
    SetCurrentExceptionRecord(&FRecord);

    for (const TNotifyCase& c : kActions) {
        SCOPED_TRACE(c.name);
        VexlorEventData() = TVexlorEventData{};
        Notes().clear();
        CallInMainThread(c.run);
        const std::string n = std::to_string(c.action);
        // The library's handler clears Execute before the handlers here run.
        EXPECT_EQ(Notes(),
                  (std::vector<std::string>{"dll:action " + n + " execute=1", "host:action " + n + " execute=0",
                                            "proc:action " + n + " execute=0"}));
        EXPECT_FALSE(VexlorEventData().Execute);
    }

    VexlorEventData() = TVexlorEventData{};
    Notes().clear();
    bool retry = false;
    CallInMainThread([&] { retry = NotifyLogFileError(); });
    const std::string saved = std::to_string(atSavedLogFile);
    EXPECT_EQ(Notes(), (std::vector<std::string>{"dll:error " + saved + " retry=0", "host:error " + saved + " retry=1",
                                                 "proc:error " + saved + " retry=1"}));
    EXPECT_TRUE(retry) << "the library's handler asked for another try";
}

TEST_F(ReportNotify, WithoutAnotherModuleOnlyTheHandlersHereFire)
{
    FRecord.ExceptionAddress = reinterpret_cast<void*>(&NotifySavedLogFile);
    SetCurrentExceptionRecord(&FRecord);
    for (const TNotifyCase& c : kActions) {
        SCOPED_TRACE(c.name);
        Notes().clear();
        c.run();
        const std::string n = std::to_string(c.action);
        EXPECT_EQ(Notes(),
                  (std::vector<std::string>{"host:action " + n + " execute=1", "proc:action " + n + " execute=1"}));
        EXPECT_TRUE(VexlorEventData().Execute);
    }

    // A handler here that asks for another try makes the log writer repeat.
    FLog->SetOnExceptionErrorNotify([](TVexlorExceptionRecord, TVexlorActionType, bool& retry) { retry = true; });
    Notes().clear();
    EXPECT_TRUE(NotifyLogFileError());
    EXPECT_EQ(Notes(), (std::vector<std::string>{"proc:error 3 retry=1"}));
    ExceptionErrorNotify = nullptr;
    FLog->SetOnExceptionErrorNotify(nullptr);
    VexlorEventData().Retry = false;
    EXPECT_FALSE(NotifyLogFileError()) << "with no handler the flag keeps its preset";
}

}  // namespace
