// The disassembler's template expansion.
#include "crash/engine/EDisAsm.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "crash/engine/disasm/DisasmTables.h"

namespace crash {
namespace {

using namespace disasm_detail;

constexpr const char* kRegs8[8] = {"al", "cl", "dl", "bl", "ah", "ch", "dh", "bh"};
constexpr const char* kRegs16[8] = {"ax", "cx", "dx", "bx", "sp", "bp", "si", "di"};
constexpr const char* kRegs32[8] = {"eax", "ecx", "edx", "ebx", "esp", "ebp", "esi", "edi"};
constexpr const char* kSegments[8] = {"es", "cs", "ss", "ds", "fs", "gs", nullptr, nullptr};
// 16-bit addressing: the base by rm, and the registers it stands for.
constexpr const char* kBases16[8] = {"bx+si", "bx+di", "bp+si", "bp+di", "si", "di", "bp", "bx"};
constexpr TRegister kBase16Reg1[8] = {rEbx, rEbx, rEbp, rEbp, rEsi, rEdi, rEbp, rEbx};
constexpr int kBase16HasReg2[8] = {1, 1, 1, 1, 0, 0, 0, 0};
constexpr TRegister kBase16Reg2[8] = {rEsi, rEdi, rEsi, rEdi, rEax, rEax, rEax, rEax};

// Longest instruction the processor accepts; a longer prefix chain is no code.
constexpr int kMaxInstruction = 15;
// Expansion never needs more steps than this; a table fault must not loop.
constexpr int kMaxSteps = 256;

std::string Hex(std::uint32_t value, int digits)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%0*X", digits, static_cast<unsigned>(value));
    return buffer;
}

// text that the scan must not look into again: "^", a count byte, the text.
std::string Protect(const std::string& text)
{
    std::string out;
    for (std::size_t at = 0; at < text.size(); at += 255) {
        const std::size_t n = std::min<std::size_t>(255, text.size() - at);
        out += '^';
        out += static_cast<char>(static_cast<unsigned char>(n));
        out.append(text, at, n);
    }
    return out;
}

const char* SizeWord(int size)
{
    switch (size) {
    case 1: return "byte ptr ";
    case 2: return "word ptr ";
    case 4: return "dword ptr ";
    case 8: return "qword ptr ";
    case 10: return "tbyte ptr ";
    default: return "";
    }
}

// The state of one instruction's expansion.
class TExpansion {
public:
    TExpansion(TDisAsm& owner, const std::uint8_t* code) : FOwner(owner), FCode(code) {}

    std::string Run(int& size);

private:
    bool NextByte(std::uint8_t& b)
    {
        if (FPos >= kMaxInstruction) return false;
        b = FCode[FPos++];
        return true;
    }
    // The caller vouches for 15 bytes only: a byte beyond them is never read;
    // the instruction is then shown as data.
    std::uint8_t Take()
    {
        if (FPos >= kMaxInstruction) {
            FOverrun = true;
            ++FPos;
            return 0;
        }
        return FCode[FPos++];
    }
    std::uint32_t ReadValue(int bytes)
    {
        std::uint32_t value = 0;
        for (int i = 0; i < bytes; ++i) value |= static_cast<std::uint32_t>(Take()) << (8 * i);
        return value;
    }
    int OperandSize() const { return FOperandSize ? 2 : 4; }
    void NeedModRM()
    {
        if (FHaveModRM) return;
        FModRM = Take();
        FHaveModRM = true;
    }
    unsigned Mod() const { return FModRM >> 6; }
    unsigned Reg() const { return (FModRM >> 3) & 7; }
    unsigned RM() const { return FModRM & 7; }

    int SizeOf(char letter) const;
    std::string Operand(char kind, char sizeLetter, char role);
    std::string Immediate(int bytes, bool isSigned);
    std::string Target(int bytes, char role);
    std::string DirectOffset();
    std::string FarPointer();
    std::string MemoryOperand(int size);
    std::string AddressText(std::uint32_t address, const void* valueAddress);
    std::string RegisterName(unsigned index, int size) const
    {
        return size == 1 ? kRegs8[index] : size == 2 ? kRegs16[index] : kRegs32[index];
    }
    std::string DataBytes() const;

