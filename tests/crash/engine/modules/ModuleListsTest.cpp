// The module list: records made at the first lookup, light records during a
// refresh, unloaded modules, and lookups while other threads refresh.
#include <gtest/gtest.h>

#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "crash/engine/EConsts.h"
#include "crash/engine/modules/ModuleLists.h"
#include "crash/engine/system/SystemInfo.h"
#include "rtl/Handles.h"
#include "tests/crash/engine/modules/ModuleFixtures.h"
#include "tests/support/TestFolders.h"

namespace crash {
namespace {

using testsupport::LoadFixture;

std::uint32_t HandleOf(HMODULE module)
{
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(module));
}

std::uint32_t ProcOf(HMODULE module, const char* name)
{
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(GetProcAddress(module, name)));
}

const TVexlorFunctionInfo* FindFunction(const TVexlorModuleInfo& module, const std::string& name)
{
    for (int i = 0; i < module.FunctionsList.Count(); ++i)
        if (module.FunctionsList.GetItem(i)->Name == name) return module.FunctionsList.GetItem(i);
    return nullptr;
}

// The record the list holds for the handle, without making one.
PVexlorModuleInfo ListedRecord(HMODULE module)
{
    rtl::TCriticalSectionLock hold(ModulesListLock());
    for (int i = 0; i < ModulesList()->Count(); ++i)
        if (ModulesList()->GetItem(i)->Handle == HandleOf(module)) return ModulesList()->GetItem(i);
    return nullptr;
}

class ModuleList : public ::testing::Test {
protected:
    void SetUp() override { CreateModuleLists(); }
    void TearDown() override
    {
        ModuleDebugReaders.ReadModuleData.Set(nullptr);
        FreeModuleLists();
    }
};

TEST_F(ModuleList, ZeroAndNonModulesGiveNothingAndAddNothing)
{
    EXPECT_EQ(ModuleInfoByHandle(nullptr), nullptr);
    const auto heap = std::make_unique<int[]>(256);
    EXPECT_EQ(ModuleInfoByHandle(reinterpret_cast<HMODULE>(heap.get())), nullptr);
    EXPECT_EQ(ModuleInfoByAddr(heap.get()), nullptr);
    const auto inside = reinterpret_cast<HMODULE>(reinterpret_cast<char*>(GetModuleHandleW(L"kernel32.dll")) + 0x1000);
    EXPECT_EQ(ModuleInfoByHandle(inside), nullptr);
    EXPECT_EQ(ModulesList()->Count(), 0);

    FreeModuleLists();
    EXPECT_EQ(ModuleInfoByHandle(GetModuleHandleW(L"kernel32.dll")), nullptr);  // no list, no record
}

