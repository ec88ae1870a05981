// The exception's class and message texts, on real objects.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "crash/engine/ExceptionLog.h"
#include "crash/engine/ReportSteps.h"
#include "crash/engine/pipeline/ReportContext.h"
#include "crash/report/collectors/HeaderCollectors.h"
#include "rtl/Libraries.h"
#include "rtl/SysUtils.h"

namespace crash {
namespace {

class EFixtureError : public rtl::Exception {
public:
    RTL_CLASS(EFixtureError)
    using rtl::Exception::Exception;
};

EXCEPTION_RECORD ViolationRecord(const void* at, ULONG_PTR kind, ULONG_PTR accessed)
{
    EXCEPTION_RECORD record = {};
    record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
    record.ExceptionAddress = const_cast<void*>(at);
    record.NumberParameters = 2;
    record.ExceptionInformation[0] = kind;
    record.ExceptionInformation[1] = accessed;
    return record;
}

std::string OwnFileName()
{
    return ExtractFileName(rtl::ModuleFileNameAnsi(nullptr));
}

// Code of this program: its image holds the address.
void __attribute__((noinline)) CodeOfThisProgram()
{
    asm volatile("");
}

TEST(ExceptionTexts, ClassTexts)
{
    const EFixtureError error("x");
    EXPECT_EQ(ExceptionClassText(&error), "EFixtureError");
    EXPECT_EQ(CurrentExceptionClass(), "EFixtureError");

    const std::out_of_range outOfRange("index 7");
    EXPECT_EQ(ExceptionClassText(&outOfRange), "out_of_range");

    const TActiveXException activeX("EOleSysError\r\nEOleError\r\nException", "failed");
    EXPECT_EQ(ExceptionClassText(&activeX), "EOleSysError");

    int notAnObject = 5;
    EXPECT_EQ(ExceptionClassText(&notAnObject), "Unknown exception type");
    EXPECT_EQ(ExceptionClassText(nullptr), "Unknown exception type");
    EXPECT_EQ(ExceptionClassText(reinterpret_cast<const void*>(0x10)), "Unknown exception type");
    EXPECT_EQ(CurrentExceptionClass(), "Unknown exception type");
}

TEST(ExceptionTexts, MessagesEndWithOnePoint)
{
    static constexpr struct {
        const char* message;
        const char* text;
    } kCases[] = {
        {"Tank table is empty", "Tank table is empty."},
        {"Tank table is empty.", "Tank table is empty."},  // already ends with one
        {"Done...", "Done..."},
        {"Line one\r\nline two", "Line one\r\nline two."},
        {"", "."},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.message);
        const EFixtureError error(c.message);
        EXPECT_EQ(ExceptionMessageText(&error), c.text);
        EXPECT_EQ(CurrentExceptionMessage(), c.text);
    }
}

TEST(ExceptionTexts, StandardLibraryExceptionsShowWhat)
{
    try {
        std::string().at(3);
        FAIL() << "no exception";
    } catch (const std::out_of_range& e) {
        EXPECT_EQ(ExceptionClassText(&e), "out_of_range");
        EXPECT_EQ(ExceptionMessageText(&e), std::string(e.what()) + (std::string(e.what()).ends_with('.') ? "" : "."));
    }
    const std::runtime_error runtime("sensor lost.");
    EXPECT_EQ(ExceptionMessageText(&runtime), "sensor lost.");
}

TEST(ExceptionTexts, OtherObjectsHaveNoMessage)
{
    const rtl::TObject object;
    EXPECT_EQ(ExceptionMessageText(&object), "Unknown error message.");
    EXPECT_EQ(ExceptionMessageText(nullptr), "Unknown error message.");
    int notAnObject = 0;
    EXPECT_EQ(ExceptionMessageText(&notAnObject), "Unknown error message.");
}

TEST(ExceptionTexts, AccessViolationsAreRebuiltFromTheSystemRecord)
{
    const void* inside = reinterpret_cast<const void*>(&CodeOfThisProgram);
    const void* outside = reinterpret_cast<const void*>(0x00000008);  // never committed
    char inside8[9];
    wsprintfA(inside8, "%08X", static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(inside)));
    const std::string own = OwnFileName();
    static constexpr struct {
        bool inModule;
        ULONG_PTR kind;
        ULONG_PTR accessed;
        const char* word;
    } kCases[] = {
        {true, 0, 0x00000010, "Read"},
        {true, 1, 0x7FFE0000, "Write"},
        {false, 0, 0x00000010, "Read"},
        {false, 1, 0x00000000, "Write"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(std::string(c.word) + (c.inModule ? " inside" : " outside"));
        const EXCEPTION_RECORD record = ViolationRecord(c.inModule ? inside : outside, c.kind, c.accessed);
        const rtl::EAccessViolation violation(record);
        char accessed[9];
        wsprintfA(accessed, "%08X", static_cast<unsigned>(c.accessed));
        const std::string expected =
            c.inModule
                ? "Access violation at address " + std::string(inside8) + " in module '" + own + "'. " + c.word +
                      " of address " + accessed + "."
                : "Access violation at address 00000008. " + std::string(c.word) + " of address " + accessed + ".";
        EXPECT_EQ(ExceptionMessageText(&violation), expected);
        EXPECT_EQ(ExceptionClassText(&violation), "EAccessViolation");
    }

    // The record the pipeline copied wins over the object's own copy.
    const rtl::EAccessViolation violation(ViolationRecord(outside, 0, 0x10));
    const EXCEPTION_RECORD copied = ViolationRecord(inside, 1, 0x20);
    EXPECT_EQ(ExceptionMessageText(&violation, &copied), "Access violation at address " + std::string(inside8) +
                                                             " in module '" + own + "'. Write of address 00000020.");
    // An unreadable one does not.
    EXPECT_EQ(ExceptionMessageText(&violation, reinterpret_cast<const EXCEPTION_RECORD*>(0x10)),
              "Access violation at address 00000008. Read of address 00000010.");
}

}  // namespace
}  // namespace crash