    TDisAsm& FOwner;
    const std::uint8_t* FCode;
    int FPos = 0;
    bool FOverrun = false;
    bool FOperandSize = false;
    bool FAddressSize = false;
    bool FNoSizeWord = false;
    const char* FSegment = nullptr;
    bool FHaveModRM = false;
    std::uint8_t FModRM = 0;
    bool FHaveMemory = false;
    std::string FMemory;  // the memory operand, built once
};

int TExpansion::SizeOf(char letter) const
{
    switch (letter) {
    case 'b': return 1;
    case 'w': return 2;
    case 'd': return 4;
    case 'q': return 8;
    case 's': return 6;
    case 't': return 10;
    case 'v': return OperandSize();
    case 'c': return FOperandSize ? 1 : 2;
    case 'a': return FOperandSize ? 8 : 4;
    case 'p': return OperandSize() + 2;
    default: return 0;
    }
}

std::string TExpansion::Immediate(int bytes, bool isSigned)
{
    if (bytes != 1 && bytes != 2 && bytes != 4) return "???";
    const void* at = FCode + FPos;
    std::string text = "$" + Hex(ReadValue(bytes), bytes * 2);
    if (FOwner.OnImmidiateData) FOwner.OnImmidiateData(FOwner.Param, at, bytes, isSigned, text);
    return text;
}

std::string TExpansion::Target(int bytes, char role)
{
    if (bytes != 1 && bytes != 2 && bytes != 4) return "???";
    const void* at = FCode + FPos;
    std::uint32_t raw = ReadValue(bytes);
    std::int32_t distance = bytes == 1   ? static_cast<std::int8_t>(raw)
                            : bytes == 2 ? static_cast<std::int16_t>(raw)
                                         : static_cast<std::int32_t>(raw);
    std::uint32_t target = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(FCode + FPos)) +
                           static_cast<std::uint32_t>(distance);
    if (bytes == 2) target &= 0xFFFF;  // a 16-bit operand size cuts the instruction pointer
    std::string text = "$" + Hex(target, 8);
    if (role == 'j' && FOwner.OnJumpInstr) FOwner.OnJumpInstr(FOwner.Param, at, target, text);
    if (role == 'c' && FOwner.OnCallInstr) FOwner.OnCallInstr(FOwner.Param, at, target, text);
    return text;
}

std::string TExpansion::AddressText(std::uint32_t address, const void* valueAddress)
{
    std::string text = "$" + Hex(address, 8);
    if (FOwner.OnAddressRef) FOwner.OnAddressRef(FOwner.Param, valueAddress, address, text);
    return text;
}

std::string TExpansion::DirectOffset()
{
    std::string text = FSegment ? std::string(FSegment) + ":" : std::string();
    if (FAddressSize) return text + "[$" + Hex(ReadValue(2), 4) + "]";
    const void* at = FCode + FPos;
    return text + "[" + AddressText(ReadValue(4), at) + "]";
}

std::string TExpansion::FarPointer()
{
    const int offsetBytes = OperandSize();
    const std::uint32_t offset = ReadValue(offsetBytes);
    const std::uint32_t selector = ReadValue(2);
    return "$" + Hex(selector, 4) + ":$" + Hex(offset, offsetBytes * 2);
}