TEST_F(ModuleList, FullRecordOfALibrary)
{
    const rtl::LibraryHandle fixture = LoadFixture(testsupport::kExportsFixture);
    ASSERT_TRUE(fixture);
    const HMODULE module = fixture.Get();
    const PVexlorModuleInfo record = ModuleInfoByHandle(module);
    ASSERT_NE(record, nullptr);

    const std::string name = GetModuleFullFileName(module);
    EXPECT_EQ(record->Handle, HandleOf(module));
    EXPECT_EQ(record->Name, name);
    EXPECT_EQ(record->Description, rtl::WideToAnsi(L"Проверочная библиотека экспорта"));
    EXPECT_EQ(record->Version, "1.2.3.4");
    EXPECT_EQ(record->Size, FileSizeByName(name));
    EXPECT_GT(record->Size, 0u);
    EXPECT_EQ(record->LastModified, GetModifiedDate(name));
    EXPECT_EQ(record->ModuleType, TVexlorModuleType::mtOSLibrary);
    EXPECT_FALSE(record->Light);
    EXPECT_TRUE(record->EncryptPassword.empty());
    EXPECT_TRUE(record->IsValidEncryptPassword);
    EXPECT_EQ(record->OtherDebugData, nullptr);
    // No data block: the library's own version, no date, no line tables.
    EXPECT_EQ(record->ExtraInformation.VexlorVersion, VexlorLogCurrentVersion);
    EXPECT_EQ(record->ExtraInformation.CompilationDate, 0);
    EXPECT_EQ(record->ExtraInformation.DebugInformation, nullptr);
    ASSERT_NE(record->ExtraInformation.Options, nullptr);
    EXPECT_EQ(record->ExtraInformation.Options->ModuleName(), name);

    // The system's own lookup is the oracle.
    for (const char* function : {"FixtureAdd", "FixtureMul", "FixtureNegate", "FixtureCount", "FixtureCounter"}) {
        SCOPED_TRACE(function);
        const TVexlorFunctionInfo* info = FindFunction(*record, function);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->Addr, ProcOf(module, function));
        EXPECT_EQ(info->Size, 0u);  // not measured yet
    }
    const TVexlorFunctionInfo* forwarded = FindFunction(*record, "FixtureTickCount");
    ASSERT_NE(forwarded, nullptr);
    EXPECT_EQ(forwarded->Addr, ProcOf(GetModuleHandleW(L"kernel32.dll"), "GetTickCount"));
    EXPECT_EQ(record->FunctionsList.Count(), 6);
    for (int i = 1; i < record->FunctionsList.Count(); ++i)
        EXPECT_LE(record->FunctionsList.GetItem(i - 1)->Addr, record->FunctionsList.GetItem(i)->Addr);

    // Later lookups, by handle or by any address inside, find the same record.
    EXPECT_EQ(ModuleInfoByHandle(module), record);
    EXPECT_EQ(ModuleInfoByAddr(reinterpret_cast<const void*>(GetProcAddress(module, "FixtureMul"))), record);
    EXPECT_EQ(ModulesList()->Count(), 1);
}

TEST_F(ModuleList, TypesAndVersionBlocks)
{
    static constexpr struct {
        const char* fixture;
        TVexlorModuleType type;
        const char* description;
        const char* version;
    } kCases[] = {
        {testsupport::kPackageFixture, TVexlorModuleType::mtBorlandPackage, "Package fixture", "10.4.2.1"},
        // One package resource is no package; 0.0.0.0 and "X" are no version
        // and no description.
        {testsupport::kHalfPackageFixture, TVexlorModuleType::mtOSLibrary, "", ""},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.fixture);
        const rtl::LibraryHandle fixture = LoadFixture(c.fixture);
        ASSERT_TRUE(fixture);
        const PVexlorModuleInfo record = ModuleInfoByHandle(fixture.Get());
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->ModuleType, c.type);
        EXPECT_EQ(record->Description, c.description);
        EXPECT_EQ(record->Version, c.version);
        EXPECT_EQ(record->FunctionsList.Count(), 6);
    }

    const PVexlorModuleInfo program = ModuleInfoByHandle(GetModuleHandleW(nullptr));
    ASSERT_NE(program, nullptr);
    EXPECT_EQ(program->ModuleType, TVexlorModuleType::mtMainModule);
    EXPECT_EQ(program->FunctionsList.Count(), 0);  // the program's exports are not read

    const PVexlorModuleInfo kernel = ModuleInfoByHandle(GetModuleHandleW(L"kernel32.dll"));
    ASSERT_NE(kernel, nullptr);
    EXPECT_EQ(kernel->ModuleType, TVexlorModuleType::mtOSLibrary);
    const TVexlorFunctionInfo* sleep = FindFunction(*kernel, "Sleep");
    ASSERT_NE(sleep, nullptr);
    EXPECT_EQ(sleep->Addr, ProcOf(GetModuleHandleW(L"kernel32.dll"), "Sleep"));
}

TEST_F(ModuleList, ExportDirectoryInTheLastSection)
{
    const rtl::LibraryHandle fixture = LoadFixture(testsupport::kEdataLastFixture);
    ASSERT_TRUE(fixture);
    const PVexlorModuleInfo record = ModuleInfoByHandle(fixture.Get());
    ASSERT_NE(record, nullptr);
    ASSERT_EQ(record->FunctionsList.Count(), 6);
    for (const char* function : {"FixtureAdd", "FixtureCounter", "FixtureTickCount"}) {
        SCOPED_TRACE(function);
        const TVexlorFunctionInfo* info = FindFunction(*record, function);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->Addr, ProcOf(fixture.Get(), function));
    }
}