namespace crash {
namespace {

TEST(ExceptionTexts, ReportStepsGiveTheCollectorsTexts)
{
    RegisterHeaderCollectorSteps();
    const rtl::Exception error("Pump stopped");
    TReportContext context;
    context.ExceptionObject = const_cast<rtl::Exception*>(&error);
    context.ExceptionAddress = reinterpret_cast<void*>(&CodeOfThisProgram);
    EXPECT_EQ(ReportSteps.ExceptionMessageText(context), "Pump stopped.");
    EXPECT_EQ(ReportSteps.ExceptionClassText(context), "Exception");
    EXPECT_EQ(ReportSteps.CleanMessageText("a\x01"
                                           "b"),
              "a b");
    EXPECT_EQ(ReportSteps.ExceptionModuleText(context), OwnFileName());
    EXPECT_EQ(ReportSteps.ApplicationNameText(context), OwnFileName());
    EXPECT_EQ(ExceptionAddressText(context), ExceptionAddressText(context.ExceptionAddress));
    // A standard library exception reaches the report as a stand-in
    // Exception with its what(), its type's name in the context.
    const rtl::Exception standIn("basic_string::at: __n (which is 3) >= this->size() (which is 0)");
    context.ExceptionObject = const_cast<rtl::Exception*>(&standIn);
    context.ExceptionClassName = "out_of_range";
    EXPECT_EQ(ReportSteps.ExceptionClassText(context), "out_of_range");
    EXPECT_EQ(CurrentExceptionClass(), "out_of_range");
    EXPECT_EQ(ReportSteps.ExceptionMessageText(context),
              "basic_string::at: __n (which is 3) >= this->size() (which is 0).");
    const rtl::Exception intStandIn("");
    context.ExceptionObject = const_cast<rtl::Exception*>(&intStandIn);
    context.ExceptionClassName = "int";  // throw 42
    EXPECT_EQ(ReportSteps.ExceptionClassText(context), "int");
    EXPECT_EQ(ReportSteps.ExceptionMessageText(context), "Unknown error message.");
    context.ExceptionClassName = "Exception";  // the object's own class
    EXPECT_EQ(ReportSteps.ExceptionMessageText(context), ".");
    EXPECT_EQ(ReportSteps.ExceptionClassText(context), "Exception");
    const TActiveXException activeX("EOleSysError", "failed");
    context.ExceptionObject = const_cast<TActiveXException*>(&activeX);
    context.ExceptionClassName = "TActiveXException";
    EXPECT_EQ(ReportSteps.ExceptionClassText(context), "EOleSysError");
    context.ActiveControlText = "line one\r\nline two";
    EXPECT_EQ(ActiveControlText(context), "line one line two");
}

TEST(ExceptionTexts, ModuleOfTheFirstStackItemForCOMCalls)
{
    TVexlorModuleInfo module;
    module.Name = GetModuleFullFileName(GetModuleHandleW(L"kernel32.dll"));
    TVexlorStackList stack;
    TVexlorDebugInfo item;
    item.ModuleInfo = &module;
    stack.AddFrom(item);
    const void* here = reinterpret_cast<const void*>(&CodeOfThisProgram);
    EXPECT_EQ(ExceptionModuleFileName(here, true, &stack), module.Name);
    EXPECT_EQ(ExceptionModuleFileName(here, true, nullptr), "");
    EXPECT_EQ(ExceptionModuleFileName(here, false, &stack), rtl::ModuleFileNameAnsi(nullptr));
}

}  // namespace
}  // namespace crash
