// The disassembler's text, sizes and callbacks.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "crash/engine/EDisAsm.h"
#include "crash/engine/EHook.h"

namespace {

using crash::TDisAsm;

std::vector<std::uint8_t> Padded(std::initializer_list<std::uint8_t> bytes)
{
    std::vector<std::uint8_t> code(bytes);
    code.resize(32, 0);
    return code;
}

struct TTextCase {
    std::initializer_list<std::uint8_t> bytes;
    const char* text;
    int size;
};

TEST(GetInstruction, TextAndSize)
{
    static const TTextCase kCases[] = {
        // Plain forms and the padding of mnemonics to 8 characters.
        {{0xC3}, "ret", 1},
        {{0x90}, "nop", 1},
        {{0x50}, "push    eax", 1},
        {{0xC2, 0x08, 0x00}, "ret     $0008", 3},
        {{0x00, 0x00}, "add     byte ptr [eax], al", 2},
        {{0x05, 0x78, 0x56, 0x34, 0x12}, "add     eax, $12345678", 5},
        {{0x80, 0xC1, 0x05}, "add     cl, $05", 3},
        {{0x83, 0xEC, 0x10}, "sub     esp, $10", 3},
        {{0xF6, 0xC1, 0x01}, "test    cl, $01", 3},
        {{0xF7, 0xD8}, "neg     eax", 2},
        {{0xC1, 0xE0, 0x04}, "shl     eax, $04", 3},
        {{0xD1, 0xF8}, "sar     eax, 1", 2},
        {{0x99}, "cdq", 1},
        {{0xA5}, "movsd", 1},
        {{0x0F, 0xA2}, "cpuid", 2},
        {{0x0F, 0xAF, 0xC1}, "imul    eax, ecx", 3},
        {{0x0F, 0xC8}, "bswap   eax", 2},
        {{0x0F, 0xBA, 0xE0, 0x05}, "bt      eax, $05", 4},
        {{0x0F, 0xC7, 0x0E}, "cmpxchg8b qword ptr [esi]", 3},
        {{0x8C, 0xD8}, "mov     ax, ds", 2},
        {{0x0F, 0x20, 0xC0}, "mov     eax, C0", 3},
        {{0x0F, 0x22, 0x05}, "mov     C0, ebp", 3},
        {{0x0F, 0x6F, 0xC1}, "movq    MM0, MM1", 3},
        {{0x9A, 0x78, 0x56, 0x34, 0x12, 0x08, 0x00}, "call    $0008:$12345678", 7},
        {{0x66, 0xEA, 0x34, 0x12, 0x08, 0x00}, "jmp     $0008:$1234", 6},
        // Memory operands: displacements, SIB forms, direct addresses.
        {{0x8B, 0x45, 0x08}, "mov     eax, dword ptr [ebp+$08]", 3},
        {{0x8B, 0x45, 0xF8}, "mov     eax, dword ptr [ebp-$08]", 3},
        {{0x8B, 0x45, 0x80}, "mov     eax, dword ptr [ebp-$80]", 3},
        {{0x8B, 0x44, 0x24, 0x08}, "mov     eax, dword ptr [esp+$08]", 4},
        {{0x8B, 0x44, 0x8E, 0x04}, "mov     eax, dword ptr [esi+ecx*4+$04]", 4},
        {{0x8B, 0x04, 0x4B}, "mov     eax, dword ptr [ebx+ecx*2]", 3},
        {{0x8B, 0x04, 0x8D, 0x00, 0x10, 0x40, 0x00}, "mov     eax, dword ptr [$00401000+ecx*4]", 7},
        {{0x8B, 0x84, 0x24, 0x00, 0x01, 0x00, 0x00}, "mov     eax, dword ptr [esp+$00000100]", 7},
        {{0x8B, 0x05, 0x00, 0x10, 0x40, 0x00}, "mov     eax, dword ptr [$00401000]", 6},
        {{0xFF, 0x15, 0x00, 0x10, 0x40, 0x00}, "call    dword ptr [$00401000]", 6},
        {{0xFF, 0x75, 0x08}, "push    dword ptr [ebp+$08]", 3},
        {{0x8D, 0x45, 0xF8}, "lea     eax, [ebp-$08]", 3},
        {{0x0F, 0xB6, 0x45, 0x08}, "movzx   eax, [ebp+$08]", 4},
        {{0xDD, 0x45, 0x08}, "fld     qword ptr [ebp+$08]", 3},
        {{0xDB, 0x6D, 0x08}, "fld     tbyte ptr [ebp+$08]", 3},
        // Prefix chains: operand size, segments, address size, repeats.
        {{0x66, 0xB8, 0x34, 0x12}, "mov     ax, $1234", 4},
        {{0x66, 0x05, 0x34, 0x12}, "add     ax, $1234", 4},
        {{0x66, 0x50}, "push    ax", 2},
        {{0x66, 0x99}, "cwd", 2},
        {{0x66, 0xA5}, "movsw", 2},
        {{0x66, 0x0F, 0xB6, 0xC0}, "movzx   ax, al", 4},
        {{0x64, 0xA1, 0x00, 0x00, 0x00, 0x00}, "mov     eax, fs:[$00000000]", 6},
        {{0x64, 0x8B, 0x0D, 0x00, 0x00, 0x00, 0x00}, "mov     ecx, dword ptr fs:[$00000000]", 7},
        {{0x2E, 0x8B, 0x00}, "mov     eax, dword ptr cs:[eax]", 3},
        {{0x67, 0x8B, 0x46, 0x08}, "mov     eax, dword ptr [bp+$08]", 4},
        {{0x67, 0x8B, 0x86, 0x34, 0x12}, "mov     eax, dword ptr [bp+$1234]", 5},
        {{0x67, 0x8B, 0x06, 0x34, 0x12}, "mov     eax, dword ptr [$1234]", 5},
        {{0x67, 0x8B, 0x00}, "mov     eax, dword ptr [bx+si]", 3},
        {{0x67, 0xA1, 0x34, 0x12}, "mov     eax, [$1234]", 4},
        {{0xF3, 0xA5}, "rep     movsd", 2},
        {{0xF0, 0x0F, 0xB1, 0x0A}, "lock    cmpxchg dword ptr [edx], ecx", 4},
        // The coprocessor: memory forms by reg, register forms by ModRM.
        {{0xD9, 0xEE}, "fldz", 2},
        {{0xD8, 0xC1}, "fadd    st(0), st(1)", 2},
        {{0xDE, 0xC9}, "fmulp   st(1), st(0)", 2},
        {{0xDF, 0xE0}, "fnstsw  ax", 2},
        {{0xDD, 0x1C, 0x24}, "fstp    qword ptr [esp]", 3},
        {{0xD9, 0x7D, 0xFE}, "fnstcw  word ptr [ebp-$02]", 3},
        // Bytes that are no instruction.
        {{0x0F, 0x0B}, "DB      $0F, $0B  //", 2},
        {{0xD6}, "DB      $D6  //", 1},
        {{0x66, 0x0F, 0x0B}, "DB      $66, $0F, $0B  //", 3},
        {{0xFE, 0xF8}, "DB      $FE, $F8  //", 2},
    };
    TDisAsm disasm;
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.text);
        const auto code = Padded(c.bytes);
        int size = 0;
        EXPECT_EQ(disasm.GetInstruction(code.data(), size), c.text);
        EXPECT_EQ(size, c.size);
    }
}