TEST_F(ModuleList, NonZeroCharacteristicsGiveNoFunctions)
{
    const rtl::LibraryHandle fixture = LoadFixture(testsupport::kFlaggedFixture);
    ASSERT_TRUE(fixture);
    ASSERT_NE(GetProcAddress(fixture.Get(), "FixtureAdd"), nullptr);  // the loader does not mind
    const PVexlorModuleInfo record = ModuleInfoByHandle(fixture.Get());
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->FunctionsList.Count(), 0);
    EXPECT_EQ(record->ModuleType, TVexlorModuleType::mtOSLibrary);
}

// What a data reader sees while a refresh runs, and what a lookup from it
// answers for a module recorded by an earlier refresh.
struct TRefreshProbe {
    HMODULE FListed = nullptr;
    HMODULE FNew = nullptr;
    PVexlorModuleInfo FListedRecord = nullptr;
    std::atomic<int> FCalls{0};
    bool FLight = false;
    bool FRefreshing = false;
    PVexlorModuleInfo FLookup = nullptr;
};
TRefreshProbe* gProbe = nullptr;

bool ProbeReader(TVexlorModuleInfo& module, bool light)
{
    if (module.Handle != HandleOf(gProbe->FNew)) return false;
    ++gProbe->FCalls;
    gProbe->FLight = light;
    gProbe->FRefreshing = IsRefreshingModules();
    gProbe->FLookup = ModuleInfoByHandle(gProbe->FListed);
    return false;
}

TEST_F(ModuleList, LightRecordDuringARefreshFullOneAfter)
{
    const rtl::LibraryHandle fixture = LoadFixture(testsupport::kExportsFixture);
    ASSERT_TRUE(fixture);
    RefreshModulesList();
    const PVexlorModuleInfo light = ListedRecord(fixture.Get());
    ASSERT_NE(light, nullptr);
    EXPECT_TRUE(light->Light);
    EXPECT_EQ(light->ModuleType, TVexlorModuleType::mtUnknown);
    EXPECT_EQ(light->FunctionsList.Count(), 0);
    EXPECT_EQ(light->OtherDebugData, nullptr);
    EXPECT_EQ(light->Version, "1.2.3.4");  // the file's facts are there
    EXPECT_FALSE(IsRefreshingModules());

    // A module loaded now gets its record at the next refresh; a lookup made
    // meanwhile answers the earlier light record as it is.
    TRefreshProbe probe;
    probe.FListed = fixture.Get();
    const rtl::LibraryHandle other = LoadFixture(testsupport::kPackageFixture);
    ASSERT_TRUE(other);
    probe.FNew = other.Get();
    gProbe = &probe;
    ModuleDebugReaders.ReadModuleData.Set(ProbeReader);
    RefreshModulesList();
    EXPECT_EQ(probe.FCalls.load(), 1);
    EXPECT_TRUE(probe.FLight);
    EXPECT_TRUE(probe.FRefreshing);
    EXPECT_EQ(probe.FLookup, light);

    // After the refresh the first lookup makes the full record; the light
    // one stays readable for whoever points at it.
    const int retired = ModulesList()->RetiredCount();
    const PVexlorModuleInfo full = ModuleInfoByHandle(fixture.Get());
    ASSERT_NE(full, nullptr);
    EXPECT_NE(full, light);
    EXPECT_FALSE(full->Light);
    EXPECT_EQ(full->ModuleType, TVexlorModuleType::mtOSLibrary);
    EXPECT_EQ(full->FunctionsList.Count(), 6);
    EXPECT_EQ(ListedRecord(fixture.Get()), full);
    EXPECT_EQ(ModulesList()->RetiredCount(), retired + 1);
    EXPECT_EQ(light->Name, full->Name);
}