std::string TExpansion::MemoryOperand(int size)
{
    if (!FHaveMemory) {
        FHaveMemory = true;
        TdaRef ref;
        std::string displacement;
        std::string inner;
        if (FAddressSize) {
            const unsigned rm = RM();
            if (Mod() == 0 && rm == 6) {
                displacement = "$" + Hex(ReadValue(2), 4);
                inner = displacement;
            } else {
                inner = kBases16[rm];
                ref.MultiplyReg1 = 1;
                ref.ARegister1 = kBase16Reg1[rm];
                if (kBase16HasReg2[rm]) {
                    ref.MultiplyReg2 = 1;
                    ref.ARegister2 = kBase16Reg2[rm];
                }
                if (Mod() == 1) {
                    const auto d = static_cast<std::int8_t>(ReadValue(1));
                    displacement = (d < 0 ? "-$" : "+$") + Hex(d < 0 ? -d : d, 2);
                } else if (Mod() == 2) {
                    displacement = "+$" + Hex(ReadValue(2), 4);
                }
                inner += displacement;
            }
        } else {
            const unsigned rm = RM();
            bool direct = false;
            if (rm == 4) {
                const std::uint8_t sib = Take();
                const unsigned scale = sib >> 6, index = (sib >> 3) & 7, base = sib & 7;
                if (base == 5 && Mod() == 0) {
                    const void* at = FCode + FPos;
                    displacement = AddressText(ReadValue(4), at);
                    inner = displacement;
                    direct = true;
                } else {
                    inner = kRegs32[base];
                    ref.MultiplyReg1 = 1;
                    ref.ARegister1 = static_cast<TRegister>(base);
                }
                if (index != 4) {
                    inner += std::string("+") + kRegs32[index];
                    if (scale != 0) inner += scale == 1 ? "*2" : scale == 2 ? "*4" : "*8";
                    ref.MultiplyReg2 = 1 << scale;
                    ref.ARegister2 = static_cast<TRegister>(index);
                }
            } else if (Mod() == 0 && rm == 5) {
                const void* at = FCode + FPos;
                displacement = AddressText(ReadValue(4), at);
                inner = displacement;
                direct = true;
            } else {
                inner = kRegs32[rm];
                ref.MultiplyReg1 = 1;
                ref.ARegister1 = static_cast<TRegister>(rm);
            }
            if (!direct && Mod() == 1) {
                const auto d = static_cast<std::int8_t>(ReadValue(1));
                displacement = (d < 0 ? "-$" : "+$") + Hex(d < 0 ? -d : d, 2);
                inner += displacement;
            } else if (!direct && Mod() == 2) {
                const void* at = FCode + FPos;
                displacement = "+" + AddressText(ReadValue(4), at);
                inner += displacement;
            }
        }
        std::string text = (FSegment ? std::string(FSegment) + ":" : std::string()) + "[" + inner + "]";
        ref.Immidiate = displacement.c_str();
        if (FOwner.OnRef) FOwner.OnRef(FOwner.Param, ref, size, text);
        FMemory = text;
    }
    std::string out;
    if (!FNoSizeWord) {
        out += "%s";
        out += static_cast<char>(size);
    }
    FNoSizeWord = false;
    return out + Protect(FMemory);
}

std::string TExpansion::Operand(char kind, char sizeLetter, char role)
{
    const int size = SizeOf(sizeLetter);
    if (size == 0) return Protect("???");
    switch (kind) {
    case 'R':
        // A register only: the processor ignores the mod field here.
        NeedModRM();
        return Protect(RegisterName(RM(), size));
    case 'E':
    case 'M':
    case 'Q':
    case 'W':
        NeedModRM();
        if (Mod() == 3) {
            if (kind == 'Q') return Protect("MM" + std::to_string(RM()));
            if (kind == 'W') return Protect("xmm" + std::to_string(RM()));
            return Protect(RegisterName(RM(), size));
        }
        return MemoryOperand(size);
    case 'G': NeedModRM(); return Protect(RegisterName(Reg(), size));
    case 'P': NeedModRM(); return Protect("MM" + std::to_string(Reg()));
    case 'V': NeedModRM(); return Protect("xmm" + std::to_string(Reg()));
    case 'S': NeedModRM(); return Protect(kSegments[Reg()] ? kSegments[Reg()] : "???");
    case 'C':
    case 'D':
    case 'T': NeedModRM(); return Protect(std::string(1, kind) + std::to_string(Reg()));
    case 'I':
    case 'H': return Protect(Immediate(size, role == 's'));
    case 'J': return Protect(Target(size, role));
    case 'O': return Protect(DirectOffset());
    case 'A': return Protect(FarPointer());
    default: return Protect("???");
    }
}

std::string TExpansion::DataBytes() const
{
    std::string text = "DB      $" + Hex(FCode[0], 2);
    for (int i = 1; i < std::min(FPos, kMaxInstruction); ++i) text += ", $" + Hex(FCode[i], 2);
    return text + "  //";
}