TEST(GetInstruction, RelativeTargetsAreAbsolute)
{
    // call +0x10, jz +0x100 (rel32), jmp -2 (to itself)
    const auto call = Padded({0xE8, 0x10, 0x00, 0x00, 0x00});
    const auto jz = Padded({0x0F, 0x84, 0x00, 0x01, 0x00, 0x00});
    const auto self = Padded({0xEB, 0xFE});
    auto hex = [](const void* base, std::uint32_t offset) {
        char text[16];
        std::snprintf(text, sizeof text, "$%08X",
                      static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(base) + offset));
        return std::string(text);
    };
    TDisAsm disasm;
    int size = 0;
    EXPECT_EQ(disasm.GetInstruction(call.data(), size), "call    " + hex(call.data(), 0x15));
    EXPECT_EQ(size, 5);
    EXPECT_EQ(disasm.GetInstruction(jz.data(), size), "jz      " + hex(jz.data(), 0x106));
    EXPECT_EQ(size, 6);
    EXPECT_EQ(disasm.GetInstruction(self.data(), size), "jmp     " + hex(self.data(), 0));
    EXPECT_EQ(size, 2);
}

TEST(GetInstruction, CallbacksRenameOperands)
{
    struct TSeen {
        const void* callValue = nullptr;
        std::uint32_t callTarget = 0;
        std::uint32_t jumpTarget = 0;
        std::uint32_t addressRef = 0;
        crash::TdaRef ref;
        std::string refDisplacement;
        int refSize = 0;
        int immediateSize = 0;
        bool immediateSigned = false;
    } seen;
    TDisAsm disasm;
    disasm.Param = &seen;
    disasm.OnCallInstr = [](void* p, const void* at, std::uint32_t target, std::string& r) {
        static_cast<TSeen*>(p)->callValue = at;
        static_cast<TSeen*>(p)->callTarget = target;
        r = "Unit.Routine";
    };
    disasm.OnJumpInstr = [](void* p, const void*, std::uint32_t target, std::string& r) {
        static_cast<TSeen*>(p)->jumpTarget = target;
        r = "@@" + r;
    };
    disasm.OnAddressRef = [](void* p, const void*, std::uint32_t address, std::string& r) {
        static_cast<TSeen*>(p)->addressRef = address;
        r = "GTable";
    };
    disasm.OnRef = [](void* p, const crash::TdaRef& ref, int size, std::string&) {
        auto* s = static_cast<TSeen*>(p);
        s->ref = ref;
        s->refDisplacement = ref.Immidiate;
        s->refSize = size;
    };
    disasm.OnImmidiateData = [](void* p, const void*, int size, bool isSigned, std::string& r) {
        static_cast<TSeen*>(p)->immediateSize = size;
        static_cast<TSeen*>(p)->immediateSigned = isSigned;
        r += "  ; '%c #Ev @c2 ^'";  // escapes in a callback's text stay as they are
    };
    int size = 0;

    const auto call = Padded({0xE8, 0x10, 0x00, 0x00, 0x00});
    EXPECT_EQ(disasm.GetInstruction(call.data(), size), "call    Unit.Routine");
    EXPECT_EQ(seen.callValue, call.data() + 1);
    EXPECT_EQ(seen.callTarget, reinterpret_cast<std::uintptr_t>(call.data()) + 0x15);

    const auto jump = Padded({0x75, 0x02});
    EXPECT_EQ(disasm.GetInstruction(jump.data(), size).substr(0, 10), "jnz     @@");
    EXPECT_EQ(seen.jumpTarget, reinterpret_cast<std::uintptr_t>(jump.data()) + 4);

    const auto indirect = Padded({0xFF, 0x24, 0x85, 0x00, 0x20, 0x40, 0x00});
    EXPECT_EQ(disasm.GetInstruction(indirect.data(), size), "jmp     dword ptr [GTable+eax*4]");
    EXPECT_EQ(seen.addressRef, 0x00402000u);
    EXPECT_EQ(seen.ref.MultiplyReg1, 0);
    EXPECT_EQ(seen.ref.MultiplyReg2, 4);
    EXPECT_EQ(seen.ref.ARegister2, crash::rEax);

    const auto load = Padded({0x8B, 0x44, 0x8E, 0xFC});
    disasm.GetInstruction(load.data(), size);
    EXPECT_EQ(seen.ref.MultiplyReg1, 1);
    EXPECT_EQ(seen.ref.ARegister1, crash::rEsi);
    EXPECT_EQ(seen.ref.MultiplyReg2, 4);
    EXPECT_EQ(seen.ref.ARegister2, crash::rEcx);
    EXPECT_EQ(seen.refDisplacement, "-$04");
    EXPECT_EQ(seen.refSize, 4);

    const auto push = Padded({0x68, 0x00, 0x30, 0x40, 0x00});
    EXPECT_EQ(disasm.GetInstruction(push.data(), size), "push    $00403000  ; '%c #Ev @c2 ^'");
    EXPECT_EQ(seen.immediateSize, 4);
    EXPECT_FALSE(seen.immediateSigned);
    const auto sub = Padded({0x83, 0xEC, 0xFC});
    disasm.GetInstruction(sub.data(), size);
    EXPECT_EQ(seen.immediateSize, 1);
    EXPECT_TRUE(seen.immediateSigned) << "a sign-extended byte";
}

