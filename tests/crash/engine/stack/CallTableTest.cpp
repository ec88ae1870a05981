// The walk on synthetic stacks: slots that point into code bytes laid out in
// an executable page, one encoding of CALL (or none) before each; the frame
// chain that vouches for a call through a register and a displacement; the
// range, the item cap and the levels.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "crash/engine/stack/StackInternal.h"

namespace crash {
namespace {

// A committed executable page followed by a reserved page that cannot be read.
class CodePage {
public:
    CodePage()
    {
        FBase = static_cast<std::uint8_t*>(::VirtualAlloc(nullptr, 0x10000, MEM_RESERVE, PAGE_NOACCESS));
        ::VirtualAlloc(FBase, 0x1000, MEM_COMMIT, PAGE_EXECUTE_READWRITE);
        std::memset(FBase, 0xCC, 0x1000);
    }
    ~CodePage() { ::VirtualFree(FBase, 0, MEM_RELEASE); }
    CodePage(const CodePage&) = delete;
    CodePage& operator=(const CodePage&) = delete;

    std::uintptr_t Unreadable() const { return reinterpret_cast<std::uintptr_t>(FBase) + 0x1010; }
    std::uintptr_t LastBytes(int n) const { return reinterpret_cast<std::uintptr_t>(FBase) + 0x1000 - n; }
    // Writes the bytes after 8 filler bytes (none of which starts an encoding)
    // and answers the address just after them: a return address.
    std::uintptr_t Place(std::initializer_list<std::uint8_t> bytes)
    {
        FAt += 8;
        for (std::uint8_t b : bytes) FBase[FAt++] = b;
        return reinterpret_cast<std::uintptr_t>(FBase) + FAt;
    }
    // Code that starts with the given bytes: its address.
    std::uintptr_t Code(std::initializer_list<std::uint8_t> bytes)
    {
        FAt += 8;
        const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(FBase) + FAt;
        for (std::uint8_t b : bytes) FBase[FAt++] = b;
        return at;
    }
    // A CALL rel32 to target: its return address.
    std::uintptr_t CallTo(std::uintptr_t target)
    {
        const std::uintptr_t r = reinterpret_cast<std::uintptr_t>(FBase) + FAt + 8 + 5;
        const auto d = static_cast<std::uint32_t>(target - r);
        return Place({0xE8, std::uint8_t(d), std::uint8_t(d >> 8), std::uint8_t(d >> 16), std::uint8_t(d >> 24)});
    }
    // A 32-bit word in the page: its address.
    std::uintptr_t Word(std::uintptr_t value)
    {
        const auto v = static_cast<std::uint32_t>(value);
        return Code({std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)});
    }

private:
    std::uint8_t* FBase;
    std::size_t FAt = 0;
};

std::uint8_t B(std::uintptr_t value, int byte)
{
    return static_cast<std::uint8_t>(value >> (8 * byte));
}

// The addresses of a walk over the given slots.
std::vector<std::uintptr_t> Walk(const std::vector<std::uint32_t>& slots, bool follow = true, std::uintptr_t first = 0,
                                 std::int32_t level = -1, std::int32_t count = -1)
{
    const auto start = reinterpret_cast<std::uintptr_t>(slots.data());
    auto list = GetCallStackByAddresses(first, start, start + slots.size() * 4 - 1, 7, true, follow, level, count,
                                        kAllDebugDetails);
    std::vector<std::uintptr_t> addresses;
    for (int i = 0; i < list->Count(); ++i) addresses.push_back(list->GetItem(i)->Addr);
    return addresses;
}

std::string Hex(const std::vector<std::uintptr_t>& addresses)
{
    std::string text;
    char buffer[16];
    for (std::uintptr_t a : addresses) {
        std::snprintf(buffer, sizeof buffer, " %08X", static_cast<unsigned>(a));
        text += buffer;
    }
    return text;
}

TEST(CallTable, EachEncodingAddsItsCall)
{
    CodePage page;
    const std::uintptr_t plain = page.Code({0x55, 0x89, 0xE5, 0x83, 0xEC, 0x08});
    const std::uintptr_t slot = page.Word(plain);
    const std::uintptr_t thunk = page.Code({0xFF, 0x25, B(slot, 0), B(slot, 1), B(slot, 2), B(slot, 3)});
    const std::uintptr_t stub = page.Code({0xE8, 0, 0, 0, 0, 0xC3});
    const std::uintptr_t cut = page.LastBytes(3);  // readable, but not its first 5 bytes
    const std::uintptr_t readable = page.Word(0x12345678);
    const std::uintptr_t unreadable = page.Unreadable();
    struct Case {
        const char* name;
        std::uintptr_t r;
        std::vector<std::uintptr_t> follow;    // the items with call targets followed
        std::vector<std::uintptr_t> noFollow;  // and without
    };
    std::vector<Case> cases;
    std::uintptr_t r;
    r = page.CallTo(plain);
    cases.push_back({"E8 to code", r, {plain, r - 5}, {r - 5}});
    r = page.CallTo(unreadable);
    cases.push_back({"E8 to unreadable memory", r, {}, {}});
    r = page.CallTo(thunk);
    cases.push_back({"E8 to an FF 25 thunk: its target first", r, {plain, r - 5}, {r - 5}});
    r = page.CallTo(stub);
    cases.push_back({"E8 to a target that starts with E8", r, {r - 5}, {r - 5}});
    r = page.CallTo(cut);
    cases.push_back({"E8 to a target with fewer than 5 readable bytes", r, {r - 5}, {r - 5}});
    r = page.Place({0xFF, 0xD3});
    cases.push_back({"FF D3: call ebx", r, {r - 2}, {r - 2}});
    r = page.Place({0xFF, 0x16});
    cases.push_back({"FF 16: call [esi]", r, {r - 2}, {r - 2}});
    r = page.Place({0xFF, 0x15 - 1});  // FF 14 is no [register] form; nothing else matches
    cases.push_back({"FF 14 alone", r, {}, {}});
    r = page.Place({0x8B, 0x01, 0xFF, 0x50, 0x08});
    cases.push_back({"8B at R-5, FF 50 08: call [eax+8]", r, {r - 3}, {r - 3}});
    r = page.Place({0x8B, 0x41, 0x04, 0xFF, 0x57, 0x08});
    cases.push_back({"8B at R-6, FF 57 08", r, {r - 3}, {r - 3}});
    r = page.Place({0xC7, 0x04, 0x24, 0x03, 0x00, 0x00, 0x00, 0xFF, 0x50, 0x08});
    cases.push_back({"FF 50 08 after an argument store", r, {}, {}});
    // FF 90 .. would be a call [eax+disp32], but the disp8 form matched first.
    r = page.Place({0xFF, 0x90, 0xCC, 0xFF, 0x53, 0x08});
    cases.push_back({"FF 5x without 8B tests nothing further", r, {}, {}});
    r = page.Place({0xFF, 0x54, 0x24, 0x08});
    cases.push_back({"FF 54 24 08: call [esp+8]", r, {r - 4}, {r - 4}});
    r = page.Place({0xFF, 0x90, 0x10, 0x01, 0x00, 0x00});
    cases.push_back({"FF 90 disp32: call [eax+0x110]", r, {r - 6}, {r - 6}});
    r = page.Place({0xFF, 0x14, 0x24});
    cases.push_back({"FF 14 24: call [esp]", r, {r - 3}, {r - 3}});
    r = page.Place({0xFF, 0x94, 0x24, 0x00, 0x01, 0x00, 0x00});
    cases.push_back({"FF 94 24 disp32: call [esp+0x100]", r, {r - 7}, {r - 7}});
    r = page.Place({0xFF, 0x15, B(readable, 0), B(readable, 1), B(readable, 2), B(readable, 3)});
    cases.push_back({"FF 15 to a readable pointer", r, {r - 6}, {r - 6}});
    r = page.Place({0xFF, 0x15, B(unreadable, 0), B(unreadable, 1), B(unreadable, 2), B(unreadable, 3)});
    cases.push_back({"FF 15 to an unreadable pointer", r, {}, {}});
    r = page.Place({0x90, 0x90});
    cases.push_back({"no call", r, {}, {}});
    cases.push_back({"a value whose bytes before it cannot be read", unreadable + 8, {}, {}});
    cases.push_back({"a small number", 5, {}, {}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<std::uint32_t> stack = {0, static_cast<std::uint32_t>(c.r), 0};
        EXPECT_EQ(Hex(Walk(stack, true)), Hex(c.follow));
        EXPECT_EQ(Hex(Walk(stack, false)), Hex(c.noFollow));
    }
}

// A slot just above a saved EBP whose chain goes on for two frames (or to
// its end) takes a call through a register and disp8 without the MOV.
TEST(CallTable, TheFrameChainVouchesForADisplacedCall)
{
    CodePage page;
    const std::uintptr_t displaced = page.Place({0xC7, 0x04, 0x24, 0x03, 0x00, 0x00, 0x00, 0xFF, 0x50, 0x08});
    const std::uintptr_t target = page.Code({0x55, 0x89, 0xE5});
    const std::uintptr_t call1 = page.CallTo(target);
    const std::uintptr_t call2 = page.CallTo(target);
    const std::uintptr_t call3 = page.CallTo(target);
    const auto u32 = [](std::uintptr_t v) { return static_cast<std::uint32_t>(v); };
    struct Case {
        const char* name;
        int link1, link2, link3;  // slot indices the saved EBPs point to; -1: 0
        bool brokenReturn;        // the first caller's return slot holds no return address
        bool vouched;
    };
    static const Case kCases[] = {
        {"two frames, then the end", 4, 8, -1, false, true},
        {"one frame, then the end", 4, -1, -1, false, true},
        {"three frames", 4, 8, 12, false, true},
        {"a caller frame without a return address", 4, 8, -1, true, false},
        {"no caller frame at all", -1, -1, -1, false, false},
        {"a saved EBP that points down the stack", 0, -1, -1, false, false},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint32_t> stack(16, 0);
        const auto at = [&](int index) {
            return index < 0 ? 0u : u32(reinterpret_cast<std::uintptr_t>(&stack[index]));
        };
        stack[0] = at(c.link1);
        stack[1] = u32(displaced);
        stack[4] = at(c.link2);
        stack[5] = c.brokenReturn ? 0x11 : u32(call1);
        stack[8] = at(c.link3);
        stack[9] = u32(call2);
        stack[12] = 0;
        stack[13] = u32(call3);
        const std::vector<std::uintptr_t> found = Walk(stack, false);
        const bool has = !found.empty() && found.front() == displaced - 3;
        EXPECT_EQ(has, c.vouched) << Hex(found);
    }

    // A copy of the stack: its saved EBPs still hold the original addresses.
    std::vector<std::uint32_t> stack(16, 0);
    stack[0] = u32(reinterpret_cast<std::uintptr_t>(&stack[4]));
    stack[1] = u32(displaced);
    stack[4] = 0;
    stack[5] = u32(call1);
    const std::vector<std::uint32_t> copy = stack;
    const auto start = reinterpret_cast<std::uintptr_t>(copy.data());
    const auto origin = reinterpret_cast<std::uintptr_t>(stack.data());
    TVexlorStackList list;
    stack::ScanStackRange(list, 0, {start, start + 63, origin}, 1, true, false, -1, -1, kAllDebugDetails, true);
    ASSERT_GE(list.Count(), 1);
    EXPECT_EQ(list.GetItem(0)->Addr, displaced - 3);
}

TEST(CallTable, RangesFirstAddressAndCap)
{
    CodePage page;
    const std::uintptr_t r = page.Place({0xFF, 0xD0});
    const auto value = static_cast<std::uint32_t>(r);

    // Nothing readable: the first address's item alone.
    auto alone = GetCallStackByAddresses(0x401000, 0x10, 0x2000, 3, true, true, -1, -1, kAllDebugDetails);
    ASSERT_EQ(alone->Count(), 1);
    EXPECT_EQ(alone->GetItem(0)->Addr, 0x401000u);
    EXPECT_TRUE(alone->GetItem(0)->ErrorLine);
    EXPECT_EQ(GetCallStackByAddresses(0, 0x10, 0x2000, 3, true, true, -1, -1, kAllDebugDetails)->Count(), 0);

    // A range longer than the scan is cut 102,400 bytes after its start.
    std::vector<std::uint32_t> big(kMaxStackScan / 4 + 8, 0);
    big[kMaxStackScan / 4 - 1] = value;  // its 4 bytes end at start + 102,399
    big[kMaxStackScan / 4 + 1] = value;  // beyond
    const auto start = reinterpret_cast<std::uintptr_t>(big.data());
    auto cut = GetCallStackByAddresses(0, start, start + big.size() * 4 - 1, 3, true, true, -1, -1, kAllDebugDetails);
    EXPECT_EQ(cut->Count(), 1);
    // An end below the start examines nothing.
    EXPECT_EQ(GetCallStackByAddresses(0, start + 16, start, 3, true, true, -1, -1, kAllDebugDetails)->Count(), 0);

    // Items carry the walk's thread and flags; only the first address's is the error line.
    const std::vector<std::uint32_t> one = {value};
    const auto at = reinterpret_cast<std::uintptr_t>(one.data());
    auto flags = GetCallStackByAddresses(0x401000, at, at + 3, 42, false, true, -1, -1, kAllDebugDetails);
    ASSERT_EQ(flags->Count(), 2);
    EXPECT_EQ(flags->GetItem(1)->ThreadID, 42u);
    EXPECT_FALSE(flags->GetItem(1)->RunningThread);
    EXPECT_FALSE(flags->GetItem(1)->ErrorLine);
    EXPECT_EQ(flags->GetItem(1)->DebugDetail, ddNone);  // no module holds the page
    // A detail outside the set asked for is not kept.
    EXPECT_EQ(GetCallStackByAddresses(0, at, at + 3, 42, true, true, -1, -1, {ddModule, ddSourceCode})->Count(), 0);

    // Walks appended to one list stop at 1025 items.
    const std::vector<std::uint32_t> many(700, value);
    const auto manyStart = reinterpret_cast<std::uintptr_t>(many.data());
    TVexlorStackList list;
    ScanStackForReturnAddresses(list, 0, manyStart, manyStart + many.size() * 4 - 1, 1, true, true, -1, -1,
                                kAllDebugDetails);
    EXPECT_EQ(list.Count(), 700);
    ScanStackForReturnAddresses(list, 0x401000, manyStart, manyStart + many.size() * 4 - 1, 2, true, true, -1, -1,
                                kAllDebugDetails);
    EXPECT_EQ(list.Count(), kMaxStackItems);
    EXPECT_EQ(list.GetItem(700)->Addr, 0x401000u);
    EXPECT_EQ(list.GetItem(kMaxStackItems - 1)->ThreadID, 2u);
}

std::uintptr_t gFaultAt = 0;

// Resolves as the walk does, but faults on one address.
void FaultingResolver(std::uintptr_t x, std::uint32_t thread, TVexlorDebugInfo& item, bool errorLine, bool running)
{
    if (x == gFaultAt) {
        volatile std::uintptr_t nowhere = 0x10;
        item.Line = *reinterpret_cast<volatile std::uint32_t*>(nowhere);
    }
    GetDebugInfoByAddr(x, thread, item, errorLine, running);
}

TEST(CallTable, AFaultWhileASlotIsExaminedLosesThatSlotOnly)
{
    CodePage page;
    std::vector<std::uint32_t> stack;
    std::vector<std::uintptr_t> calls;
    for (int i = 0; i < 3; ++i) {
        const std::uintptr_t r = page.Place({0xFF, 0xD6});
        stack.push_back(static_cast<std::uint32_t>(r));
        calls.push_back(r - 2);
    }
    gFaultAt = calls[1];
    DebugInfoResolver.store(&FaultingResolver);
    const std::vector<std::uintptr_t> found = Walk(stack);
    DebugInfoResolver.store(&GetDebugInfoByAddr);
    EXPECT_EQ(Hex(found), Hex({calls[0], calls[2]}));
}

TEST(CallTable, Levels)
{
    CodePage page;
    std::vector<std::uint32_t> stack;
    std::vector<std::uintptr_t> calls;
    for (int i = 0; i < 7; ++i) {
        const std::uintptr_t r = page.Place({0xFF, 0xD1});
        stack.push_back(static_cast<std::uint32_t>(r));
        calls.push_back(r - 2);
    }
    const auto from = [&](std::size_t first, std::size_t count) {
        return std::vector<std::uintptr_t>(calls.begin() + first, calls.begin() + first + count);
    };
    EXPECT_EQ(Hex(Walk(stack, true, 0, 2, 3)), Hex(from(2, 3)));  // the third to the fifth
    EXPECT_EQ(Hex(Walk(stack, true, 0, -1, 2)), Hex(calls));      // -1: every item, whatever the count
    EXPECT_EQ(Hex(Walk(stack, true, 0, 5, 9)), Hex(from(5, 2)));
    EXPECT_EQ(Hex(Walk(stack, true, 0, 0, 0)), "");
    // The first address is the first level.
    std::vector<std::uintptr_t> withFirst = {0x401000};
    withFirst.push_back(calls[0]);
    EXPECT_EQ(Hex(Walk(stack, true, 0x401000, 0, 2)), Hex(withFirst));
    EXPECT_EQ(Hex(Walk(stack, true, 0x401000, 1, 1)), Hex(from(0, 1)));
}

}  // namespace
}  // namespace crash