std::string TExpansion::Run(int& size)
{
    std::string text = kOneByteTemplates[FCode[FPos++]];
    std::size_t i = 0;
    int steps = 0;
    while (i < text.size()) {
        if (++steps > kMaxSteps) {
            text = "%c ";
            break;
        }
        const char c = text[i];
        if (c == '^') {
            if (i + 1 >= text.size()) break;
            i += 2 + static_cast<unsigned char>(text[i + 1]);
            continue;
        }
        if (c == '#') {
            std::string operand = i + 3 < text.size() ? Operand(text[i + 1], text[i + 2], text[i + 3]) : Protect("???");
            const std::size_t length = std::min<std::size_t>(4, text.size() - i);
            text.replace(i, length, operand);
            i += operand.size();
            continue;
        }
        if (c != '@' || i + 2 >= text.size()) {
            ++i;
            continue;
        }
        const char what = text[i + 1];
        const char arg = text[i + 2];
        std::string with;
        bool rescan = true;  // a template taken from a table expands in turn
        std::uint8_t next = 0;
        switch (what) {
        case 'c':
            if (arg == '1' || arg == '2') {
                if (!NextByte(next)) {
                    with = "%c ";
                    break;
                }
                with = arg == '1' ? kOneByteTemplates[next] : kTwoByteTemplates[next];
            } else if (arg >= 'a' && arg <= 'h') {
                NeedModRM();
                const int form = FModRM < 0xC0 ? static_cast<int>(Reg()) : 8 + (FModRM - 0xC0);
                with = kCoprocessorTemplates[(arg - 'a') * 72 + form];
            } else {
                with = "???";
            }
            break;
        case 'e': {
            // "@e" and a register letter pair: the 32-bit or 16-bit register.
            const std::string pair = text.substr(i + 2, 2);
            with = FOperandSize ? pair : "e" + pair;
            text.replace(i, 2 + pair.size(), with);
            i += with.size();
            continue;
        }
        case 'g':
            NeedModRM();
            with = arg >= 'a' && arg <= 'j' ? kGroupTemplates[(arg - 'a') * 8 + Reg()] : "???";
            break;
        case 'h':
            NeedModRM();
            with = arg >= '1' && arg <= '4' ? kGroupTailTemplates[(arg - '1') * 8 + Reg()] : "???";
            break;
        case 'm': FNoSizeWord = true; break;
        case 'o': {
            const char* suffixes = FOperandSize ? "bwd" : "wdq";
            with = arg == '2' ? suffixes[0] : arg == '4' ? suffixes[1] : arg == '8' ? suffixes[2] : '?';
            rescan = false;
            break;
        }
        case 'p':
            switch (arg) {
            case 'e': FSegment = "es"; break;
            case 'c': FSegment = "cs"; break;
            case 's': FSegment = "ss"; break;
            case 'd': FSegment = "ds"; break;
            case 'f': FSegment = "fs"; break;
            case 'g': FSegment = "gs"; break;
            default: break;
            }
            with = NextByte(next) ? kOneByteTemplates[next] : "%c ";
            break;
        case 's':
            if (arg == 'a') FAddressSize = true;
            if (arg == 'o') FOperandSize = true;
            with = NextByte(next) ? kOneByteTemplates[next] : "%c ";
            break;
        default:
            with = "???";
            rescan = false;
            break;
        }
        text.replace(i, 3, with);
        if (!rescan) i += with.size();
    }

    // Second pass: size words, the data form, and the protected pieces.
    std::string out;
    for (std::size_t k = 0; k < text.size();) {
        const char c = text[k];
        if (c == '^' && k + 1 < text.size()) {
            const std::size_t n = static_cast<unsigned char>(text[k + 1]);
            out.append(text, k + 2, n);
            k += 2 + n;
        } else if (c == '%' && k + 1 < text.size() && text[k + 1] == 'c') {
            size = FPos;
            return DataBytes();
        } else if (c == '%' && k + 2 < text.size() && text[k + 1] == 's') {
            out += SizeWord(text[k + 2]);
            k += 3;
        } else {
            out += c;
            ++k;
        }
    }
    if (FOverrun) {
        // Longer than an instruction can be: its first byte as data, so that
        // a listing goes on at the next byte.
        FPos = 1;
        size = FPos;
        return DataBytes();
    }
    size = FPos;
    return out;
}

}  // namespace

std::string TDisAsm::GetInstruction(const void* code, int& size)
{
    TExpansion expansion(*this, static_cast<const std::uint8_t*>(code));
    return expansion.Run(size);
}

}  // namespace crash