// Every opcode, with several ModRM forms after it: where the length decoder
// knows the instruction, the disassembler takes exactly as many bytes, and
// where it does not, the disassembler writes the bytes as data.
TEST(GetInstruction, AgreesWithTheLengthDecoderOnEveryOpcode)
{
    static constexpr std::uint8_t kTails[][7] = {
        {0xC1, 1, 2, 3, 4, 5, 6},           // register form, reg 0
        {0xD9, 1, 2, 3, 4, 5, 6},           // register form, reg 3
        {0x45, 0x08, 1, 2, 3, 4, 5},        // [ebp+8], reg 0
        {0x6C, 0x24, 0x08, 1, 2, 3, 4},     // [esp+8] through SIB, reg 5
        {0x3D, 0x00, 0x10, 0x40, 0, 1, 2},  // direct address, reg 7
        {0x94, 0x8E, 0, 1, 0, 0, 1},        // SIB with disp32, reg 2
    };
    static constexpr std::uint8_t kPrefixes[] = {0x26, 0x2E, 0x36, 0x3E, 0x64, 0x65, 0x66, 0x67, 0xF0, 0xF2, 0xF3};
    TDisAsm disasm;
    for (int twoByte = 0; twoByte < 2; ++twoByte) {
        for (int op = 0; op < 256; ++op) {
            if (!twoByte && (op == 0x0F || std::memchr(kPrefixes, op, sizeof kPrefixes))) continue;
            for (const auto& tail : kTails) {
                std::uint8_t code[32] = {};
                std::size_t at = 0;
                if (twoByte) code[at++] = 0x0F;
                code[at++] = static_cast<std::uint8_t>(op);
                std::memcpy(code + at, tail, sizeof tail);
                SCOPED_TRACE(::testing::Message() << (twoByte ? "0F " : "") << std::hex << op << " " << int(tail[0]));
                std::uint8_t expected = 0;
                const bool decoded = crash::GetAsmSize(code, expected);
                int size = 0;
                const std::string text = disasm.GetInstruction(code, size);
                if (decoded) {
                    EXPECT_EQ(size, expected) << text;
                    // Segment registers 6 and 7 do not exist: "???" is their text.
                    if (twoByte || (op != 0x8C && op != 0x8E)) {
                        EXPECT_EQ(text.find("???"), std::string::npos) << text;
                    }
                } else {
                    EXPECT_EQ(text.rfind("DB      $", 0), 0u) << text;
                }
            }
        }
    }
}

