// The module list: its records, made at the first lookup of a module, its
// lock, and its refresh before a report.
#include <windows.h>

#include <tlhelp32.h>
#include <psapi.h>

#include <atomic>

#include "crash/engine/EConsts.h"
#include "crash/engine/modules/ModulesInternal.h"
#include "crash/engine/options/ModuleOptionsEx.h"
#include "crash/engine/options/OptionsSharedMapping.h"
#include "crash/engine/system/SystemInfo.h"
#include "rtl/Handles.h"
#include "rtl/Libraries.h"

namespace crash {

namespace {

// Both lists are made and freed under the module list's lock; the process
// list is only used by the report besides.
std::atomic<TVexlorModulesList*> gModules{nullptr};
std::atomic<TVexlorProcessesList*> gProcesses{nullptr};
// A count, not a flag, so that a refresh ending in one thread does not end
// another's.
std::atomic<int> gRefreshing{0};

class TRefreshScope {
public:
    TRefreshScope() noexcept { ++gRefreshing; }
    ~TRefreshScope() { --gRefreshing; }
    TRefreshScope(const TRefreshScope&) = delete;
    TRefreshScope& operator=(const TRefreshScope&) = delete;
};

std::uint32_t HandleValue(HMODULE module) noexcept
{
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(module));
}

int IndexOfHandle(const TVexlorModulesList& list, std::uint32_t handle) noexcept
{
    for (int i = 0; i < list.Count(); ++i)
        if (list.GetItem(i)->Handle == handle) return i;
    return -1;
}

// Whether a lookup may answer the record as it is: a light record only while
// a refresh runs.
bool IsCurrent(const TVexlorModuleInfo& record) noexcept
{
    return !record.Light || IsRefreshingModules();
}

struct TPsapiModules {
    decltype(&::EnumProcessModules) EnumProcessModules = nullptr;
    template <class TBinder>
    void BindEntries(TBinder& bind)
    {
        bind.Required(EnumProcessModules, "EnumProcessModules");
    }
};

struct TToolhelpModules {
    decltype(&::CreateToolhelp32Snapshot) CreateToolhelp32Snapshot = nullptr;
    decltype(&::Module32First) Module32First = nullptr;
    decltype(&::Module32Next) Module32Next = nullptr;
    template <class TBinder>
    void BindEntries(TBinder& bind)
    {
        bind.Required(CreateToolhelp32Snapshot, "CreateToolhelp32Snapshot");
        bind.Required(Module32First, "Module32First");
        bind.Required(Module32Next, "Module32Next");
    }
};

std::vector<HMODULE> EnumerateByPsapi()
{
    std::vector<HMODULE> modules;
    const rtl::RuntimeLibrary<TPsapiModules> psapi(L"psapi.dll");
    if (!psapi) return modules;
    const rtl::KernelHandle process(
        ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, ::GetCurrentProcessId()));
    if (!process) return modules;
    // Modules loaded between the two calls make the second one ask for more.
    DWORD needed = 0;
    if (!psapi->EnumProcessModules(process.Get(), nullptr, 0, &needed)) return modules;
    for (int attempt = 0; attempt < 4; ++attempt) {
        modules.resize(needed / sizeof(HMODULE));
        const DWORD size = static_cast<DWORD>(modules.size() * sizeof(HMODULE));
        if (!psapi->EnumProcessModules(process.Get(), modules.data(), size, &needed)) break;
        if (needed <= size) {
            modules.resize(needed / sizeof(HMODULE));
            return modules;
        }
    }
    modules.clear();
    return modules;
}

std::vector<HMODULE> EnumerateByToolhelp()
{
    std::vector<HMODULE> modules;
    TToolhelpModules toolhelp;
    if (!rtl::BindEntryTable(::GetModuleHandleW(L"kernel32.dll"), toolhelp).Complete()) return modules;
    const rtl::SnapshotHandle snapshot(toolhelp.CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, ::GetCurrentProcessId()));
    if (!snapshot) return modules;
    MODULEENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = toolhelp.Module32First(snapshot.Get(), &entry); more;
         more = toolhelp.Module32Next(snapshot.Get(), &entry))
        modules.push_back(entry.hModule);
    return modules;
}

}  // namespace

