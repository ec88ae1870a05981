// Instruction lengths and routine sizes.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <initializer_list>
#include <vector>

#include "crash/engine/EHook.h"

namespace {

using crash::GetAsmSize;
using crash::GetFunctionSize;

struct TLengthCase {
    const char* what;
    std::initializer_list<std::uint8_t> bytes;
    bool decoded;
    int size;
};

// bytes are padded with zeros, so that every case can be read 32 bytes deep.
std::vector<std::uint8_t> Padded(std::initializer_list<std::uint8_t> bytes)
{
    std::vector<std::uint8_t> code(bytes);
    code.resize(32, 0);
    return code;
}

TEST(GetAsmSize, MeasuresPrefixesModRMAndImmediates)
{
    static const TLengthCase kCases[] = {
        {"mov ax, imm16", {0x66, 0xB8, 0x34, 0x12}, true, 4},
        {"mov eax, imm32", {0xB8, 1, 2, 3, 4}, true, 5},
        {"mov eax, [esp+8]", {0x8B, 0x44, 0x24, 0x08}, true, 4},
        {"jz rel32", {0x0F, 0x84, 1, 2, 3, 4}, true, 6},
        {"ud2 is not decoded", {0x0F, 0x0B}, false, 1},
        {"mov eax, [ebp+8]", {0x8B, 0x45, 0x08}, true, 3},
        {"SIB with a 32-bit base", {0x8B, 0x04, 0x8D, 0, 0x10, 0x40, 0}, true, 7},
        {"SIB with disp32", {0x8B, 0x84, 0x24, 0, 1, 0, 0}, true, 7},
        {"disp32 without SIB", {0x8B, 0x80, 0, 1, 0, 0}, true, 6},
        {"direct address", {0x8B, 0x05, 0, 0x10, 0x40, 0}, true, 6},
        {"register form", {0x8B, 0xC1}, true, 2},
        {"16-bit address, mod 1", {0x67, 0x8B, 0x46, 0x08}, true, 4},
        {"16-bit address, mod 2", {0x67, 0x8B, 0x86, 0x34, 0x12}, true, 5},
        {"16-bit direct address", {0x67, 0x8B, 0x06, 0x34, 0x12}, true, 5},
        {"16-bit address has no SIB", {0x67, 0x8B, 0x04}, true, 3},
        {"add esp, imm32", {0x81, 0xC4, 0, 1, 0, 0}, true, 6},
        {"add sp, imm16", {0x66, 0x81, 0xC4, 0, 1}, true, 5},
        {"sub esp, imm8", {0x83, 0xEC, 0x10}, true, 3},
        {"test cl, imm8", {0xF6, 0xC1, 0x01}, true, 3},
        {"neg al: no immediate", {0xF6, 0xD8}, true, 2},
        {"test ecx, imm32", {0xF7, 0xC1, 1, 2, 3, 4}, true, 6},
        {"test cx, imm16", {0x66, 0xF7, 0xC1, 1, 2}, true, 5},
        {"neg eax: no immediate", {0xF7, 0xD8}, true, 2},
        {"imul r, r/m, imm32", {0x69, 0xC0, 1, 2, 3, 4}, true, 6},
        {"imul r, r/m, imm8", {0x6B, 0xC0, 0x05}, true, 3},
        {"mov [ebp-8], imm32", {0xC7, 0x45, 0xF8, 1, 0, 0, 0}, true, 7},
        {"mov byte [ebp-8], imm8", {0xC6, 0x45, 0xF8, 1}, true, 4},
        {"ret imm16", {0xC2, 0x08, 0x00}, true, 3},
        {"enter", {0xC8, 0x10, 0x00, 0x00}, true, 4},
        {"call far", {0x9A, 1, 2, 3, 4, 5, 6}, true, 7},
        {"call far, 16-bit", {0x66, 0x9A, 1, 2, 3, 4}, true, 6},
        {"mov eax, moffs32", {0xA1, 0, 0x10, 0x40, 0}, true, 5},
        {"mov eax, moffs16", {0x67, 0xA1, 0x34, 0x12}, true, 4},
        {"bt eax, imm8", {0x0F, 0xBA, 0xE0, 0x05}, true, 4},
        {"movzx eax, byte [ebp+8]", {0x0F, 0xB6, 0x45, 0x08}, true, 4},
        {"pshufw with imm8", {0x0F, 0x70, 0xC1, 0x05}, true, 4},
        {"bswap", {0x0F, 0xC8}, true, 2},
        {"mov from cr0 has no displacement", {0x0F, 0x20, 0x05}, true, 3},
        {"rep movsd", {0xF3, 0xA5}, true, 2},
        {"lock cmpxchg", {0xF0, 0x0F, 0xB1, 0x0A}, true, 4},
        {"mov eax, fs:[0]", {0x64, 0xA1, 0, 0, 0, 0}, true, 6},
        {"fldz", {0xD9, 0xEE}, true, 2},
        {"fstp qword [esp]", {0xDD, 0x1C, 0x24}, true, 3},
        {"call rel32", {0xE8, 1, 2, 3, 4}, true, 5},
        {"jmp rel8", {0xEB, 0x05}, true, 2},
        {"jecxz", {0xE3, 0x05}, true, 2},
        {"0F 38 escape is not decoded", {0x0F, 0x38, 0x00, 0xC1}, false, 1},
        {"a segment prefix alone", {0x26, 0x90}, true, 2},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        const auto code = Padded(c.bytes);
        std::uint8_t size = 0xEE;
        EXPECT_EQ(GetAsmSize(code.data(), size), c.decoded);
        EXPECT_EQ(size, c.size);
    }
}

TEST(GetAsmSize, EndlessPrefixRunIsNotCode)
{
    // Prefixes repeat without end: the decoder gives up instead of reading on.
    std::vector<std::uint8_t> code(64, 0x66);
    std::uint8_t size = 0;
    EXPECT_FALSE(GetAsmSize(code.data(), size));
    EXPECT_EQ(size, 1);
}

// Code placed in a page of its own, followed by a page that cannot be read.
class CodePage : public ::testing::Test {
protected:
    void SetUp() override
    {
        FBase = static_cast<std::uint8_t*>(::VirtualAlloc(nullptr, 2 * kPage, MEM_RESERVE, PAGE_NOACCESS));
        ASSERT_NE(FBase, nullptr);
        ASSERT_NE(::VirtualAlloc(FBase, kPage, MEM_COMMIT, PAGE_EXECUTE_READWRITE), nullptr);
        std::memset(FBase, 0x90, kPage);
    }
    void TearDown() override { ::VirtualFree(FBase, 0, MEM_RELEASE); }
    // Puts the bytes so that they end where the readable page ends.
    std::uint8_t* AtPageEnd(std::initializer_list<std::uint8_t> bytes)
    {
        std::uint8_t* at = FBase + kPage - bytes.size();
        std::memcpy(at, bytes.begin(), bytes.size());
        return at;
    }
    static constexpr std::size_t kPage = 4096;
    std::uint8_t* FBase = nullptr;
};

TEST_F(CodePage, FunctionSizeStopsAtTheFirstReturnOnly)
{
    // push ebp; mov ebp, esp; mov [ebp-4], 1; les eax, [eax]; lds eax, [eax];
    // enter 0, 0; leave; ret 4 -- only the last is a return.
    static constexpr std::uint8_t kRoutine[] = {0x55, 0x89, 0xE5, 0xC7, 0x45, 0xFC, 1,    0,    0,    0,    0xC4, 0x00,
                                                0xC5, 0x00, 0xC8, 0x00, 0x00, 0x00, 0xC9, 0xC2, 0x04, 0x00, 0xCC, 0xCC};
    std::memcpy(FBase, kRoutine, sizeof kRoutine);
    EXPECT_EQ(GetFunctionSize(FBase, 100), 22u);
    EXPECT_EQ(GetFunctionSize(FBase, 22), 22u);
    EXPECT_EQ(GetFunctionSize(FBase, 21), 1u) << "the return must end within the maximum";
    EXPECT_EQ(GetFunctionSize(FBase, 0), 0u);
}

TEST_F(CodePage, FunctionSizeOfEachReturnKind)
{
    static constexpr struct {
        std::uint8_t bytes[4];
        std::size_t size;
    } kCases[] = {
        {{0x90, 0xC3}, 2},
        {{0x90, 0xCB}, 2},
        {{0x90, 0xC2, 8, 0}, 4},
        {{0x90, 0xCA, 8, 0}, 4},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.size);
        std::memcpy(FBase, c.bytes, sizeof c.bytes);
        EXPECT_EQ(GetFunctionSize(FBase, 16), c.size);
    }
}

TEST_F(CodePage, FunctionSizeDoesNotReadPastReadableMemory)
{
    // No return before the page ends: the answer is 1, and nothing faults.
    std::uint8_t* start = AtPageEnd({0x90, 0x90, 0x90, 0x90});
    EXPECT_EQ(GetFunctionSize(start, 4096), 1u);
    // An instruction cut by the end of the page is not read either.
    start = AtPageEnd({0x90, 0xB8, 0x01, 0x02});
    EXPECT_EQ(GetFunctionSize(start, 4096), 1u);
    start = AtPageEnd({0x90, 0x90, 0xC3});
    EXPECT_EQ(GetFunctionSize(start, 4096), 3u);
    EXPECT_EQ(GetFunctionSize(FBase + kPage, 16), 1u) << "unreadable start";
}

}  // namespace
