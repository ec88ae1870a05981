// Events and main-thread calls: the order handlers fire in, what a raising
// handler ends, where a handed-over call runs, and forwarding to libraries
// that carry their own copy of the engine (fixture libraries of this folder).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "crash/engine/EConsts.h"
#include "crash/engine/EDebugData.h"
#include "crash/engine/ExceptionLog.h"
#include "rtl/Handles.h"
#include "rtl/Libraries.h"

namespace {

using namespace crash;

// ---- What the handlers saw ---------------------------------------------------------

std::vector<std::string>& Notes()
{
    static std::vector<std::string> notes;
    return notes;
}

void Note(const char* line)
{
    Notes().push_back(line);
}

void Note(const std::string& line)
{
    Notes().push_back(line);
}

std::string Flag(bool value)
{
    return value ? "1" : "0";
}

std::string Items(const TVexlorStrings& list)
{
    std::string text;
    for (const std::string& item : list.Strings()) text += " " + item;
    return text;
}

// The notes without what follows the first blank of each (a handler's
// details), for tests that only look at the order.
std::vector<std::string> NoteHeads()
{
    std::vector<std::string> heads;
    for (const std::string& note : Notes()) heads.push_back(note.substr(0, note.find(' ')));
    return heads;
}

// A component that notes every event under its name. Its notify handler
// clears Handled when told to.
std::unique_ptr<TVexlorLog> NotingLog(const std::string& name, bool clearsHandled = false)
{
    auto log = std::make_unique<TVexlorLog>();
    log->SetOnExceptionNotify([=](TVexlorExceptionRecord, bool& handled) {
        Note(name + ":notify handled=" + Flag(handled));
        if (clearsHandled) handled = false;
    });
    log->SetOnHandledExceptionNotify(
        [=](TVexlorExceptionRecord, bool& handled) { Note(name + ":handled handled=" + Flag(handled)); });
    log->SetOnExceptionActionNotify([=](TVexlorExceptionRecord, TVexlorActionType action, bool& execute) {
        Note(name + ":action " + std::to_string(action) + " execute=" + Flag(execute));
    });
    log->SetOnExceptionErrorNotify([=](TVexlorExceptionRecord, TVexlorActionType action, bool& retry) {
        Note(name + ":error " + std::to_string(action) + " retry=" + Flag(retry));
    });
    log->SetOnPasswordRequest(
        [=](TVexlorExceptionRecord, std::string& password) { Note(name + ":password in=" + password); });
    log->SetOnCustomDataRequest(
        [=](TVexlorExceptionRecord, TVexlorStrings& fields) { Note(name + ":data" + Items(fields)); });
    log->SetOnAttachedFilesRequest(
        [=](TVexlorExceptionRecord, TVexlorStrings& files) { Note(name + ":files" + Items(files)); });
    log->SetOnCustomWebFieldsRequest(
        [=](TVexlorExceptionRecord, TVexlorStrings& fields) { Note(name + ":web" + Items(fields)); });
    log->SetOnCustomButtonClickNotify(
        [=](TVexlorExceptionRecord, bool& close) { Note(name + ":button close=" + Flag(close)); });
    return log;
}

void RunAction()
{
    bool& execute = VexlorEventData().Execute;
    ForwardExceptionActionNotify(atSendingEmail, execute);
    FireExceptionActionNotify(atSendingEmail, execute);
}

void RunError()
{
    bool& retry = VexlorEventData().Retry;
    ForwardExceptionErrorNotify(atSentEmail, retry);
    FireExceptionErrorNotify(atSentEmail, retry);
}

// ---- A fixture library ---------------------------------------------------------------

using TFixtureNote = void (*)(const char*);

class TFixtureLibrary {
public:
    explicit TFixtureLibrary(const char* fileName) : FModule(::LoadLibraryA(fileName))
    {
        if (auto* start = Entry<void(TFixtureNote)>("FixtureStart")) start(&Note);
    }
    ~TFixtureLibrary()
    {
        if (auto* stop = Entry<void()>("FixtureStop")) stop();
    }
    TFixtureLibrary(const TFixtureLibrary&) = delete;
    TFixtureLibrary& operator=(const TFixtureLibrary&) = delete;

