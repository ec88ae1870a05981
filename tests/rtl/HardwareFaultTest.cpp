// Hardware faults of our own code become C++ throws; others go to the filter.
#include <windows.h>

#include <zlib.h>

#include <cstdio>
#include <exception>

#include <gtest/gtest.h>

#include "ExceptTestSupport.h"
#include "rtl/Classes.h"
#include "rtl/SysUtils.h"

// A function whose very first instruction faults (a read of address 0), with
// unwind data as the compiler would write it.
extern "C" int rtl_test_fault_at_entry();
asm(R"(
    .text
    .globl _rtl_test_fault_at_entry
    .def _rtl_test_fault_at_entry; .scl 2; .type 32; .endef
_rtl_test_fault_at_entry:
    .cfi_startproc
    movl 0, %eax
    ret
    .cfi_endproc
)");

// Functions the compiler gives a section of their own (.text$name, merged
// across objects by the linker): they need external linkage, so they stay out
// of the unnamed namespace.
namespace hardwarefaulttest {

volatile int gDestroyed = 0;
int* volatile gNowhere = nullptr;

struct Guard {
    ~Guard() { gDestroyed = gDestroyed + 1; }
};

struct Holder {
    int* Pointer;
    // Defined in its class, hence inline.
    __attribute__((noipa)) int Read() const
    {
        Guard guard;
        return *Pointer;
    }
};

inline __attribute__((noipa)) int InlineRead(int* pointer)
{
    Guard guard;
    return *pointer;
}

template <class T>
__attribute__((noipa)) T TemplateRead(T* pointer)
{
    Guard guard;
    return *pointer;
}

}  // namespace hardwarefaulttest

