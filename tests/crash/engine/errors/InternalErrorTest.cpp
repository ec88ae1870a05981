// The internal-error hook: when it reports at all, its debugger line, the
// ".log" file beside the program line by line, the boxes and the mail; its
// address and call-stack texts; and that nothing escapes it, not even from a
// resolver that raises.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "crash/engine/EConsts.h"
#include "crash/engine/ECore.h"
#include "crash/engine/EDebugData.h"
#include "crash/engine/errors/ErrorsInternal.h"
#include "crash/engine/errors/InternalErrors.h"
#include "crash/engine/stack/CallStack.h"
#include "crash/engine/system/SystemInfo.h"
#include "rtl/CheckedMemory.h"
#include "rtl/Libraries.h"
#include "rtl/SysUtils.h"
#include "tests/support/DebugLines.h"
#include "tests/support/ModuleRecords.h"

namespace crash {
namespace {

using testsupport::DebugLines;

class EStepFailure : public rtl::Exception {
public:
    RTL_CLASS(EStepFailure)
    using rtl::Exception::Exception;
};

constexpr std::uint32_t kThrowLine = __LINE__ + 3;
__attribute__((noinline)) void ThrowStepFailure(int n)
{
    if (n > 0) throw EStepFailure("the step broke");
}

struct Box {
    std::string Text, Caption;
    UINT Flags;
};
std::vector<Box> gBoxes;
int gAnswer = IDNO;
int RecordBox(const std::string& text, const char* caption, UINT flags) noexcept
{
    gBoxes.push_back({text, caption, flags});
    return gAnswer;
}

bool gDebugger = false;
bool AnswerDebugger() noexcept
{
    return gDebugger;
}

struct Mail {
    std::string To, Subject, Body, Attachment;
};
std::vector<Mail> gMails;
bool gMailSent = false;
bool RecordMail(const std::string& to, const std::string& subject, const std::string& body,
                const std::string& attachment)
{
    gMails.push_back({to, subject, body, attachment});
    return gMailSent;
}

rtl::TObject* gLastReportObject = nullptr;

std::string LogFile()
{
    return ChangeFileExt(rtl::ModuleFileNameAnsi(), ".log");
}

std::vector<std::string> FileLines(const std::string& name)
{
    std::ifstream file(name, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), {});
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t end = bytes.find("\r\n", at);
        if (end == std::string::npos) {
            lines.push_back(bytes.substr(at) + "<no CR LF>");
            break;
        }
        lines.push_back(bytes.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

class InternalError : public ::testing::Test {
protected:
    void SetUp() override
    {
        gBoxes.clear();
        gMails.clear();
        gAnswer = IDNO;
        gMailSent = false;
        gDebugger = false;
        FOldBox = errors::MessageBoxProc.exchange(&RecordBox);
        FOldDebugger = errors::DebuggerTest.exchange(&AnswerDebugger);
        InternalErrorSteps.VexlorLogSendEmail.Set(&RecordMail);
        InternalErrorSteps.LastReportExceptionObject.Set([]() -> const void* { return gLastReportObject; });
        ::DeleteFileA(LogFile().c_str());
    }
    void TearDown() override
    {
        errors::MessageBoxProc.store(FOldBox);
        errors::DebuggerTest.store(FOldDebugger);
        InternalErrorSteps.VexlorLogSendEmail.Set(nullptr);
        InternalErrorSteps.LastReportExceptionObject.Set(nullptr);
        DebugInfoResolver.store(&GetDebugInfoByAddr);
        IntoIDE = false;
        gLastReportObject = nullptr;
        ::DeleteFileA(LogFile().c_str());
    }

    // The hook, called as a failing step's handler calls it.
    template <class Raise>
    std::uintptr_t Fail(Raise raise, const std::string& section = "Unit.Step (Address: 00401000)")
    {
        std::uintptr_t raised = 0;
        try {
            raise();
        } catch (const rtl::Exception& e) {
            raised = reinterpret_cast<std::uintptr_t>(e.RaiseAddress());
            InternalErrorHook(section);
        } catch (...) {
            InternalErrorHook(section);
        }
        return raised;
    }

    errors::TMessageBoxProc FOldBox = nullptr;
    errors::TDebuggerTest FOldDebugger = nullptr;
};

TEST_F(InternalError, NothingWithoutDebuggerOrDevelopmentEnvironment)
{
    DebugLines lines;
    Fail([] { ThrowStepFailure(1); });
    EXPECT_TRUE(DebugLines::Lines().empty());
    EXPECT_TRUE(gBoxes.empty());
    EXPECT_EQ(::GetFileAttributesA(LogFile().c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(InternalError, NothingForTheSilentAbort)
{
    IntoIDE = true;
    gDebugger = true;
    DebugLines lines;
    Fail([] { rtl::Abort(); });
    EXPECT_TRUE(DebugLines::Lines().empty());
    EXPECT_TRUE(gBoxes.empty());
    EXPECT_EQ(::GetFileAttributesA(LogFile().c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(InternalError, TheReportBesideTheProgramLineByLine)
{
    IntoIDE = true;
    EStepFailure previous("an earlier report's");
    gLastReportObject = &previous;
    DebugLines lines;
    const std::uintptr_t raised = Fail([] { ThrowStepFailure(1); });
    ASSERT_NE(raised, 0u);
    const std::uintptr_t address = raised - 5;  // the raise's CALL
    EXPECT_FALSE(ShowVexlorLogUnits.load());

    ASSERT_EQ(DebugLines::Lines().size(), 1u);
    EXPECT_EQ(DebugLines::Lines()[0], "[ERROR] - Section: Unit.Step (Address: 00401000) - Address: " +
                                          errors::Hex8(address) + " - Message: \"the step broke\"");

    const std::vector<std::string> file = FileLines(LogFile());
    ASSERT_GE(file.size(), 12u) << ::testing::PrintToString(file);
    EXPECT_EQ(file[0], "Version   : 6.1.01 RC 1");
    EXPECT_TRUE(file[1].starts_with("Date      : ") && file[1].size() > 20) << file[1];
    EXPECT_EQ(file[2], "OS        : " + WindowsVersionText());
    EXPECT_EQ(file[3], "RAD       : GNU C++ " __VERSION__);
    std::uint8_t code[32];
    ASSERT_TRUE(rtl::ReadMemory(reinterpret_cast<const void*>(address), code, sizeof code));
    std::string dump = "Dump      : ";
    for (const std::uint8_t b : code) {
        char piece[8];
        std::snprintf(piece, sizeof piece, "$%02X ", b);
        dump += piece;
    }
    EXPECT_EQ(file[4], dump);
    EXPECT_EQ(file[4].substr(12, 4), "$E8 ");  // a CALL rel32
    EXPECT_EQ(file[5], "Section   : Unit.Step (Address: 00401000)");
    EXPECT_EQ(file[6], "LastExcept: EStepFailure");
    const std::string self = ExtractFileName(rtl::ModuleFileNameAnsi());
    char head[48];
    std::snprintf(head, sizeof head, "Address   : $%08X - [%08X] ", static_cast<unsigned>(address),
                  static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(::GetModuleHandleA(nullptr))));
    const std::string resolved = head + self +
                                 " - InternalErrorTest.cpp - crash::(anonymous namespace) - ThrowStepFailure - " +
                                 std::to_string(kThrowLine) + "[";
    EXPECT_TRUE(file[7].starts_with(resolved) && file[7].ends_with("]")) << file[7];
    EXPECT_EQ(file[8], "Exception : EStepFailure");
    EXPECT_EQ(file[9], "Message   : the step broke");
    // The stack: inside the development environment from the hook's own
    // position, procedure-level items only, the library's own units shown.
    ASSERT_TRUE(file[10].starts_with("Call Stack: 00 $")) << file[10];
    // The walk's own function as the target of the hook's call, then that call.
    EXPECT_NE(file[10].find("] " + self + " - InternalErrorHook.cpp - crash - InternalErrorCallStackText"),
              std::string::npos)
        << file[10];
    EXPECT_NE(file[11].find("] " + self + " - InternalErrorHook.cpp - crash - InternalErrorHook - "), std::string::npos)
        << file[11];
    bool hook = false, test = false;
    for (std::size_t i = 10; i < file.size(); ++i) {
        const std::string item = i == 10 ? file[i].substr(12) : file[i];
        if (i > 10) {
            ASSERT_TRUE(item.starts_with(std::string(12, ' '))) << item;
            char index[4];
            std::snprintf(index, sizeof index, "%02X", static_cast<unsigned>(i - 10));
            EXPECT_EQ(item.substr(12, 4), std::string(index) + " $") << item;
        }
        hook = hook || item.find("InternalErrorHook.cpp - crash - InternalErrorHook - ") != std::string::npos;
        test = test || item.find("- InternalErrorTest.cpp - ") != std::string::npos;
    }
    EXPECT_TRUE(hook) << ::testing::PrintToString(file);
    EXPECT_TRUE(test);

    // Asked whether to mail it; no.
    ASSERT_EQ(gBoxes.size(), 1u);
    EXPECT_EQ(gBoxes[0].Caption, "Probably internal bug");
    EXPECT_EQ(gBoxes[0].Flags, 0x242014u);
    EXPECT_EQ(gBoxes[0].Text, "Error: 'the step broke'\r\n\r\nThis is an internal VexlorLog bug.\r\n"
                              "Do you want to send the bug information to VexlorLog author?");
    EXPECT_TRUE(gMails.empty());
}

TEST_F(InternalError, MailOnYesAndTheBoxWhenItCannotBeSent)
{
    IntoIDE = true;
    gAnswer = IDYES;
    for (const bool sent : {true, false}) {
        SCOPED_TRACE(sent);
        gBoxes.clear();
        gMails.clear();
        gMailSent = sent;
        Fail([] { throw std::runtime_error("bad state"); });
        ASSERT_EQ(gMails.size(), 1u);
        EXPECT_EQ(gMails[0].To, std::string(kVexlorLogSupportAddress));
        EXPECT_EQ(gMails[0].Subject, "VexlorLog 6.1.01 RC 1 critical bug.");
        EXPECT_EQ(gMails[0].Body, gMails[0].Subject);
        EXPECT_EQ(gMails[0].Attachment, LogFile());
        ASSERT_EQ(gBoxes.size(), sent ? 1u : 2u);
        if (!sent) {
            EXPECT_EQ(gBoxes[1].Caption, "Information");
            EXPECT_EQ(gBoxes[1].Flags, 0x242030u);
            EXPECT_EQ(gBoxes[1].Text, "Cannot connect with your email client.\r\nSend manually the \"" + LogFile() +
                                          "\" file to the crash-reports@volumetra.invalid email address, after click "
                                          "on OK button to close this box.");
        }
    }
    // A standard library exception reports its type and text.
    const std::vector<std::string> file = FileLines(LogFile());
    ASSERT_GE(file.size(), 10u);
    EXPECT_EQ(file[8], "Exception : runtime_error");
    EXPECT_EQ(file[9], "Message   : bad state");
}

__attribute__((noinline)) void ThrowSeven()
{
    throw 7;
}
// Its frame is large, so that the thrower's return into it lies deeper than
// the frames the hook itself runs in after the catch.
__attribute__((noinline)) void CallThrowSeven()
{
    volatile char room[16384];
    room[0] = 1;
    ThrowSeven();
    asm volatile("" : : "r"(room) : "memory");
}

TEST_F(InternalError, UnderADebuggerFromTheRaise)
{
    gDebugger = true;
    DebugLines lines;
    Fail(&CallThrowSeven, "Report.Stage");
    // No object: a general error at the raise's own address.
    ASSERT_EQ(DebugLines::Lines().size(), 1u);
    EXPECT_TRUE(DebugLines::Lines()[0].starts_with("[ERROR] - Section: Report.Stage - Address: "));
    EXPECT_TRUE(DebugLines::Lines()[0].ends_with(" - Message: \"General internal error.\""));
    const std::vector<std::string> file = FileLines(LogFile());
    ASSERT_GE(file.size(), 11u);
    EXPECT_EQ(file[6], "LastExcept: ");
    EXPECT_EQ(file[8], "Exception : ");
    EXPECT_EQ(file[9], "Message   : General internal error.");
    // From the raise's stack pointer: the thrower's caller, gone since, is in it
    // (the walk from the hook's own position would not reach so deep).
    std::string stack;
    for (std::size_t i = 10; i < file.size(); ++i) stack += file[i] + "\n";
    EXPECT_NE(stack.find(" - InternalErrorTest.cpp - crash::(anonymous namespace) - CallThrowSeven - "),
              std::string::npos)
        << stack;
}

// Raises for the walk's items; the address text of the hook resolves.
void RaiseForWalks(std::uintptr_t x, std::uint32_t thread, TVexlorDebugInfo& item, bool errorLine, bool running)
{
    if (!errorLine) throw std::runtime_error("resolver broke");
    GetDebugInfoByAddr(x, thread, item, errorLine, running);
}

void RaiseAlways(std::uintptr_t, std::uint32_t, TVexlorDebugInfo&, bool, bool)
{
    throw std::bad_alloc();
}

TEST_F(InternalError, AResolverThatRaisesGivesModuleOnlyItems)
{
    gDebugger = true;  // inside the development environment only procedures would be left
    DebugInfoResolver.store(&RaiseForWalks);
    Fail([] { ThrowStepFailure(1); });
    const std::vector<std::string> file = FileLines(LogFile());
    ASSERT_GE(file.size(), 12u) << ::testing::PrintToString(file);
    EXPECT_NE(file[7].find("ThrowStepFailure"), std::string::npos) << file[7];
    const std::string self = ExtractFileName(rtl::ModuleFileNameAnsi());
    for (std::size_t i = 10; i < file.size(); ++i) {
        // "NN $XXXXXXXX - [XXXXXXXX] name " and nothing after the module.
        const std::string item = file[i].substr(12);
        EXPECT_EQ(item.find(" - ", 15), std::string::npos) << item;
        EXPECT_TRUE(item.ends_with(" ")) << item;
        EXPECT_EQ(item.find(".cpp"), std::string::npos) << item;
    }
    EXPECT_NE(file[10].find("] " + self + " "), std::string::npos) << file[10];
}

TEST_F(InternalError, NothingEscapes)
{
    IntoIDE = true;
    DebugInfoResolver.store(&RaiseAlways);
    DebugLines lines;
    bool escaped = false;
    try {
        Fail([] { ThrowStepFailure(1); });
    } catch (...) {
        escaped = true;
    }
    EXPECT_FALSE(escaped);
    EXPECT_FALSE(ShowVexlorLogUnits.load());
    // The line was written before the texts that failed; no file, no box.
    ASSERT_EQ(DebugLines::Lines().size(), 1u);
    EXPECT_TRUE(DebugLines::Lines()[0].starts_with("[ERROR] - Section: Unit.Step"));
    EXPECT_EQ(::GetFileAttributesA(LogFile().c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(gBoxes.empty());
}

// As start-up wires it: a failing unit step reaches the hook through SafeExec.
TEST_F(InternalError, AsTheCriticalErrorOfSafeExec)
{
    IntoIDE = true;
    const TCriticalErrorProc old = CriticalError;
    CriticalError = &InternalErrorHook;
    DebugLines lines;
    bool aborted = false;
    try {
        SafeExec([] { ThrowStepFailure(1); }, "EMain.Init");
    } catch (const rtl::EAbort&) {
        aborted = true;
    }
    CriticalError = old;
    EXPECT_TRUE(aborted);
    ASSERT_EQ(DebugLines::Lines().size(), 1u);
    EXPECT_TRUE(DebugLines::Lines()[0].starts_with("[ERROR] - Section: EMain.Init (Address: "))
        << DebugLines::Lines()[0];
    EXPECT_EQ(gBoxes.size(), 1u);
}

TEST(AddressTexts, NoModule)
{
    void* page = ::VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_READWRITE);
    char expected[64];
    std::snprintf(expected, sizeof expected, "$%08X - [00000000]  -  -  -  - 0[0]",
                  static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(page)));
    EXPECT_EQ(AddressText(reinterpret_cast<std::uintptr_t>(page)), expected);
    ::VirtualFree(page, 0, MEM_RELEASE);
}

}  // namespace
}  // namespace crash
