// The assembler listing around the exception address and the CPU block.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "crash/engine/EDisAsm.h"
#include "crash/engine/EHook.h"
#include "crash/engine/stack/CallStack.h"
#include "crash/report/sections/ReportSections.h"
#include "crash/report/sections/SectionText.h"
#include "rtl/CheckedMemory.h"
#include "rtl/System.h"

namespace crash {

namespace {

// How far the listing looks below and above the exception address.
constexpr std::uintptr_t kListingReach = 70;
// The longest x86 instruction: the decoders may read this far.
constexpr std::size_t kMaxInstruction = 15;

std::string Hex8(std::uint32_t value)
{
    return sections::UpperHex(value, 8);
}

std::string TrimmedRight(std::string_view text)
{
    std::size_t end = text.size();
    while (end > 0 && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
    return std::string(text.substr(0, end));
}

std::string Trimmed(std::string_view text)
{
    std::size_t begin = 0;
    while (begin < text.size() && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
    return TrimmedRight(text.substr(begin));
}

// The state the disassembler's callbacks share: the listing's one region
// cache, and how far the code lies from the copy the disassembler reads.
struct TListingContext {
    rtl::ReadableRegionCache Cache;
    std::uint32_t Shift = 0;  // real address - address in the copy (modulo 2^32)
};

// The source of a code address, as the call stack resolves it.
bool ResolveProcedure(std::uintptr_t address, TVexlorDebugInfo& item)
{
    item = TVexlorDebugInfo{};
    TDebugInfoResolver resolve = DebugInfoResolver.load();
    if (!resolve) return false;
    try {
        resolve(address, 0, item, false, false);
    } catch (...) {
        return false;
    }
    return item.DebugDetail >= ddProcedure;
}

// A call, jump or address operand named after its procedure, else after the
// class of the object it points to; else it keeps its text.
void NameTarget(void* param, std::uint32_t address, std::string& result)
{
    auto* context = static_cast<TListingContext*>(param);
    TVexlorDebugInfo item;
    if (ResolveProcedure(address, item)) {
        std::string name = sections::JoinedProcedureName(item);
        if (!name.empty()) {
            if (item.ProcOffsetLine > 1) name += " (Line=" + std::to_string(item.Line) + ")";
            result = name;
            return;
        }
    }
    const void* object = reinterpret_cast<const void*>(static_cast<std::uintptr_t>(address));
    if (rtl::IsReadableMemory(object, sizeof(void*), &context->Cache) && rtl::IsValidObject(object)) {
        const std::string name = rtl::SafeClassName(object);
        if (!name.empty()) result = name;
    }
}

// A 4-byte immediate that points at text gets the text: up to 32 characters,
// control characters as ".", "..." when it goes on. Immediates are mostly
// numbers, masks and code or data addresses, and many of them point at
// readable bytes by chance: only a NUL-terminated run of at least
// kMinPreviewText printable characters (in the ANSI code page; tab, CR and LF
// allowed) within the first kPreviewScan bytes counts as text.
constexpr std::size_t kMinPreviewText = 4;
constexpr std::size_t kPreviewScan = 256;
constexpr std::size_t kPreviewShown = 32;

// The length of the text at bytes up to its terminating zero; 0 when no zero
// is met or a byte before it is no printable character.
std::size_t PrintableTextLength(const unsigned char* bytes, std::size_t count)
{
    const auto* zero = static_cast<const unsigned char*>(std::memchr(bytes, 0, count));
    if (zero == nullptr) return 0;
    const std::size_t length = static_cast<std::size_t>(zero - bytes);
    if (length == 0) return 0;
    WORD types[kPreviewScan];
    if (length > kPreviewScan || !::GetStringTypeA(LOCALE_USER_DEFAULT, CT_CTYPE1, reinterpret_cast<const char*>(bytes),
                                                   static_cast<int>(length), types))
        return 0;
    for (std::size_t i = 0; i < length; ++i) {
        const unsigned char c = bytes[i];
        if (c == '\t' || c == '\r' || c == '\n') continue;
        // Undefined bytes of the code page have no type at all.
        if (types[i] == 0 || (types[i] & C1_CNTRL) != 0) return 0;
    }
    return length;
}

void PreviewString(void* param, const void* /*ValueAddress*/, int operandSize, bool /*Signed*/, std::string& result)
{
    if (operandSize != 4 || result.size() < 2 || result[0] != '$') return;
    char* end = nullptr;
    const unsigned long value = std::strtoul(result.c_str() + 1, &end, 16);
    if (!end || *end != '\0') return;
    auto* context = static_cast<TListingContext*>(param);
    unsigned char bytes[kPreviewScan];
    const std::size_t read = rtl::ReadMemoryPrefix(reinterpret_cast<const void*>(static_cast<std::uintptr_t>(value)),
                                                   bytes, sizeof bytes, &context->Cache);
    const std::size_t length = PrintableTextLength(bytes, read);
    if (length < kMinPreviewText) return;
    std::string chars;
    for (std::size_t i = 0; i < std::min(length, kPreviewShown); ++i)
        chars += bytes[i] < 32 ? '.' : static_cast<char>(bytes[i]);
    result += "  ; '" + chars + "'";
    if (length > kPreviewShown) result += "...";
}

// A return ends the code that follows it in the listing: C2, C3, CA and CB,
// also behind the prefixes compilers put before a return.
bool IsReturn(const std::uint8_t* code, std::size_t size)
{
    std::size_t i = 0;
    while (i + 1 < size && (code[i] == 0xF2 || code[i] == 0xF3 || code[i] == 0x66)) ++i;
    const std::uint8_t opcode = code[i];
    return opcode == 0xC2 || opcode == 0xC3 || opcode == 0xCA || opcode == 0xCB;
}

}  // namespace

std::string BuildAssemblerListing(std::uintptr_t exceptionAddress, const TVexlorModuleOptions& options,
                                  std::string& headerText)
{
    headerText.clear();
    TListingContext context;
    rtl::ReadableRegionCache& cache = context.Cache;
    if (!rtl::IsReadableMemory(reinterpret_cast<const void*>(exceptionAddress), 4, &cache)) return {};

    // The window: from 70 bytes below up to the first readable byte, to 70
    // above down to the last readable one; copied once, zeros behind its end
    // for the longest instruction. Lengths and texts are decoded from the
    // copy, so that no decoder reads memory that was not checked.
    std::uintptr_t low = exceptionAddress >= kListingReach ? exceptionAddress - kListingReach : 0;
    while (low < exceptionAddress && !rtl::IsReadableMemory(reinterpret_cast<const void*>(low), 1, &cache)) ++low;
    std::uintptr_t high =
        exceptionAddress <= UINTPTR_MAX - kListingReach ? exceptionAddress + kListingReach : UINTPTR_MAX;
    while (high > exceptionAddress && !rtl::IsReadableMemory(reinterpret_cast<const void*>(high), 1, &cache)) --high;
    std::vector<std::uint8_t> window(high - low + 1 + kMaxInstruction, 0);
    const std::size_t copied =
        rtl::ReadMemoryPrefix(reinterpret_cast<const void*>(low), window.data(), window.size(), &cache);
    if (copied < exceptionAddress - low + 4) return {};
    auto at = [&](std::uintptr_t address) { return window.data() + (address - low); };

    // The first start from which the lengths land exactly on the exception
    // address (the address itself always does), then at most 10 before it.
    std::uintptr_t start = exceptionAddress;
    std::vector<std::uintptr_t> path;
    for (std::uintptr_t candidate = low; candidate <= exceptionAddress; ++candidate) {
        std::vector<std::uintptr_t> steps;
        std::uintptr_t position = candidate;
        while (position < exceptionAddress) {
            steps.push_back(position);
            std::uint8_t size = 1;
            GetAsmSize(at(position), size);
            position += std::max<std::uint8_t>(size, 1);
        }
        if (position == exceptionAddress) {
            start = candidate;
            path = std::move(steps);
            break;
        }
    }
    if (path.size() > kListedInstructions) start = path[path.size() - kListedInstructions];

    TDisAsm disasm;
    disasm.Param = &context;
    context.Shift = static_cast<std::uint32_t>(low - reinterpret_cast<std::uintptr_t>(window.data()));
    // The disassembler reads the copy: its relative targets are moved to
    // where the code really lies.
    disasm.OnCallInstr = [](void* param, const void*, std::uint32_t target, std::string& result) {
        const std::uint32_t real = target + static_cast<TListingContext*>(param)->Shift;
        result = "$" + Hex8(real);
        NameTarget(param, real, result);
    };
    disasm.OnJumpInstr = disasm.OnCallInstr;
    disasm.OnAddressRef = [](void* param, const void*, std::uint32_t address, std::string& result) {
        NameTarget(param, address, result);
    };
    disasm.OnRef = [](void*, const TdaRef&, int, std::string&) {};
    disasm.OnImmidiateData = PreviewString;

    std::vector<std::string> lines;
    std::size_t kept = 0;
    std::size_t longest = 0;
    std::string previousName, previousPosition;
    int after = 0;
    const std::uintptr_t copiedEnd = low + copied;  // the first byte past the copy
    for (std::uintptr_t position = start; position <= high;) {
        int size = 0;
        std::string line =
            Hex8(static_cast<std::uint32_t>(position)) + "  " + disasm.GetInstruction(at(position), size);
        if (size < 1) size = 1;
        // An instruction cut by the end of the readable code is not shown.
        if (position + static_cast<std::uintptr_t>(size) > copiedEnd) break;
        if (position == exceptionAddress)
            line += line.find(';') == std::string::npos ? "  ; <-- EXCEPTION" : " <-- EXCEPTION";
        longest = std::max(longest, Trimmed(std::string_view(line).substr(0, line.find(';'))).size());

        TVexlorDebugInfo item;
        std::string name, where;
        if (ResolveProcedure(position, item)) {
            name = sections::JoinedProcedureName(item) + " ";
            where = "Line=" + std::to_string(item.Line) + " - Offset=" + std::to_string(item.ProcOffsetLine);
        }
        std::string heading;
        if (name != previousName) {
            heading = name;
            if (!name.empty() && position <= exceptionAddress) kept = lines.size();
        }
        if (where != previousPosition && !where.empty())
            heading = heading.empty() ? where : heading + "(" + where + ")";
        previousName = name;
        previousPosition = where;
        if (!heading.empty()) {
            if (!lines.empty()) lines.push_back(";");
            lines.push_back("; " + heading);
            lines.push_back("; " + std::string(heading.size(), '-'));
        }
        lines.push_back(std::move(line));

        const bool past = position > exceptionAddress;
        if (past) ++after;
        if (past && (after >= kListedInstructions || IsReturn(at(position), static_cast<std::size_t>(size)))) break;
        position += static_cast<std::uintptr_t>(size);
    }

    lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(std::min(kept, lines.size())));
    if (!lines.empty() && lines.front() == ";") lines.erase(lines.begin());

    // Comments in one column, two blanks after the longest instruction.
    const std::size_t column = longest + 2;
    std::size_t width = 0;
    for (std::string& line : lines) {
        const std::size_t semicolon = line.find(';');
        if (semicolon != std::string::npos && semicolon > 0) {
            std::string before = TrimmedRight(std::string_view(line).substr(0, semicolon));
            if (before.size() < column)
                line = before + std::string(column - before.size(), ' ') + line.substr(semicolon);
        }
        width = std::max(width, line.size());
    }
    const std::string caption = options.GetCustomizedExpandedTexts(mtDialog_AsmHeader);
    headerText = caption + ":\r\n" + std::string(std::max(caption.size() + 1, width), '-');
    std::string listing;
    for (const std::string& line : lines) listing += line + "\r\n";
    return listing;
}

std::string BuildCPUText(const CONTEXT* context, std::uintptr_t stackAddress, std::uintptr_t exceptionAddress,
                         const TVexlorModuleOptions& options)
{
    auto reg = [context](DWORD CONTEXT::*field) { return context ? Hex8((*context).*field) : std::string("????    "); };
    std::string stackCaption = options.GetCustomizedExpandedTexts(mtCPU_Stack) + ":";
    if (stackCaption.size() < 21) stackCaption.append(21 - stackCaption.size(), ' ');
    auto pair = [&](const char* left, DWORD CONTEXT::*leftField, const char* right, DWORD CONTEXT::*rightField) {
        return std::string(left) + ": " + reg(leftField) + "   " + right + ": " + reg(rightField) + "\r\n";
    };
    std::string text = options.GetCustomizedExpandedTexts(mtCPU_Registers) + ":\r\n" + std::string(29, '-') + "\r\n";
    text += pair("EAX", &CONTEXT::Eax, "EDI", &CONTEXT::Edi);
    text += pair("EBX", &CONTEXT::Ebx, "ESI", &CONTEXT::Esi);
    text += pair("ECX", &CONTEXT::Ecx, "ESP", &CONTEXT::Esp);
    text += pair("EDX", &CONTEXT::Edx, "EIP", &CONTEXT::Eip);
    text += "\r\n" + stackCaption + options.GetCustomizedExpandedTexts(mtCPU_MemoryDump) + ":\r\n" +
            std::string(18, '-') + "   " + std::string(75, '-') + "\r\n";

    rtl::ReadableRegionCache cache;
    std::uint32_t stack[16];
    std::uint8_t code[256];
    if (!rtl::ReadMemory(reinterpret_cast<const void*>(stackAddress), stack, sizeof stack, &cache) ||
        !rtl::ReadMemory(reinterpret_cast<const void*>(exceptionAddress), code, sizeof code, &cache))
        return text;
    for (int k = 0; k < 16; ++k) {
        const std::uint8_t* bytes = code + 16 * k;
        text += Hex8(static_cast<std::uint32_t>(stackAddress + 4 * k)) + ": " + Hex8(stack[k]) + "   " +
                Hex8(static_cast<std::uint32_t>(exceptionAddress + 16 * k)) + ": ";
        char hex[4];
        for (int b = 0; b < 16; ++b) {
            std::snprintf(hex, sizeof hex, " %02X", bytes[b]);
            text += hex;
        }
        text += ' ';
        for (int b = 0; b < 16; ++b) text += bytes[b] < 32 || bytes[b] > 126 ? '.' : static_cast<char>(bytes[b]);
        text += "\r\n";
    }
    return text;
}

}  // namespace crash