namespace {

using excepttest::EnclosingFunction;
using excepttest::RaiseRecorder;

volatile int gZero = 0;
volatile int gDestroyed = 0;
int* volatile gNull = nullptr;

struct Guard {
    ~Guard() { gDestroyed = gDestroyed + 1; }
};

__attribute__((noinline)) int ReadNull()
{
    Guard guard;
    return *gNull;
}

__attribute__((noinline)) int WriteNull()
{
    Guard guard;
    gNull[4] = 1;
    return 0;
}

__attribute__((noinline)) int DivideByZero()
{
    Guard guard;
    return 100 / gZero;
}

__attribute__((noinline)) int FaultAtEntry()
{
    Guard guard;
    return rtl_test_fault_at_entry();
}

TEST(HardwareFault, OurFaultsAreCaughtAsExceptionsWithDestructorsRun)
{
    static const struct {
        const char* name;
        int (*fault)();
        const char* className;
        const void* faultIn;  // null: the faulting function is `fault` itself
    } kCases[] = {
        {"read of address 0", ReadNull, "EAccessViolation", nullptr},
        {"write near address 0", WriteNull, "EAccessViolation", nullptr},
        {"division by zero", DivideByZero, "EDivByZero", nullptr},
        {"fault at a function's first instruction", FaultAtEntry, "EAccessViolation",
         reinterpret_cast<const void*>(&rtl_test_fault_at_entry)},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        RaiseRecorder recorder;
        const int destroyedBefore = gDestroyed;
        std::string caught;
        void* raiseAddress = nullptr;
        try {
            c.fault();
        } catch (const rtl::EExternal& e) {
            caught = e.ClassName();
            raiseAddress = e.RaiseAddress();
            EXPECT_EQ(e.ExceptionRecord().ExceptionAddress, raiseAddress);
        }
        EXPECT_EQ(caught, c.className);
        EXPECT_EQ(gDestroyed, destroyedBefore + 1);
        const void* faultIn = c.faultIn ? c.faultIn : reinterpret_cast<const void*>(c.fault);
        if (c.faultIn != nullptr)
            EXPECT_EQ(raiseAddress, faultIn);
        else
            EXPECT_EQ(EnclosingFunction(static_cast<char*>(raiseAddress) + 1), faultIn);
        ASSERT_EQ(recorder->Count, 1);
        EXPECT_EQ(recorder->Raises[0].Kind, rtl::TRaiseKind::rkFault);
        EXPECT_EQ(recorder->Raises[0].Address, raiseAddress);
    }
}

TEST(HardwareFault, InlineTemplateAndInClassFunctionsAreOurCodeToo)
{
    namespace h = hardwarefaulttest;
    static constexpr struct {
        const char* name;
        int (*fault)();
    } kCases[] = {
        {"member function defined in its class", [] { return h::Holder{h::gNowhere}.Read(); }},
        {"inline function", [] { return h::InlineRead(h::gNowhere); }},
        {"template function", [] { return h::TemplateRead<int>(h::gNowhere); }},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        const int destroyedBefore = h::gDestroyed;
        std::string caught;
        try {
            c.fault();
        } catch (const rtl::EAccessViolation& e) {
            caught = e.ClassName();
            EXPECT_TRUE(rtl::IsOwnCode(e.RaiseAddress()));
        }
        EXPECT_EQ(caught, "EAccessViolation");
        EXPECT_EQ(h::gDestroyed, destroyedBefore + 1);
    }
}

TEST(HardwareFault, OwnCodeIsTheBuildsObjectsOnly)
{
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const struct {
        const char* name;
        const void* code;
        bool own;
    } kCases[] = {
        {"a function of this test", reinterpret_cast<const void*>(&ReadNull), true},
        {"a function of librtl", reinterpret_cast<const void*>(&rtl::MapSystemException), true},
        {"an inline function", reinterpret_cast<const void*>(&hardwarefaulttest::InlineRead), true},
        {"a template instance", reinterpret_cast<const void*>(&hardwarefaulttest::TemplateRead<int>), true},
        {"the C++ runtime", reinterpret_cast<const void*>(&std::terminate), false},
        {"zlib", reinterpret_cast<const void*>(&inflate), false},
        {"GoogleTest", reinterpret_cast<const void*>(&testing::UnitTest::GetInstance), false},
        {"a system DLL", reinterpret_cast<const void*>(GetProcAddress(kernel, "GetTickCount")), false},
        {"no code", nullptr, false},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(rtl::IsOwnCode(c.code), c.own) << c.code;
    }
}

TEST(HardwareFault, AccessViolationTellsReadFromWriteAndTheAddress)
{
    try {
        WriteNull();
        FAIL() << "no fault";
    } catch (const rtl::EAccessViolation& e) {
        EXPECT_EQ(e.Access(), rtl::EAccessViolation::TAccess::acWrite);
        EXPECT_EQ(e.AccessAddress(), reinterpret_cast<const void*>(4 * sizeof(int)));
        EXPECT_NE(e.Message().find("Write of address 00000010"), std::string::npos) << e.Message();
    }
    try {
        ReadNull();
        FAIL() << "no fault";
    } catch (const rtl::EAccessViolation& e) {
        EXPECT_EQ(e.Access(), rtl::EAccessViolation::TAccess::acRead);
        EXPECT_EQ(e.AccessAddress(), nullptr);
    }
}

TEST(HardwareFault, InAWorkerThreadToo)
{
    struct Worker : rtl::TThread {
        void Execute() override
        {
            try {
                DivideByZero();
            } catch (const rtl::EDivByZero&) {
                FCaught = true;
            }
        }
        bool FCaught = false;
    } worker;
    worker.Start();
    worker.WaitFor();
    EXPECT_TRUE(worker.FCaught);
    EXPECT_FALSE(worker.FatalException());
}

TEST(HardwareFault, TheObjectHookMapsTheFault)
{
    excepttest::ScopedHook<rtl::TExceptObjProc> hook(
        rtl::ExceptObjProc, [](const EXCEPTION_RECORD& record, const CONTEXT&) noexcept {
            return std::make_exception_ptr(
                rtl::EConvertError(record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION ? "mapped" : "other"));
        });
    try {
        ReadNull();
        FAIL() << "no fault";
    } catch (const rtl::EConvertError& e) {
        EXPECT_EQ(e.Message(), "mapped");
    }
}

TEST(HardwareFault, ThreadNamingPassesUntouched)
{
    static int seen;
    seen = 0;
    PVOID handler = AddVectoredExceptionHandler(0, [](EXCEPTION_POINTERS* pointers) WINAPI -> LONG {
        if (pointers->ExceptionRecord->ExceptionCode != 0x406D1388) return EXCEPTION_CONTINUE_SEARCH;
        ++seen;
        return EXCEPTION_CONTINUE_EXECUTION;
    });
    RaiseRecorder recorder;
    const ULONG_PTR naming[4] = {0x1000, reinterpret_cast<ULONG_PTR>("worker"), static_cast<ULONG_PTR>(-1), 0};
    RaiseException(0x406D1388, 0, 4, naming);
    RemoveVectoredExceptionHandler(handler);
    EXPECT_EQ(seen, 1);
    EXPECT_EQ(recorder->Count, 0);
}

TEST(HardwareFault, UnhandledOnesReachTheTopLevelFilter)
{
    // The child's filter hook writes the code and lets the process end with it.
    static constexpr struct {
        const char* mode;
        DWORD code;
    } kCases[] = {
        // Ours, but no frame would catch it: the original fault goes on.
        {"fault", EXCEPTION_ACCESS_VIOLATION},
        // Inside a system DLL: never a C++ throw, the catch around it is passed.
        {"fault-sysdll", EXCEPTION_ACCESS_VIOLATION},
        // Inside zlib, linked into the program but not built with our flags.
        {"fault-zlib", EXCEPTION_ACCESS_VIOLATION},
        // Inside a hook: not thrown, the catch around the throw is passed.
        {"fault-in-hook", EXCEPTION_ACCESS_VIOLATION},
        // No stack left to throw on, even with a catch around it.
        {"stack-overflow", EXCEPTION_STACK_OVERFLOW},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.mode);
        const excepttest::ChildRun run = excepttest::RunChild(c.mode);
        ASSERT_TRUE(run.Finished);
        EXPECT_EQ(run.ExitCode, c.code);
        char expected[32];
        std::snprintf(expected, sizeof expected, "filter %08lX\n", static_cast<unsigned long>(c.code));
        EXPECT_EQ(run.Output, expected);
    }
}

}  // namespace
