// Handle owners, module file names, typed entry points and entry tables.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "rtl/Handles.h"
#include "rtl/Libraries.h"
#include "rtl/SysUtils.h"

namespace {

std::wstring ScratchFolder()
{
    wchar_t folder[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"VOLUMETRA_TEST_OUT", folder, MAX_PATH);
    return length > 0 && length < MAX_PATH ? folder : L".";
}

// Each owner knows the "none" of its own kind: a failed FindFirstFile is
// INVALID_HANDLE_VALUE, a failed RegOpenKeyEx or MapViewOfFile is null.
TEST(Handles, EachOwnerClosesWithItsOwnFunctionAndKnowsItsOwnNone)
{
    EXPECT_EQ(rtl::FileHandle().Get(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(rtl::FindHandle().Get(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(rtl::KernelHandle().Get(), nullptr);
    EXPECT_EQ(rtl::RegistryKey().Get(), nullptr);

    WIN32_FIND_DATAW data;
    const rtl::FindHandle missing(FindFirstFileW((ScratchFolder() + L"\\no-such-file-*.none").c_str(), &data));
    EXPECT_FALSE(missing);
    rtl::FindHandle found(FindFirstFileW(rtl::ModuleFileName().c_str(), &data));
    ASSERT_TRUE(found);
    EXPECT_TRUE(found.Close());
    EXPECT_FALSE(found);
    EXPECT_TRUE(found.Close()) << "closing nothing is no failure";

    rtl::RegistryKey key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, key.Receive()), ERROR_SUCCESS);
    EXPECT_TRUE(key);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\No\\Such\\Key", 0, KEY_READ, key.Receive()),
              ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(key) << "Receive closed the key it held";

    // A view is unmapped when its owner goes, before the mapping is closed.
    const rtl::KernelHandle mapping(
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, nullptr));
    ASSERT_TRUE(mapping);
    void* base = nullptr;
    {
        const rtl::MappedView view(MapViewOfFile(mapping.Get(), FILE_MAP_WRITE, 0, 0, 0));
        ASSERT_TRUE(view);
        base = view.Get();
        static_cast<char*>(base)[0] = 1;
    }
    MEMORY_BASIC_INFORMATION region{};
    ASSERT_EQ(VirtualQuery(base, &region, sizeof region), sizeof region);
    EXPECT_EQ(region.State, static_cast<DWORD>(MEM_FREE));

    // Moving hands the value on; the source holds none.
    rtl::KernelHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const HANDLE value = event.Get();
    rtl::KernelHandle moved(std::move(event));
    EXPECT_FALSE(event);
    EXPECT_EQ(moved.Get(), value);
    EXPECT_EQ(moved.Release(), value);
    EXPECT_FALSE(moved);
    EXPECT_TRUE(CloseHandle(value)) << "released, not closed";
}

TEST(ModuleFileName, IsTheSystemsNameAndGrowsPastMaxPath)
{
    wchar_t oracle[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameW(nullptr, oracle, MAX_PATH), 0u);
    EXPECT_EQ(rtl::ModuleFileName(), oracle);
    EXPECT_EQ(rtl::ModuleFileNameAnsi(), rtl::WideToAnsi(oracle));
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    wchar_t kernelName[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameW(kernel, kernelName, MAX_PATH), 0u);
    EXPECT_EQ(rtl::ModuleFileName(kernel), kernelName);
    EXPECT_EQ(rtl::ModuleFileName(reinterpret_cast<HMODULE>(0x10)), L"") << "no such module";

    // A copy of this program, loaded from a folder whose path alone is longer
    // than MAX_PATH: a buffer of MAX_PATH would cut its name.
    std::wstring folder = L"\\\\?\\" + ScratchFolder();
    for (int i = 0; folder.size() < MAX_PATH + 40; ++i) {
        folder += L"\\long-folder-name-" + std::to_wstring(i);
        CreateDirectoryW(folder.c_str(), nullptr);
    }
    const std::wstring copy = folder + L"\\copy.exe";
    ASSERT_TRUE(CopyFileW(oracle, copy.c_str(), FALSE)) << GetLastError();
    const rtl::LibraryHandle module(LoadLibraryExW(copy.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES));
    ASSERT_TRUE(module) << GetLastError();
    const std::wstring name = rtl::ModuleFileName(module.Get());
    EXPECT_GT(name.size(), static_cast<size_t>(MAX_PATH));
    EXPECT_TRUE(name.ends_with(folder.substr(4) + L"\\copy.exe")) << rtl::WideToAnsi(name);
    EXPECT_EQ(rtl::ModuleFileNameAnsi(module.Get()), rtl::WideToAnsi(name));
}

// A table over kernel32: two entries it must have, one it may have.
struct KernelEntries {
    decltype(&::GetCurrentProcessId) CurrentProcessId = nullptr;
    decltype(&::GetTickCount) TickCount = nullptr;
    decltype(&::GetTickCount) Missing = nullptr;

    template <class TBinder>
    void BindEntries(TBinder& bind)
    {
        bind.Required(CurrentProcessId, "GetCurrentProcessId");
        bind.Required(TickCount, "GetTickCount");
        bind.Optional(Missing, "NoSuchEntryPoint");
    }
};

// The same with the missing entry required.
struct KernelEntriesRequiringTooMuch : KernelEntries {
    template <class TBinder>
    void BindEntries(TBinder& bind)
    {
        bind.Required(CurrentProcessId, "GetCurrentProcessId");
        bind.Required(Missing, "NoSuchEntryPoint");
        bind.Required(TickCount, "GetTickCount");
    }
};

TEST(EntryTable, AMissingEntryIsAResultAndARequiredOneEmptiesTheTable)
{
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    EXPECT_EQ(rtl::EntryPoint<decltype(::GetTickCount)>(kernel, "GetTickCount"), &::GetTickCount);
    EXPECT_EQ(rtl::EntryPoint<decltype(::GetTickCount)>(kernel, "NoSuchEntryPoint"), nullptr);
    EXPECT_EQ(rtl::EntryPoint<decltype(::GetTickCount)>(nullptr, "GetTickCount"), nullptr);

    KernelEntries table;
    rtl::EntryTableResult result = rtl::BindEntryTable(kernel, table);
    EXPECT_TRUE(result.Complete());
    ASSERT_EQ(result.missingOptional.size(), 1u);
    EXPECT_STREQ(result.missingOptional[0], "NoSuchEntryPoint");
    ASSERT_NE(table.CurrentProcessId, nullptr);
    EXPECT_EQ(table.CurrentProcessId(), GetCurrentProcessId());
    EXPECT_EQ(table.Missing, nullptr);

    KernelEntriesRequiringTooMuch strict;
    result = rtl::BindEntryTable(kernel, strict);
    EXPECT_FALSE(result.Complete());
    ASSERT_EQ(result.missingRequired.size(), 1u);
    EXPECT_STREQ(result.missingRequired[0], "NoSuchEntryPoint");
    EXPECT_EQ(strict.CurrentProcessId, nullptr) << "found before the missing one, and still emptied";
    EXPECT_EQ(strict.TickCount, nullptr);

    result = rtl::BindEntryTable(nullptr, table);
    EXPECT_EQ(result.missingRequired.size(), 2u);
    EXPECT_EQ(table.CurrentProcessId, nullptr);
}

TEST(RuntimeLibrary, HoldsTheLibraryOnlyWithEveryRequiredEntry)
{
    const rtl::RuntimeLibrary<KernelEntries> kernel(L"kernel32.dll");
    ASSERT_TRUE(kernel);
    EXPECT_EQ(kernel->CurrentProcessId(), GetCurrentProcessId());
    EXPECT_EQ(kernel.Module(), GetModuleHandleW(L"kernel32.dll"));

    SetLastError(0xdeadbeef);
    const rtl::RuntimeLibrary<KernelEntries> absent(L"no-such-library.dll");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND)) << "the load's own error is kept";
    EXPECT_FALSE(absent);
    EXPECT_EQ(absent->CurrentProcessId, nullptr);
    EXPECT_TRUE(absent.Result().missingRequired.empty()) << "nothing was looked up";

    // A library that lacks a required entry does not stay loaded.
    const HMODULE before = GetModuleHandleW(L"shfolder.dll");
    {
        rtl::RuntimeLibrary<KernelEntriesRequiringTooMuch> incomplete(L"shfolder.dll");
        EXPECT_FALSE(incomplete);
        EXPECT_EQ(incomplete.Result().missingRequired.size(), 3u);
        EXPECT_EQ(incomplete.Module(), nullptr);
    }
    if (before == nullptr) {
        EXPECT_EQ(GetModuleHandleW(L"shfolder.dll"), nullptr);
    }

    // Moved: the source's table goes with its library. Released: the library
    // stays loaded after the object has gone.
    rtl::RuntimeLibrary<KernelEntries> first(L"kernel32.dll");
    rtl::RuntimeLibrary<KernelEntries> second(std::move(first));
    EXPECT_FALSE(first);
    EXPECT_EQ(first->TickCount, nullptr);
    ASSERT_TRUE(second);
    const HMODULE kept = second.Release();
    EXPECT_FALSE(second);
    EXPECT_EQ(second->TickCount, nullptr);
    EXPECT_EQ(kept, GetModuleHandleW(L"kernel32.dll"));
    FreeLibrary(kept);
}

}  // namespace