    explicit operator bool() const noexcept { return static_cast<bool>(FModule); }
    HMODULE Module() const noexcept { return FModule.Get(); }
    // An address in the library's code.
    void* CodeAddress() const { return reinterpret_cast<void*>(Entry<void(TFixtureNote)>("FixtureStart")); }
    template <class TFunction>
    TFunction* Entry(const char* name) const
    {
        return rtl::EntryPoint<TFunction>(FModule.Get(), name);
    }

private:
    rtl::LibraryHandle FModule;
};

// ---- The test fixture ------------------------------------------------------------------

int DuplicateCalls = 0;
int DuplicateCounted = 0;
void CountDuplicate(bool increment)
{
    ++DuplicateCalls;
    if (increment) ++DuplicateCounted;
}

class EventsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CreateVexlorLogList();
        VexlorEventData() = TVexlorEventData{};
        Notes().clear();
        FRecord.ExceptionThreadID = ::GetCurrentThreadId();
        FRecord.LogText = FText.data();
        FRecord.LogTextLength = static_cast<std::uint32_t>(FText.size());
        DuplicateCalls = DuplicateCounted = 0;
        ReportSteps.CountDuplicateError.Set(&CountDuplicate);
    }
    void TearDown() override
    {
        SetCurrentExceptionRecord(nullptr);
        ReportSteps.CountDuplicateError.Set(nullptr);
        VexlorLogWarningSeams.IsActive.Set(nullptr);
        VexlorLogWarningSeams.IsDebuggerAttached.Set(nullptr);
        VexlorLogWarningSeams.ShowMessageBox.Set(nullptr);
        ExceptionNotify = nullptr;
        HandledExceptionNotify = nullptr;
        CustomDataRequest = nullptr;
        PasswordRequest = nullptr;
        FreeVexlorLogList();
    }
    // Publishes the record of an exception raised at address.
    void Publish(void* address)
    {
        FRecord.ExceptionAddress = address;
        SetCurrentExceptionRecord(&FRecord);
    }

    std::string FText = "report text";
    TVexlorExceptionRecord FRecord{};
};

// ---- Local firing ----------------------------------------------------------------------

TEST_F(EventsTest, WithoutHandlersEveryRunnerLeavesThePresets)
{
    static constexpr struct {
        const char* name;
        void (*run)();
    } kRunners[] = {
        {"DoExceptionNotify", &DoExceptionNotify},
        {"DoHandledExceptionNotify", &DoHandledExceptionNotify},
        {"action", &RunAction},
        {"error", &RunError},
        {"DoCustomDataRequest", &DoCustomDataRequest},
        {"DoAttachedFilesRequest", &DoAttachedFilesRequest},
        {"DoCustomWebFieldsRequest", &DoCustomWebFieldsRequest},
        {"DoCustomButtonClick", &DoCustomButtonClick},
        {"DoPasswordRequest", [] { DoPasswordRequest(LibraryModuleHandle()); }},
    };
    Publish(reinterpret_cast<void*>(&DoExceptionNotify));
    for (const bool withComponent : {false, true}) {
        const auto idle = withComponent ? std::make_unique<TVexlorLog>() : nullptr;
        for (const bool preset : {false, true}) {
            for (const auto& runner : kRunners) {
                SCOPED_TRACE(std::string(runner.name) + (withComponent ? " with" : " without") +
                             " a component, preset " + Flag(preset));
                TVexlorEventData& data = VexlorEventData();
                data.Handled = data.Execute = data.Retry = data.CloseDialog = preset;
                data.Password = "preset";
                for (TVexlorStrings* list : {&data.CustomData, &data.AttachedFiles, &data.WebFields}) {
                    list->Clear();
                    list->Add(std::string("a=1"));
                }
                CallInMainThread(runner.run);
                EXPECT_EQ(data.Handled, preset);
                EXPECT_EQ(data.Execute, preset);
                EXPECT_EQ(data.Retry, preset);
                EXPECT_EQ(data.CloseDialog, preset);
                EXPECT_EQ(data.Password, "preset");
                for (TVexlorStrings* list : {&data.CustomData, &data.AttachedFiles, &data.WebFields})
                    EXPECT_EQ(Items(*list), " a=1");
            }
        }
    }
}

void __stdcall ProcNotify(TVexlorExceptionRecord, bool* handled)
{
    Note("proc:notify handled=" + Flag(*handled));
}