TEST_F(ModuleList, RefreshListsWhatToolHelpLists)
{
    RefreshModulesList();
    std::set<std::uint32_t> expected;
    const rtl::SnapshotHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, GetCurrentProcessId()));
    ASSERT_TRUE(snapshot);
    MODULEENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Module32First(snapshot.Get(), &entry); more; more = Module32Next(snapshot.Get(), &entry))
        expected.insert(HandleOf(entry.hModule));

    rtl::TCriticalSectionLock hold(ModulesListLock());
    std::vector<std::uint32_t> listed;
    for (int i = 0; i < ModulesList()->Count(); ++i) listed.push_back(ModulesList()->GetItem(i)->Handle);
    EXPECT_TRUE(std::is_sorted(listed.begin(), listed.end()));
    EXPECT_EQ(std::set<std::uint32_t>(listed.begin(), listed.end()), expected);
    EXPECT_EQ(listed.size(), expected.size());
}

TEST_F(ModuleList, UnloadedModuleLeavesTheListItsRecordStays)
{
    rtl::LibraryHandle fixture = LoadFixture(testsupport::kHalfPackageFixture);
    ASSERT_TRUE(fixture);
    const HMODULE module = fixture.Get();
    const PVexlorModuleInfo record = ModuleInfoByHandle(module);
    ASSERT_NE(record, nullptr);
    const std::string name = record->Name;
    ASSERT_TRUE(fixture.Close());
    ASSERT_EQ(GetModuleHandleA(name.c_str()), nullptr) << "still loaded";

    RefreshModulesList();
    EXPECT_EQ(ListedRecord(module), nullptr);
    EXPECT_EQ(ModuleInfoByHandle(module), nullptr);
    EXPECT_EQ(record->Name, name);  // a stack item pointing at it still reads it
    EXPECT_GE(ModulesList()->RetiredCount(), 1);
}

TEST_F(ModuleList, LibraryLoadedWhereAnUnloadedOneWasGetsItsOwnRecord)
{
    rtl::LibraryHandle first = LoadFixture(testsupport::kExportsFixture);
    ASSERT_TRUE(first);
    const HMODULE module = first.Get();
    const PVexlorModuleInfo old = ModuleInfoByHandle(module);
    ASSERT_NE(old, nullptr);
    ASSERT_EQ(old->FunctionsList.Count(), 6);
    first.Close();
    // A copy of the same library: it asks for the same base.
    const rtl::LibraryHandle second = LoadFixture(testsupport::kFlaggedFixture);
    ASSERT_TRUE(second);
    if (second.Get() != module) GTEST_SKIP() << "loaded elsewhere";
    const PVexlorModuleInfo record = ModuleInfoByHandle(second.Get());
    ASSERT_NE(record, nullptr);
    EXPECT_NE(record, old);
    EXPECT_EQ(record->Name, GetModuleFullFileName(second.Get()));
    EXPECT_EQ(record->FunctionsList.Count(), 0);
    EXPECT_EQ(old->FunctionsList.Count(), 6);  // kept for whoever points at it
    EXPECT_EQ(ListedRecord(second.Get()), record);
}

TEST_F(ModuleList, NameIsTheLongForm)
{
    const std::string folder =
        rtl::WideToAnsi(testsupport::EnvironmentFolder(L"VOLUMETRA_TEST_OUT")) + "\\A Folder With A Long Name";
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string file = folder + "\\a library with a long name.dll";
    ASSERT_TRUE(CopyFileA(testsupport::BesideProgram(testsupport::kHalfPackageFixture).c_str(), file.c_str(), FALSE));
    char shortName[MAX_PATH];
    ASSERT_GT(GetShortPathNameA(file.c_str(), shortName, MAX_PATH), 0u);
    ASSERT_NE(std::string(shortName), file);
    const rtl::LibraryHandle library(LoadLibraryA(shortName));
    ASSERT_TRUE(library);
    const PVexlorModuleInfo record = ModuleInfoByHandle(library.Get());
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->Name, GetLongNameFromShort(shortName));
    EXPECT_NE(record->Name.find("a library with a long name.dll"), std::string::npos) << record->Name;
}