TEST(GetInstruction, EndlessPrefixChainStopsAtFifteenBytes)
{
    std::vector<std::uint8_t> code(64, 0x66);
    TDisAsm disasm;
    int size = 0;
    const std::string text = disasm.GetInstruction(code.data(), size);
    EXPECT_EQ(size, 15);
    EXPECT_EQ(text.rfind("DB      $66, $66", 0), 0u) << text;
}

// Both decoders are given 15 readable bytes, the longest instruction; prefix
// chains must not lead them past those bytes into the page behind.
TEST(GetInstruction, FifteenBytesBeforeANoAccessPageAreAllThatIsRead)
{
    std::uint8_t* pages =
        static_cast<std::uint8_t*>(VirtualAlloc(nullptr, 2 * 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(pages, nullptr);
    DWORD old = 0;
    ASSERT_TRUE(VirtualProtect(pages + 4096, 4096, PAGE_NOACCESS, &old));
    std::uint8_t* const start = pages + 4096 - 15;
    static const std::vector<std::uint8_t> kCases[] = {
        {0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x81},  // ModRM beyond
        {0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x81,
         0x05},  // displacement beyond
        {0x67, 0x67, 0x67, 0x67, 0x67, 0x67, 0x67, 0x67, 0x67, 0x67, 0x67, 0x67, 0xC7, 0x84, 0x24},  // SIB beyond
    };
    for (const auto& bytes : kCases) {
        SCOPED_TRACE(testing::PrintToString(bytes));
        std::memcpy(start, bytes.data(), bytes.size());
        std::uint8_t asmSize = 0;
        crash::GetAsmSize(start, asmSize);
        EXPECT_LE(asmSize, 15);
        TDisAsm disasm;
        int size = 0;
        const std::string text = disasm.GetInstruction(start, size);
        EXPECT_GE(size, 1);
        EXPECT_LE(size, 15);
        EXPECT_EQ(text.rfind("DB", 0), 0u) << text;
    }
    VirtualFree(pages, 0, MEM_RELEASE);
}

}  // namespace