TEST_F(EventsTest, TheLastComponentMadeFiresFirstAndEitherMayClearHandled)
{
    static constexpr struct {
        bool firstClears;
        bool secondClears;
        const char* seen;  // what each handler found, in firing order
        bool handled;
    } kCases[] = {
        {false, false, "second:1 first:1 proc:1", true},
        {true, false, "second:1 first:1 proc:0", false},
        {false, true, "second:1 first:0 proc:0", false},
    };
    ExceptionNotify = &ProcNotify;
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.seen);
        Notes().clear();
        VexlorEventData().Handled = true;
        const auto first = NotingLog("first", c.firstClears);
        const auto second = NotingLog("second", c.secondClears);
        DoExceptionNotify();
        std::string seen;
        for (const std::string& note : Notes())
            seen += (seen.empty() ? "" : " ") + note.substr(0, note.find(':')) + ":" + note.substr(note.size() - 1);
        EXPECT_EQ(seen, c.seen);
        EXPECT_EQ(VexlorEventData().Handled, c.handled);
    }
}

TEST_F(EventsTest, AComponentFreedMeanwhileNoLongerFires)
{
    auto owner = std::make_unique<rtl::TComponent>();
    new TVexlorLog(owner.get());
    ASSERT_EQ(VexlorLogList()->Count(), 1);
    owner.reset();
    EXPECT_EQ(VexlorLogList()->Count(), 0);

    // The one made last fires first and frees the other before its turn.
    auto first = NotingLog("first");
    auto second = std::make_unique<TVexlorLog>();
    second->SetOnExceptionNotify([&](TVexlorExceptionRecord, bool&) {
        Note("second");
        first.reset();
    });
    DoExceptionNotify();
    EXPECT_EQ(Notes(), std::vector<std::string>{"second"});
    EXPECT_EQ(VexlorLogList()->Count(), 1);
}

TEST_F(EventsTest, ARaisingHandlerEndsItsOwnCallOnly)
{
    static const struct {
        const char* name;
        void (*raise)();
    } kRaises[] = {
        {"an exception object", [] { throw rtl::Exception("handler failed"); }},
        {"a thrown int", [] { throw 42; }},
    };
    Publish(reinterpret_cast<void*>(&DoExceptionNotify));
    for (const auto& r : kRaises) {
        SCOPED_TRACE(r.name);
        Notes().clear();
        DuplicateCalls = 0;
        auto first = std::make_unique<TVexlorLog>();
        first->SetOnExceptionNotify([](TVexlorExceptionRecord, bool&) { Note("first:notify"); });
        first->SetOnCustomDataRequest([](TVexlorExceptionRecord, TVexlorStrings&) { Note("first:data"); });
        auto second = std::make_unique<TVexlorLog>();
        second->SetOnExceptionNotify([&](TVexlorExceptionRecord, bool&) {
            Note("second:notify");
            r.raise();
        });
        CallInMainThread(&DoExceptionNotify);
        CallInMainThread(&DoCustomDataRequest);
        EXPECT_EQ(Notes(), (std::vector<std::string>{"second:notify", "first:data"}));
        EXPECT_EQ(DuplicateCalls, 2);
    }
}

// ---- The call slot -----------------------------------------------------------------------

struct TStandIn {
    DWORD ranOn[2] = {};
    bool returned = false;
};

int StandInReportThread(void* parameter)
{
    auto& standIn = *static_cast<TStandIn*>(parameter);
    CallInMainThread([&] { standIn.ranOn[0] = ::GetCurrentThreadId(); });
    CallInMainThread([&] {
        standIn.ranOn[1] = ::GetCurrentThreadId();
        throw rtl::Exception("handler failed");
    });
    standIn.returned = true;
    return 0;
}