// ---- Lists --------------------------------------------------------------------------

void TVexlorModulesList::Delete(int index)
{
    if (index < 0 || index >= Count()) return;
    FRetired.push_back(std::move(FItems[static_cast<std::size_t>(index)]));
    FItems.erase(FItems.begin() + index);
}

int CompareModuleHandles(const TVexlorModuleInfo* a, const TVexlorModuleInfo* b) noexcept
{
    // Compared, not subtracted: handles 2 GB apart would overflow the difference.
    return a->Handle < b->Handle ? -1 : a->Handle > b->Handle ? 1 : 0;
}

rtl::TCriticalSection& ModulesListLock() noexcept
{
    static rtl::TCriticalSection lock;
    return lock;
}

void CreateModuleLists()
{
    rtl::TCriticalSectionLock hold(ModulesListLock());
    if (!gModules.load()) gModules = new TVexlorModulesList;
    if (!gProcesses.load()) gProcesses = new TVexlorProcessesList;
}

void FreeModuleLists() noexcept
{
    rtl::TCriticalSectionLock hold(ModulesListLock());
    delete gModules.exchange(nullptr);
    delete gProcesses.exchange(nullptr);
}

TVexlorModulesList* ModulesList() noexcept
{
    return gModules.load();
}

TVexlorProcessesList* ProcessesList() noexcept
{
    return gProcesses.load();
}

bool IsRefreshingModules() noexcept
{
    return gRefreshing.load() > 0;
}

// ---- Records ------------------------------------------------------------------------

namespace modules {

std::unique_ptr<TVexlorModuleInfo> MakeModuleRecord(HMODULE module, const std::string& fileName, bool full)
{
    auto record = std::make_unique<TVexlorModuleInfo>();
    record->Handle = HandleValue(module);
    record->Name = fileName;
    // The file's date and size from one look at it: under Wine each look
    // into a system folder costs a third of a millisecond.
    WIN32_FIND_DATAA file;
    if (const rtl::FindHandle find(::FindFirstFileA(fileName.c_str(), &file)); find) {
        record->LastModified = GetModifiedDate(file.ftLastWriteTime);
        record->Size = file.nFileSizeLow;
    }
    GetFileDescriptionAndVersion(fileName, record->Description, record->Version);
    const bool refreshing = IsRefreshingModules();
    record->Light = !full || refreshing;
    if (!record->Light) {
        if (module != ::GetModuleHandleW(nullptr))
            ReadExportTable(reinterpret_cast<std::uintptr_t>(module), record->FunctionsList,
                            QueryWindowsVersion().PlatformId == VER_PLATFORM_WIN32_WINDOWS);
        record->ModuleType = ModuleTypeOf(module, fileName);
    }
    TVexlorExtraInformation& extra = record->ExtraInformation;
    extra.Options = CreateModuleOptionsFor(module, fileName);
    bool hasData = false;
    if (full) {
        // A reader that fails counts as no data: a lookup never raises.
        try {
            hasData = ModuleDebugReaders.ReadModuleData(*record, refreshing);
        } catch (...) {
            hasData = false;
        }
        // Another module's own options give way to those it shares in the
        // process, which may have changed since it was built.
        if (hasData && module != LibraryModuleHandle()) ReadSharedOptions(extra.Options.get());
    }
    if (!hasData) {
        extra.VexlorVersion = VexlorLogCurrentVersion;
        extra.CompilationDate = 0;
        extra.DebugInformation.reset();
        if (!record->Light) {
            try {
                record->OtherDebugData = ModuleDebugReaders.AssignValidDebugInfo(*record);
            } catch (...) {
                record->OtherDebugData.reset();
            }
        }
    }
    return record;
}

std::vector<HMODULE> EnumerateModules()
{
    if (QueryWindowsVersion().PlatformId == VER_PLATFORM_WIN32_NT)
        if (std::vector<HMODULE> modules = EnumerateByPsapi(); !modules.empty()) return modules;
    return EnumerateByToolhelp();
}

}  // namespace modules

// ---- Lookups ------------------------------------------------------------------------

