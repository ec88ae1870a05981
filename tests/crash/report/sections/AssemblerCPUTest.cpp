// The assembler listing and the CPU block on code and stack made here: how
// many instructions are listed around the exception, where the listing stops,
// string previews and the comment column, unreadable memory; the CPU block's
// text with and without registers and readable memory.
#include <gtest/gtest.h>

#include <algorithm>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "crash/report/sections/ReportSections.h"
#include "rtl/SyncObjs.h"
#include "tests/support/ModuleRecords.h"

using namespace crash;

namespace {

std::string Hex8(std::uintptr_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
    return text;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find("\r\n", at);
        if (end == std::string::npos) {
            lines.push_back(text.substr(at));
            break;
        }
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

// A page of code at the start of an allocation of its own, so that the
// bytes below it cannot be read.
class TCodePage {
public:
    explicit TCodePage(const std::vector<std::uint8_t>& code)
    {
        FBase = static_cast<std::uint8_t*>(::VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        std::memset(FBase, 0x90, 4096);
        std::memcpy(FBase, code.data(), code.size());
        DWORD old = 0;
        ::VirtualProtect(FBase, 4096, PAGE_EXECUTE_READ, &old);
    }
    ~TCodePage() { ::VirtualFree(FBase, 0, MEM_RELEASE); }
    TCodePage(const TCodePage&) = delete;
    TCodePage& operator=(const TCodePage&) = delete;
    // code that depends on where the page lies.
    void Write(const std::vector<std::uint8_t>& code)
    {
        DWORD old = 0;
        ::VirtualProtect(FBase, 4096, PAGE_READWRITE, &old);
        std::memcpy(FBase, code.data(), code.size());
        ::VirtualProtect(FBase, 4096, PAGE_EXECUTE_READ, &old);
    }
    std::uintptr_t At(std::size_t offset) const { return reinterpret_cast<std::uintptr_t>(FBase) + offset; }

private:
    std::uint8_t* FBase;
};

const char kPreviewText[] = "Hi\r\n";

rtl::TCriticalSection gReferencedObject;

}  // namespace

// A procedure of this program that the listing's call names.
__attribute__((noinline)) int ListingCallTarget(int value)
{
    asm volatile("" ::: "memory");
    return value + 1;
}

TEST(AssemblerListing, TenBeforeThePreviewAndTheStopAtAReturn)
{
    const auto options = TVexlorModuleOptions::Create("");
    const auto text = reinterpret_cast<std::uintptr_t>(kPreviewText);
    // 12 NOPs, MOV EAX,imm32 (the exception), LEAVE and MOV BYTE PTR [EAX],1
    // (C9 and C6 lie in C2..CB but are no returns), RET, then NOPs again.
    std::vector<std::uint8_t> code(12, 0x90);
    code.push_back(0xB8);
    for (int i = 0; i < 4; ++i) code.push_back(static_cast<std::uint8_t>(text >> (8 * i)));
    code.insert(code.end(), {0xC9, 0xC6, 0x00, 0x01, 0xC3});
    const TCodePage page(code);

    std::string header;
    const std::string listing = BuildAssemblerListing(page.At(12), *options, header);
    const std::vector<std::string> lines = Lines(listing);
    ASSERT_EQ(lines.size(), 14u) << listing;  // 10, the exception, 3
    EXPECT_EQ(listing.substr(listing.size() - 2), "\r\n");
    for (int i = 0; i < 10; ++i) EXPECT_EQ(lines[i].substr(0, 10), Hex8(page.At(2 + i)) + "  ") << lines[i];
    EXPECT_EQ(lines[10].substr(0, 10), Hex8(page.At(12)) + "  ");
    EXPECT_EQ(lines[11].substr(0, 8), Hex8(page.At(17)));
    EXPECT_EQ(lines[12].substr(0, 8), Hex8(page.At(18)));
    EXPECT_EQ(lines[13].substr(0, 8), Hex8(page.At(21)));  // the return, last
    const std::string& fault = lines[10];
    EXPECT_NE(fault.find("; 'Hi..' <-- EXCEPTION"), std::string::npos) << fault;
    EXPECT_EQ(listing.find("EXCEPTION"), listing.rfind("EXCEPTION"));

    // The comment stands two blanks after the longest instruction part.
    std::size_t longest = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string part = lines[i].substr(0, lines[i].find(';'));
        while (!part.empty() && part.back() == ' ') part.pop_back();
        longest = std::max(longest, part.size());
    }
    EXPECT_EQ(fault.find(';'), longest + 2) << fault;

    std::size_t widest = 0;
    for (const std::string& line : lines) widest = std::max(widest, line.size());
    EXPECT_EQ(header, "Assembler Information:\r\n" + std::string(widest, '-'));
}

namespace {

// Immediates that point at text and at bytes that only happen to be readable.
const char kShortText[] = "abc";
const char kTankText[] = "Tank level";
const char kLongText[] = "0123456789012345678901234567890123456789";
const char kControlText[] = "ab\001cd";
// Filled with letters: no zero within reach.
char gUnterminated[300];
const char kCyrillicText[] = "\xD3\xF0\xEE\xE2\xE5\xED\xFC";  // 1251 letters

}  // namespace

TEST(AssemblerListing, StringPreviewOnlyForRealText)
{
    const auto options = TVexlorModuleOptions::Create("");
    std::memset(gUnterminated, 'y', sizeof gUnterminated);
    static const struct {
        const void* address;
        const char* comment;  // null: no preview
    } kCases[] = {
        {kPreviewText, "; 'Hi..' <-- EXCEPTION"},
        {kTankText, "; 'Tank level' <-- EXCEPTION"},
        {kLongText, "; '01234567890123456789012345678901'... <-- EXCEPTION"},
        {kCyrillicText, "; '\xD3\xF0\xEE\xE2\xE5\xED\xFC' <-- EXCEPTION"},
        {kShortText, nullptr},  // shorter than a text
        {kControlText, nullptr},
        {gUnterminated, nullptr},
        {reinterpret_cast<const void*>(0x10), nullptr},  // unreadable
        {&gReferencedObject, nullptr},                   // an object: binary data
    };
    for (const auto& c : kCases) {
        const auto value = reinterpret_cast<std::uintptr_t>(c.address);
        SCOPED_TRACE(Hex8(value));
        std::vector<std::uint8_t> code = {0xB8};
        for (int i = 0; i < 4; ++i) code.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
        code.push_back(0xC3);
        const TCodePage page(code);
        std::string header;
        const std::vector<std::string> lines = Lines(BuildAssemblerListing(page.At(0), *options, header));
        const auto at = std::find_if(lines.begin(), lines.end(),
                                     [](const std::string& l) { return l.find("<-- EXCEPTION") != std::string::npos; });
        ASSERT_NE(at, lines.end()) << header;
        const std::string& line = *at;
        const std::string expected = c.comment ? c.comment : "; <-- EXCEPTION";
        ASSERT_NE(line.find(';'), std::string::npos) << line;
        EXPECT_EQ(line.substr(line.find(';')), expected) << line;
    }
}

TEST(AssemblerListing, AtMostTenAfterAndTheWindowAtAnAllocationStart)
{
    const auto options = TVexlorModuleOptions::Create("");
    const TCodePage page(std::vector<std::uint8_t>(64, 0x90));
    std::string header;
    const std::vector<std::string> lines = Lines(BuildAssemblerListing(page.At(3), *options, header));
    // Three before (nothing below the page), the exception, ten after.
    ASSERT_EQ(lines.size(), 14u);
    EXPECT_EQ(lines[0].substr(0, 8), Hex8(page.At(0)));
    EXPECT_NE(lines[3].find("<-- EXCEPTION"), std::string::npos);
    EXPECT_EQ(lines[13].substr(0, 8), Hex8(page.At(13)));
}

TEST(AssemblerListing, TargetsNamedAfterProceduresAndObjects)
{
    const auto options = TVexlorModuleOptions::Create("");
    // CALL ListingCallTarget (the exception), MOV EAX,[gReferencedObject], a
    // jump to itself (no name: the real address), RET.
    std::vector<std::uint8_t> code = {0xE8, 0, 0, 0, 0, 0x8B, 0x05, 0, 0, 0, 0, 0xEB, 0xFE, 0xC3};
    TCodePage page(code);
    const auto target = reinterpret_cast<std::uintptr_t>(&ListingCallTarget);
    const auto object = reinterpret_cast<std::uintptr_t>(&gReferencedObject);
    const std::uint32_t distance = static_cast<std::uint32_t>(target - (page.At(0) + 5));
    for (int i = 0; i < 4; ++i) {
        code[1 + i] = static_cast<std::uint8_t>(distance >> (8 * i));
        code[7 + i] = static_cast<std::uint8_t>(object >> (8 * i));
    }
    page.Write(code);
    std::string header;
    const std::vector<std::string> lines = Lines(BuildAssemblerListing(page.At(0), *options, header));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_NE(lines[0].find("call    AssemblerCPUTest.ListingCallTarget"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("[TCriticalSection]"), std::string::npos) << lines[1];
    EXPECT_EQ(lines[2], Hex8(page.At(11)) + "  jmp     $" + Hex8(page.At(11)));
}

TEST(AssemblerListing, UnreadableAddressGivesNothing)
{
    const auto options = TVexlorModuleOptions::Create("");
    std::string header = "stale";
    EXPECT_EQ(BuildAssemblerListing(0, *options, header), "");
    EXPECT_EQ(header, "");
    EXPECT_EQ(BuildAssemblerListing(0x10, *options, header), "");
    EXPECT_EQ(header, "");
}

TEST(CPUBlock, WithoutContextOrReadableMemory)
{
    const auto options = TVexlorModuleOptions::Create("");
    EXPECT_EQ(BuildCPUText(nullptr, 0, 0, *options),
              "Registers:\r\n"
              "-----------------------------\r\n"
              "EAX: ????       EDI: ????    \r\n"
              "EBX: ????       ESI: ????    \r\n"
              "ECX: ????       ESP: ????    \r\n"
              "EDX: ????       EIP: ????    \r\n"
              "\r\n"
              "Stack:               Memory Dump:\r\n"
              "------------------   ---------------------------------------------------------------------------\r\n");
}

TEST(CPUBlock, RegistersAndDumpInTheirColumns)
{
    const auto options = TVexlorModuleOptions::Create("");
    CONTEXT context{};
    context.Eax = 0x11111111;
    context.Edi = 0x66666666;
    context.Ebx = 0x22222222;
    context.Esi = 0x55555555;
    context.Ecx = 0x33333333;
    context.Esp = 0x0012FF00;
    context.Edx = 0x44444444;
    context.Eip = 0x00401ABC;
    std::uint32_t stack[16];
    for (int i = 0; i < 16; ++i) stack[i] = 0xA0000000u + static_cast<std::uint32_t>(i);
    std::uint8_t code[256];
    for (int i = 0; i < 256; ++i) code[i] = static_cast<std::uint8_t>(i);
    const auto stackAt = reinterpret_cast<std::uintptr_t>(stack);
    const auto codeAt = reinterpret_cast<std::uintptr_t>(code);

    const std::vector<std::string> lines = Lines(BuildCPUText(&context, stackAt, codeAt, *options));
    ASSERT_EQ(lines.size(), 9u + 16u);
    EXPECT_EQ(lines[2], "EAX: 11111111   EDI: 66666666");
    EXPECT_EQ(lines[3], "EBX: 22222222   ESI: 55555555");
    EXPECT_EQ(lines[4], "ECX: 33333333   ESP: 0012FF00");
    EXPECT_EQ(lines[5], "EDX: 44444444   EIP: 00401ABC");
    EXPECT_EQ(lines[9], Hex8(stackAt) + ": A0000000   " + Hex8(codeAt) +
                            ":  00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F ................");
    EXPECT_EQ(lines[11], Hex8(stackAt + 8) + ": A0000002   " + Hex8(codeAt + 32) +
                             ":  20 21 22 23 24 25 26 27 28 29 2A 2B 2C 2D 2E 2F  !\"#$%&'()*+,-./");
    EXPECT_EQ(lines[16], Hex8(stackAt + 28) + ": A0000007   " + Hex8(codeAt + 112) +
                             ":  70 71 72 73 74 75 76 77 78 79 7A 7B 7C 7D 7E 7F pqrstuvwxyz{|}~.");
    EXPECT_EQ(lines[24].substr(0, 10), Hex8(stackAt + 60) + ": ");
}