TEST_F(EventsTest, ACallFromTheReportThreadRunsOnTheWaitingThread)
{
    Publish(reinterpret_cast<void*>(&DoExceptionNotify));
    TStandIn standIn;
    DWORD threadId = 0;
    const rtl::KernelHandle thread(rtl::BeginThread(nullptr, 0, &StandInReportThread, &standIn, 0, threadId));
    ASSERT_TRUE(thread);
    int served = 0;
    const DWORD start = ::GetTickCount();
    while (::WaitForSingleObject(thread.Get(), 0) == WAIT_TIMEOUT && ::GetTickCount() - start < 20000) {
        if (ServeMainThreadCall()) ++served;
        ::Sleep(1);
    }
    ASSERT_EQ(::WaitForSingleObject(thread.Get(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(served, 2);
    EXPECT_EQ(standIn.ranOn[0], ::GetCurrentThreadId());
    EXPECT_EQ(standIn.ranOn[1], ::GetCurrentThreadId());
    EXPECT_TRUE(standIn.returned);
    EXPECT_FALSE(ServeMainThreadCall());
    EXPECT_EQ(DuplicateCalls, 2);
    EXPECT_EQ(DuplicateCounted, 0);
}

int CallOnce(void* parameter)
{
    CallInMainThread([=] { *static_cast<DWORD*>(parameter) = ::GetCurrentThreadId(); });
    return 0;
}

TEST_F(EventsTest, ACallRunsAtOnceWithoutAReportAndOnTheRaisingThread)
{
    // Without a report the caller runs it; in the raising thread too.
    for (const bool report : {false, true}) {
        SCOPED_TRACE(report ? "report" : "no report");
        if (report) Publish(nullptr);
        DWORD ranOn = 0;
        CallInMainThread([&] { ranOn = ::GetCurrentThreadId(); });
        EXPECT_EQ(ranOn, ::GetCurrentThreadId());
    }
    SetCurrentExceptionRecord(nullptr);
    DWORD ranOn = 0, threadId = 0;
    const rtl::KernelHandle thread(rtl::BeginThread(nullptr, 0, &CallOnce, &ranOn, 0, threadId));
    ASSERT_TRUE(thread);
    ASSERT_EQ(::WaitForSingleObject(thread.Get(), 10000), WAIT_OBJECT_0);
    EXPECT_EQ(ranOn, threadId);
    EXPECT_EQ(DuplicateCalls, 1) << "only while a report is in progress";
}

// ---- The receiving side in this program ---------------------------------------------------------

TEST_F(EventsTest, TheProgramExportsItsEntriesAndVariablesByName)
{
    const HMODULE program = ::GetModuleHandleW(nullptr);
    EXPECT_EQ(reinterpret_cast<void*>(::GetProcAddress(program, "VexlorLog_ExceptionNotifyEvent")),
              reinterpret_cast<void*>(&VexlorLog_ExceptionNotifyEvent));
    EXPECT_EQ(reinterpret_cast<void*>(::GetProcAddress(program, "ExceptionNotify")),
              static_cast<void*>(&ExceptionNotify));
    for (const char* name :
         {"VexlorLog_HandledExceptionNotifyEvent", "VexlorLog_ExceptionActionNotifyEvent",
          "VexlorLog_ExceptionErrorNotifyEvent", "VexlorLog_CustomDataRequestEventEx",
          "VexlorLog_AttachedFilesRequestEvent", "VexlorLog_CustomWebFieldsRequestEvent",
          "VexlorLog_CustomButtonClickEvent", "VexlorLog_PasswordRequestEventEx", "VexlorLog_PasswordRequestEvent",
          "HandledExceptionNotify", "ExceptionActionNotify", "ExceptionErrorNotify", "PasswordRequest",
          "CustomDataRequest", "AttachedFilesRequest", "CustomWebFieldsRequest", "CustomButtonClickNotify"}) {
        EXPECT_NE(::GetProcAddress(program, name), nullptr) << name;
    }
}

TEST_F(EventsTest, AnEntryFiresWithACopyOfTheCallersRecordAndRestoresItsOwn)
{
    TVexlorExceptionRecord previous{};
    SetCurrentExceptionRecord(&previous);
    rtl::Exception object("ours");
    FRecord.ExceptionObject = &object;
    const TVexlorExceptionRecord* during = nullptr;
    TVexlorExceptionRecord received{};
    auto log = std::make_unique<TVexlorLog>();
    log->SetOnExceptionNotify([&](TVexlorExceptionRecord record, bool& handled) {
        during = CurrentExceptionRecord();
        received = record;
        handled = false;
    });
    bool handled = true;
    VexlorLog_ExceptionNotifyEvent(&FRecord, &handled);
    EXPECT_FALSE(handled);
    EXPECT_EQ(CurrentExceptionRecord(), &previous);
    ASSERT_NE(during, nullptr);
    EXPECT_NE(during, &FRecord);
    EXPECT_EQ(LogTextOf(received), "report text");
    EXPECT_NE(received.LogText, FRecord.LogText) << "the text is the entry's own copy";
    EXPECT_EQ(received.ExceptionObject, &object) << "an object of this module's class is kept";

    // A record or flag that cannot be read fires nothing.
    during = nullptr;
    handled = true;
    VexlorLog_ExceptionNotifyEvent(reinterpret_cast<const TVexlorExceptionRecord*>(0x10), &handled);
    VexlorLog_ExceptionNotifyEvent(&FRecord, reinterpret_cast<bool*>(0x10));
    EXPECT_EQ(during, nullptr);
    EXPECT_TRUE(handled);
}

// ---- Forwarding to a library with its own copy -----------------------------------------------

TEST_F(EventsTest, ForwardingFiresTheLibrarysHandlersFirstAndBringsItsChangesBack)
{
    TFixtureLibrary library(EVENTS_FIXTURE);
    ASSERT_TRUE(library);
    const auto options = TVexlorModuleOptions::Create(rtl::ModuleFileNameAnsi(library.Module()));
    ASSERT_EQ(options->ModuleHandle(), library.Module());
    FRecord.CurrentModuleOptions = options.get();
    Publish(library.CodeAddress());
    const auto host = NotingLog("host");

    CallInMainThread(&DoExceptionNotify);
    ASSERT_EQ(NoteHeads(), (std::vector<std::string>{"dll:notify", "dll:proc", "host:notify"}));
    const std::string& seen = Notes()[0];
    EXPECT_NE(seen.find("handled=1 "), std::string::npos) << seen;
    EXPECT_NE(seen.find(" object=null@"), std::string::npos) << seen;
    EXPECT_NE(seen.find(" text=report text@"), std::string::npos) << seen;
    EXPECT_NE(seen.find(" options=own current=set"), std::string::npos) << seen;
    char ours[16];
    std::snprintf(ours, sizeof ours, "@%p ", static_cast<const void*>(FRecord.LogText));
    EXPECT_EQ(seen.find(ours), std::string::npos) << "the library reads its own copy of the text";
    EXPECT_EQ(Notes()[1], "dll:proc handled=0");
    EXPECT_EQ(Notes()[2], "host:notify handled=0");
    EXPECT_FALSE(VexlorEventData().Handled);
    EXPECT_EQ(options->SupportURL(), "https://dll.invalid/") << "read back from the shared copy";
    EXPECT_EQ(library.Entry<const void*()>("FixtureCurrentRecord")(), nullptr);

    static const struct {
        const char* name;
        void (*run)();
        std::vector<std::string> notes;
        bool (*result)();  // the flag or list as it came back
    } kEvents[] = {
        {"handled",
         &DoHandledExceptionNotify,
         {"dll:handled handled=1", "host:handled handled=1"},
         [] { return VexlorEventData().Handled; }},
        {"action",
         &RunAction,
         {"dll:action 4 execute=1", "host:action 4 execute=0"},
         [] { return !VexlorEventData().Execute; }},
        {"error", &RunError, {"dll:error 5 retry=0", "host:error 5 retry=1"}, [] { return VexlorEventData().Retry; }},
        {"data",
         &DoCustomDataRequest,
         {"dll:data host=1", "host:data host=1 dll=1"},
         [] { return Items(VexlorEventData().CustomData) == " host=1 dll=1"; }},
        {"files",
         &DoAttachedFilesRequest,
         {"dll:files", "host:files dll.txt"},
         [] { return Items(VexlorEventData().AttachedFiles) == " dll.txt"; }},
        {"web",
         &DoCustomWebFieldsRequest,
         {"dll:web", "host:web dllfield=1"},
         [] { return Items(VexlorEventData().WebFields) == " dllfield=1"; }},
        {"button",
         &DoCustomButtonClick,
         {"dll:button close=0", "host:button close=1"},
         [] { return VexlorEventData().CloseDialog; }},
    };
    for (const auto& e : kEvents) {
        SCOPED_TRACE(e.name);
        VexlorEventData() = TVexlorEventData{};
        VexlorEventData().CustomData.Add(std::string("host=1"));
        Notes().clear();
        CallInMainThread(e.run);
        EXPECT_EQ(Notes(), e.notes);
        EXPECT_TRUE(e.result());
    }
}

TEST_F(EventsTest, ForwardingSkipsAModuleWithoutTheEntryOrACompatibleCopy)
{
    TFixtureLibrary partial(EVENTS_FIXTURE_PARTIAL);
    TFixtureLibrary old(EVENTS_FIXTURE_OLD);
    ASSERT_TRUE(partial);
    ASSERT_TRUE(old);
    ASSERT_EQ(GetVexlorLogModuleVersion(old.Module()), 6001);
    ASSERT_EQ(GetVexlorLogModuleVersion(LibraryModuleHandle()), VexlorLogCurrentVersion);
    const auto host = NotingLog("host");
    static void (*const notify)() = &DoExceptionNotify;
    const struct {
        const char* name;
        void* address;
        void (*run)();
        std::vector<std::string> notes;
    } kCases[] = {
        {"the entry is there", partial.CodeAddress(), notify, {"dll:notify", "dll:proc", "host:notify"}},
        {"the entry is missing", partial.CodeAddress(), &DoHandledExceptionNotify, {"host:handled"}},
        {"an incompatible version", old.CodeAddress(), notify, {"host:notify"}},
        {"a system library", reinterpret_cast<void*>(&::Sleep), notify, {"host:notify"}},
        {"this program, which exports the entries", reinterpret_cast<void*>(notify), notify, {"host:notify"}},
        {"no address", nullptr, notify, {"host:notify"}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        Notes().clear();
        Publish(c.address);
        CallInMainThread(c.run);
        EXPECT_EQ(NoteHeads(), c.notes);
    }
}

TEST_F(EventsTest, AForeignObjectIsMappedThroughTheSystemsRecord)
{
    TFixtureLibrary library(EVENTS_FIXTURE);
    ASSERT_TRUE(library);
    void* const own = library.Entry<void*()>("FixtureMakeObject")();
    rtl::Exception ours("host object");
    EXCEPTION_RECORD system{};
    system.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
    system.NumberParameters = 2;
    system.ExceptionInformation[1] = 0x1234;
    CONTEXT context{};
    char ownText[24];
    std::snprintf(ownText, sizeof ownText, "@%p ", own);
    const struct {
        const char* name;
        void* object;
        EXCEPTION_RECORD* system;
        std::string seen;
    } kCases[] = {
        {"a host object and the system's record", &ours, &system, " object=EAccessViolation@"},
        {"a host object alone", &ours, nullptr, " object=null@"},
        {"no object pointer at all", reinterpret_cast<void*>(0x10), nullptr, " object=null@"},
        {"an object of the library's class", own, &system, std::string(" object=TFixtureObject") + ownText},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        Notes().clear();
        FRecord.ExceptionObject = c.object;
        FRecord.Win32ExceptionRecord = c.system;
        FRecord.Win32Context = &context;
        Publish(library.CodeAddress());
        DoExceptionNotify();
        ASSERT_FALSE(Notes().empty());
        EXPECT_NE(Notes()[0].find(c.seen), std::string::npos) << Notes()[0];
    }
    library.Entry<void(void*)>("FixtureFreeObject")(own);
}

TEST_F(EventsTest, APasswordComesFromTheModuleWhoseDataNeedsIt)
{
    TFixtureLibrary library(EVENTS_FIXTURE);
    TFixtureLibrary partial(EVENTS_FIXTURE_PARTIAL);
    TFixtureLibrary old(EVENTS_FIXTURE_OLD);
    ASSERT_TRUE(library && partial && old);
    const auto host = NotingLog("host");
    Publish(reinterpret_cast<void*>(&DoExceptionNotify));
    const struct {
        const char* name;
        HMODULE module;
        bool answered;
        const char* password;
        std::vector<std::string> notes;
    } kCases[] = {
        {"the extended entry, with the record",
         library.Module(),
         true,
         "dll-password",
         {"dll:password in=preset current=set text=report text"}},
        {"the plain entry, without it",
         partial.Module(),
         true,
         "dll-password",
         {"dll:password in=preset current=null text="}},
        {"an incompatible copy", old.Module(), false, "preset", {}},
        {"this module's own data", LibraryModuleHandle(), true, "preset", {"host:password in=preset"}},
        {"no module", nullptr, false, "preset", {}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        Notes().clear();
        VexlorEventData().Password = "preset";
        EXPECT_EQ(DoPasswordRequest(c.module), c.answered);
        EXPECT_EQ(VexlorEventData().Password, c.password);
        EXPECT_EQ(Notes(), c.notes);
    }
}

TEST_F(EventsTest, ALongPasswordIsCutToTheCallersBuffer)
{
    TFixtureLibrary library(EVENTS_FIXTURE);
    ASSERT_TRUE(library);
    const std::string answer(300, 'p');
    library.Entry<void(const char*)>("FixtureSetPassword")(answer.c_str());

    EXPECT_TRUE(DoPasswordRequest(library.Module()));
    EXPECT_EQ(VexlorEventData().Password, std::string(255, 'p'));
    EXPECT_EQ(ModulePassword(library.Module()), std::string(255, 'p')) << "the data reader's request";

    // A buffer of 8 characters and a guard behind it; the caller's text is
    // read no further than its length either.
    auto* entry = library.Entry<decltype(VexlorLog_PasswordRequestEventEx)>("VexlorLog_PasswordRequestEventEx");
    ASSERT_NE(entry, nullptr);
    for (const std::int32_t maxLength : {8, 0, -1}) {
        SCOPED_TRACE(maxLength);
        Notes().clear();
        unsigned char buffer[16];
        std::memset(buffer, '#', sizeof buffer);
        buffer[0] = 12;
        std::memcpy(buffer + 1, "abcdefghijkl", 12);
        entry(&FRecord, buffer, maxLength);
        const std::size_t kept = maxLength > 0 ? static_cast<std::size_t>(maxLength) : 0;
        EXPECT_EQ(buffer[0], kept);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer + 1), kept), std::string(kept, 'p'));
        EXPECT_EQ(buffer[1 + kept], "abcdefghijkl"[kept]) << "nothing written past the cut";
        ASSERT_EQ(Notes().size(), 1u);
        EXPECT_EQ(Notes()[0].rfind("dll:password in=" + std::string("abcdefghijkl", kept) + " current=set", 0), 0u)
            << Notes()[0];
    }
}

// ---- The component's warning ------------------------------------------------------------------------

struct TBox {
    int count = 0;
    std::string text;
    std::string caption;
    UINT flags = 0;
};
TBox Box;

TEST_F(EventsTest, AComponentWarnsOnlyWhenInactiveUnderADebugger)
{
    VexlorLogWarningSeams.ShowMessageBox.Set([](HWND, const char* text, const char* caption, UINT flags) {
        ++Box.count;
        Box.text = text;
        Box.caption = caption;
        Box.flags = flags;
        return IDOK;
    });
    static constexpr struct {
        int active;    // -1: the slot is empty
        int debugger;  // -1: the kernel's own test (no debugger here)
        bool shown;
    } kCases[] = {
        {0, 1, true}, {-1, 1, true}, {1, 1, false}, {0, 0, false}, {0, -1, false}, {-1, -1, false},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(::testing::Message() << "active " << c.active << ", debugger " << c.debugger);
        Box = {};
        using TAnswer = bool (*)();
        const TAnswer yes = [] { return true; };
        const TAnswer no = [] { return false; };
        VexlorLogWarningSeams.IsActive.Set(c.active < 0 ? nullptr : c.active ? yes : no);
        VexlorLogWarningSeams.IsDebuggerAttached.Set(c.debugger < 0 ? nullptr : c.debugger ? yes : no);
        const TVexlorLog log;
        EXPECT_EQ(Box.count, c.shown ? 1 : 0);
        if (!c.shown) continue;
        EXPECT_EQ(Box.caption, "Warning");
        EXPECT_EQ(Box.flags, 0x242030u);
        EXPECT_EQ(Box.text,
                  "\r\nYou used a 'TVexlorLog' component in module \"EventsTest.exe\" without activating VexlorLog.\r\n"
                  "To activate VexlorLog, use the IDE \"Project/VexlorLog Options...\" menu.\r\n\r\n"
                  "NOTE: This warning appears only if the program is run from the IDE!");
    }
}

}  // namespace
