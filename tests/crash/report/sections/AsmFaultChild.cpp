// Faults at a known instruction of its own and writes what the report's
// assembler listing and CPU block make of the fault, for a comparison with
// objdump on the Linux side.
//
// usage: AsmFaultChild.exe write|null RESULT-FILE
//   write: loads EAX, EBX, ECX, EDX, ESI and EDI with known values and writes
//          to address 0 at the instruction whose address AsmFaultAddress holds;
//   null:  calls through a null function pointer.
// The result file holds "BASE=", "FAULT=" (that instruction) and
// "EXCEPTION=" lines (8 hexadecimal digits each), then the header text, the
// listing and the CPU block, each after a marker line "--HEADER--",
// "--LISTING--", "--CPU--".
#include <windows.h>

#include <cstdio>
#include <string>

#include "crash/engine/EDebugData.h"
#include "crash/engine/ExceptionLog.h"
#include "crash/report/sections/ReportSections.h"
#include "rtl/Startup.h"

// The address of the faulting instruction, kept in data: a code label would
// be taken for a procedure of its own and start a heading of its own.
extern "C" const std::uintptr_t AsmFaultAddress;

namespace {

std::wstring gResultFile;
std::unique_ptr<crash::TVexlorModuleOptions> gOptions;

std::string Hex8(std::uintptr_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
    return text;
}

LONG CALLBACK ReportFault(EXCEPTION_POINTERS* pointers)
{
    if (pointers->ExceptionRecord->ExceptionCode != EXCEPTION_ACCESS_VIOLATION) return EXCEPTION_CONTINUE_SEARCH;
    const auto address = reinterpret_cast<std::uintptr_t>(pointers->ExceptionRecord->ExceptionAddress);
    CONTEXT* context = pointers->ContextRecord;
    std::string header;
    const std::string listing = crash::BuildAssemblerListing(address, *gOptions, header);
    const std::string cpu = crash::BuildCPUText(context, context->Esp, address, *gOptions);
    const std::string text = "BASE=" + Hex8(reinterpret_cast<std::uintptr_t>(::GetModuleHandleW(nullptr))) +
                             "\r\nFAULT=" + Hex8(AsmFaultAddress) + "\r\nEXCEPTION=" + Hex8(address) +
                             "\r\n--HEADER--\r\n" + header + "\r\n--LISTING--\r\n" + listing + "--CPU--\r\n" + cpu;
    HANDLE file = ::CreateFileW(gResultFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        ::CloseHandle(file);
    }
    ::ExitProcess(0);
}

__attribute__((noinline)) void FaultWithKnownRegisters()
{
    asm volatile("movl $0x11111111, %%eax\n\t"
                 "movl $0x22222222, %%ebx\n\t"
                 "movl $0x33333333, %%ecx\n\t"
                 "movl $0x44444444, %%edx\n\t"
                 "movl $0x55555555, %%esi\n\t"
                 "movl $0x66666666, %%edi\n\t"
                 ".data\n"
                 ".globl _AsmFaultAddress\n"
                 "_AsmFaultAddress: .long 1f\n"
                 ".text\n"
                 "1: movl %%eax, 0\n\t"
                 "nop\n\t"
                 "nop\n\t" ::
                     : "eax", "ebx", "ecx", "edx", "esi", "edi", "memory");
}

__attribute__((noinline)) void CallThroughNull()
{
    void (*volatile function)() = nullptr;
    function();
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const rtl::TProgramStartup programStartup;
    if (argc < 3) return 2;
    const std::wstring mode = argv[1];
    gResultFile = argv[2];
    crash::CreateModuleLists();
    crash::InstallModuleDataReader();
    gOptions = crash::TVexlorModuleOptions::Create("");
    ::AddVectoredExceptionHandler(1, ReportFault);
    if (mode == L"write")
        FaultWithKnownRegisters();
    else if (mode == L"null")
        CallThroughNull();
    return 3;
}
