// Names of modules, the computer, the user and the owner.
#include <gtest/gtest.h>

#include <memory>

#include "crash/engine/system/SystemInfo.h"
#include "crash/engine/system/SystemInternal.h"

namespace crash {
namespace {

TEST(ModuleNames, InternalFormIsCutToTheDriveLetter)
{
    static const struct {
        const char* name;
        const char* cut;
    } kCases[] = {
        {"\\??\\C:\\Windows\\system32\\x.dll", "C:\\Windows\\system32\\x.dll"},
        {"\\\\?\\D:\\Long\\y.dll", "D:\\Long\\y.dll"},
        {"C:\\plain\\z.dll", "C:\\plain\\z.dll"},
        {"\\??\\UNC\\server\\share\\w.dll", "\\??\\UNC\\server\\share\\w.dll"},  // no drive: as it is
        {"", ""},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(system::CutInternalPathPrefix(c.name), c.cut);
    }
}

TEST(ModuleNames, LoadedModulesOnly)
{
    char kernel[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(GetModuleHandleW(L"kernel32.dll"), kernel, MAX_PATH), 0u);
    EXPECT_EQ(GetModuleFullFileName(GetModuleHandleW(L"kernel32.dll")), GetLongNameFromShort(kernel));
    EXPECT_TRUE(IsValidModuleHandle(GetModuleHandleW(L"kernel32.dll")));

    const auto heap = std::make_unique<int[]>(1024);
    EXPECT_EQ(GetModuleFullFileName(reinterpret_cast<HMODULE>(heap.get())), "");
    EXPECT_FALSE(IsValidModuleHandle(reinterpret_cast<HMODULE>(heap.get())));
    // Wine: an address inside a module names none either.
    EXPECT_FALSE(IsValidModuleHandle(
        reinterpret_cast<HMODULE>(reinterpret_cast<char*>(GetModuleHandleW(L"kernel32.dll")) + 0x1000)));

    // The library is linked into the test program.
    char program[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(nullptr, program, MAX_PATH), 0u);
    EXPECT_EQ(ThisModuleFileName(), GetLongNameFromShort(program));
}

TEST(RegisteredOwner, FirstValueThatNamesSomebody)
{
    static const struct {
        const char* values[3];
        bool vista;
        const char* owner;
    } kCases[] = {
        {{"Ivan", "Pyotr", "Anna"}, true, "Ivan"},
        {{"", "Pyotr", "Anna"}, true, "Pyotr"},
        {{"", "", "Anna"}, false, "Anna"},
        {{"Microsoft", "", "Anna"}, true, "Anna"},        // setup's placeholder
        {{"Microsoft", "", "Anna"}, false, "Microsoft"},  // a name before Vista
        {{"", "", ""}, true, ""},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.owner);
        const std::string values[3] = {c.values[0], c.values[1], c.values[2]};
        EXPECT_EQ(system::ChooseRegisteredOwner(values, c.vista), c.owner);
    }
}

}  // namespace
}  // namespace crash