TEST_F(ModuleList, LibraryFlag)
{
    const rtl::LibraryHandle fixture = LoadFixture(testsupport::kExportsFixture);
    ASSERT_TRUE(fixture);
    EXPECT_TRUE(IsLibraryModule(fixture.Get()));
    EXPECT_TRUE(IsLibraryModule(GetModuleHandleW(L"kernel32.dll")));
    EXPECT_FALSE(IsLibraryModule(GetModuleHandleW(nullptr)));
    // Unreadable headers: whether this library is in a DLL (it is in the program).
    const auto heap = std::make_unique<char[]>(64);
    EXPECT_FALSE(IsLibraryModule(reinterpret_cast<HMODULE>(heap.get())));
}

// Lookups from other threads while the list is refreshed and a module comes
// and goes: every record a lookup answered stays readable.
struct TLookupLoad {
    std::vector<const void*> FAddresses;
    std::atomic<bool> FStop{false};
    std::atomic<int> FLookups{0};
    std::atomic<int> FBadNames{0};
    std::vector<PVexlorModuleInfo> FSeen[4];
};

struct TLookupThread {
    TLookupLoad* FLoad;
    int FIndex;
};

DWORD WINAPI LookupLoop(void* parameter)
{
    auto* thread = static_cast<TLookupThread*>(parameter);
    TLookupLoad& load = *thread->FLoad;
    while (!load.FStop) {
        for (const void* address : load.FAddresses) {
            const PVexlorModuleInfo record = ModuleInfoByAddr(address);
            ++load.FLookups;
            if (!record) continue;
            if (record->Name.empty()) ++load.FBadNames;
            auto& seen = load.FSeen[thread->FIndex];
            if (seen.empty() || seen.back() != record) seen.push_back(record);
        }
    }
    return 0;
}

TEST_F(ModuleList, LookupsWhileOtherThreadsRefresh)
{
    const rtl::LibraryHandle fixture = LoadFixture(testsupport::kExportsFixture);
    ASSERT_TRUE(fixture);
    TLookupLoad load;
    load.FAddresses = {reinterpret_cast<const void*>(GetProcAddress(fixture.Get(), "FixtureAdd")),
                       reinterpret_cast<const void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "Sleep")),
                       reinterpret_cast<const void*>(&LookupLoop)};
    TLookupThread threads[4];
    rtl::KernelHandle handles[4];
    for (int i = 0; i < 4; ++i) {
        threads[i] = {&load, i};
        handles[i].Reset(CreateThread(nullptr, 0, LookupLoop, &threads[i], 0, nullptr));
        ASSERT_TRUE(handles[i]);
    }
    for (int round = 0; round < 15; ++round) {
        rtl::LibraryHandle passing = LoadFixture(testsupport::kPackageFixture);
        ASSERT_TRUE(passing);
        RefreshModulesList();
        ASSERT_NE(ModuleInfoByHandle(passing.Get()), nullptr);
        passing.Close();
        RefreshModulesList();
    }
    load.FStop = true;
    for (auto& handle : handles) EXPECT_EQ(WaitForSingleObject(handle.Get(), 30000), WAIT_OBJECT_0);

    EXPECT_GT(load.FLookups.load(), 0);
    EXPECT_EQ(load.FBadNames.load(), 0);
    for (const auto& seen : load.FSeen)
        for (const PVexlorModuleInfo record : seen) ASSERT_FALSE(record->Name.empty());
    // One record per module in the list, whatever the order of the races.
    rtl::TCriticalSectionLock hold(ModulesListLock());
    std::set<std::uint32_t> handlesListed;
    for (int i = 0; i < ModulesList()->Count(); ++i) handlesListed.insert(ModulesList()->GetItem(i)->Handle);
    EXPECT_EQ(static_cast<int>(handlesListed.size()), ModulesList()->Count());
}

}  // namespace
}  // namespace crash