PVexlorModuleInfo ModuleInfoByHandle(HMODULE module)
{
    if (!module) return nullptr;
    const std::uint32_t handle = HandleValue(module);
    PVexlorModuleInfo listed = nullptr;
    std::string listedName;
    {
        rtl::TCriticalSectionLock hold(ModulesListLock());
        TVexlorModulesList* list = ModulesList();
        if (!list) return nullptr;
        const int index = IndexOfHandle(*list, handle);
        if (index >= 0 && IsCurrent(*list->GetItem(index))) {
            listed = list->GetItem(index);
            listedName = listed->Name;
        }
    }
    // Asking the loader happens outside the lock: a thread that holds the
    // loader's lock may be waiting for ours to look an address up.
    const std::string loaderName = rtl::ModuleFileNameAnsi(module);
    if (loaderName.empty()) return nullptr;
    // A library loaded where an unloaded one was (both prefer the same base)
    // must not take the other's record, which stays until the next refresh.
    std::string name;
    if (listed) {
        if (::lstrcmpiA(listedName.c_str(), loaderName.c_str()) == 0) return listed;
        name = GetModuleFullFileName(module);
        if (::lstrcmpiA(listedName.c_str(), name.c_str()) == 0) return listed;
    } else {
        name = GetModuleFullFileName(module);
    }
    if (name.empty()) return nullptr;
    std::unique_ptr<TVexlorModuleInfo> record = modules::MakeModuleRecord(module, name, true);

    rtl::TCriticalSectionLock hold(ModulesListLock());
    TVexlorModulesList* list = ModulesList();
    if (!list) return nullptr;
    // Another thread may have added the module meanwhile: its record wins.
    const int index = IndexOfHandle(*list, handle);
    if (index >= 0) {
        const PVexlorModuleInfo other = list->GetItem(index);
        if (IsCurrent(*other) && ::lstrcmpiA(other->Name.c_str(), name.c_str()) == 0) return other;
        list->Delete(index);
    }
    return list->GetItem(list->Add(std::move(record)));
}

HMODULE ModuleHandleByAddr(const void* address) noexcept
{
    MEMORY_BASIC_INFORMATION info;
    if (!address || ::VirtualQuery(address, &info, sizeof info) != sizeof info) return nullptr;
    if (info.State != MEM_COMMIT || info.Type != MEM_IMAGE) return nullptr;
    return static_cast<HMODULE>(info.AllocationBase);
}

PVexlorModuleInfo ModuleInfoByAddr(const void* address)
{
    return ModuleInfoByHandle(ModuleHandleByAddr(address));
}

// ---- Refresh ------------------------------------------------------------------------

void RefreshModulesList()
{
    if (!ModulesList()) return;
    // Asking the loader happens outside the lock (see ModuleInfoByHandle):
    // first the handles, then which are gone, then their records out.
    std::vector<std::uint32_t> handles;
    {
        rtl::TCriticalSectionLock hold(ModulesListLock());
        if (TVexlorModulesList* list = ModulesList())
            for (int i = 0; i < list->Count(); ++i) handles.push_back(list->GetItem(i)->Handle);
    }
    std::vector<std::uint32_t> gone;
    for (const std::uint32_t handle : handles)
        if (rtl::ModuleFileName(reinterpret_cast<HMODULE>(static_cast<std::uintptr_t>(handle))).empty())
            gone.push_back(handle);
    if (!gone.empty()) {
        rtl::TCriticalSectionLock hold(ModulesListLock());
        if (TVexlorModulesList* list = ModulesList())
            for (const std::uint32_t handle : gone)
                if (const int index = IndexOfHandle(*list, handle); index >= 0) list->Delete(index);
    }

    {
        const TRefreshScope refreshing;
        for (const HMODULE module : modules::EnumerateModules()) ModuleInfoByHandle(module);
    }

    rtl::TCriticalSectionLock hold(ModulesListLock());
    if (TVexlorModulesList* list = ModulesList())
        list->Sort([](const TVexlorModuleInfo& a, const TVexlorModuleInfo& b) { return a.Handle < b.Handle; });
}

}  // namespace crash
