// The machine's processes: the list rebuilt for each report, by the Tool Help
// walk or by opening each process, and the own process's parent.
#include <windows.h>

#include <tlhelp32.h>
#include <psapi.h>

#include "crash/engine/modules/ModulesInternal.h"
#include "crash/engine/system/SystemInfo.h"
#include "rtl/Handles.h"
#include "rtl/Libraries.h"
#include "rtl/SysUtils.h"

namespace crash {

namespace {

struct TPsapiProcesses {
    decltype(&::GetProcessMemoryInfo) GetProcessMemoryInfo = nullptr;
    decltype(&::GetModuleFileNameExA) GetModuleFileNameExA = nullptr;
    decltype(&::EnumProcesses) EnumProcesses = nullptr;
    template <class TBinder>
    void BindEntries(TBinder& bind)
    {
        bind.Optional(GetProcessMemoryInfo, "GetProcessMemoryInfo");
        bind.Optional(GetModuleFileNameExA, "GetModuleFileNameExA");
        bind.Optional(EnumProcesses, "EnumProcesses");
    }
};

// Every entry optional: a missing one leaves out the step that needs it.
struct TToolhelpProcesses {
    decltype(&::CreateToolhelp32Snapshot) CreateToolhelp32Snapshot = nullptr;
    decltype(&::Process32First) Process32First = nullptr;
    decltype(&::Process32Next) Process32Next = nullptr;
    decltype(&::Thread32First) Thread32First = nullptr;
    decltype(&::Thread32Next) Thread32Next = nullptr;
    decltype(&::Module32First) Module32First = nullptr;
    decltype(&::Module32Next) Module32Next = nullptr;
    template <class TBinder>
    void BindEntries(TBinder& bind)
    {
        bind.Optional(CreateToolhelp32Snapshot, "CreateToolhelp32Snapshot");
        bind.Optional(Process32First, "Process32First");
        bind.Optional(Process32Next, "Process32Next");
        bind.Optional(Thread32First, "Thread32First");
        bind.Optional(Thread32Next, "Thread32Next");
        bind.Optional(Module32First, "Module32First");
        bind.Optional(Module32Next, "Module32Next");
    }
};

class TProcessWalk {
public:
    TProcessWalk(TVexlorProcessesList& list) : FList(list), FPsapi(L"psapi.dll")
    {
        rtl::BindEntryTable(::GetModuleHandleW(L"kernel32.dll"), FToolhelp);
    }

    bool CanWalkProcesses() const noexcept
    {
        return FToolhelp.CreateToolhelp32Snapshot && FToolhelp.Process32First && FToolhelp.Process32Next;
    }

    void AddByEnumProcesses()
    {
        if (!FPsapi->EnumProcesses) return;
        DWORD ids[1025];
        DWORD bytes = 0;
        if (!FPsapi->EnumProcesses(ids, sizeof ids, &bytes)) return;
        for (DWORD i = 0; i < bytes / sizeof(DWORD); ++i) AddByOpening(ids[i], std::string());
    }

    // The Tool Help walk; true when the records got their thread counts.
    bool AddByProcessWalk(bool bySnapshot)
    {
        if (!CanWalkProcesses()) return false;
        const rtl::SnapshotHandle snapshot(FToolhelp.CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
        if (!snapshot) return false;
        PROCESSENTRY32 entry{};
        entry.dwSize = sizeof entry;
        for (BOOL more = FToolhelp.Process32First(snapshot.Get(), &entry); more;
             more = FToolhelp.Process32Next(snapshot.Get(), &entry)) {
            const std::string exeName(entry.szExeFile, ::strnlen(entry.szExeFile, sizeof entry.szExeFile));
            if (bySnapshot)
                AddFromEntry(entry, exeName);
            else
                AddByOpening(entry.th32ProcessID, exeName);
        }
        return bySnapshot;
    }

    void CountThreads()
    {
        if (!FToolhelp.CreateToolhelp32Snapshot || !FToolhelp.Thread32First || !FToolhelp.Thread32Next) return;
        const rtl::SnapshotHandle snapshot(FToolhelp.CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
        if (!snapshot) return;
        THREADENTRY32 entry{};
        entry.dwSize = sizeof entry;
        TVexlorProcessInfo* owner = nullptr;
        for (BOOL more = FToolhelp.Thread32First(snapshot.Get(), &entry); more;
             more = FToolhelp.Thread32Next(snapshot.Get(), &entry)) {
            // A process's threads mostly come one after the other.
            if (!owner || owner->ProcessID != entry.th32OwnerProcessID) owner = Find(entry.th32OwnerProcessID);
            if (owner) ++owner->Threads;
        }
    }

private:
    void AddByOpening(DWORD processId, const std::string& exeName)
    {
        const rtl::KernelHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
        if (!process) return;
        std::string name = exeName;
        if (FPsapi->GetModuleFileNameExA) {
            char path[MAX_PATH] = {};
            // A path that cannot be read leaves the walk's name of the executable.
            const DWORD length = FPsapi->GetModuleFileNameExA(process.Get(), nullptr, path, MAX_PATH);
            if (length > 0 && length < MAX_PATH) name.assign(path, length);
        }
        name = std::string(rtl::Trim(name));
        if (name.empty()) return;
        auto record = std::make_unique<TVexlorProcessInfo>();
        record->ProcessID = processId;
        record->Name = name;
        GetFileDescriptionAndVersion(name, record->Description, record->Version);
        record->Priority = ::GetPriorityClass(process.Get());
        record->Memory = WorkingSetOf(process.Get());
        FList.Add(std::move(record));
    }

    // The working set in bytes; 0 (not measured) when it cannot be read.
    std::uint32_t WorkingSetOf(HANDLE process) const
    {
        PROCESS_MEMORY_COUNTERS counters{};
        counters.cb = sizeof counters;
        if (!FPsapi->GetProcessMemoryInfo || !FPsapi->GetProcessMemoryInfo(process, &counters, sizeof counters))
            return 0;
        return static_cast<std::uint32_t>(counters.WorkingSetSize);
    }

    // The class and working set of a process the snapshot lists: the entry's
    // base priority is a class only on Windows (Wine gives every process 2),
    // so the process itself is asked when it can be opened with the limited
    // rights the snapshot method's systems grant; else the entry's base
    // priority stands and the memory stays unmeasured.
    void ReadOpenedFacts(DWORD processId, TVexlorProcessInfo& record) const
    {
        rtl::KernelHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ, FALSE, processId));
        if (!process) process.Reset(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
        if (!process) return;
        if (const DWORD priority = ::GetPriorityClass(process.Get()); priority != 0) record.Priority = priority;
        record.Memory = WorkingSetOf(process.Get());
    }

    void AddFromEntry(const PROCESSENTRY32& entry, const std::string& exeName)
    {
        if (exeName.empty()) return;
        auto record = std::make_unique<TVexlorProcessInfo>();
        record->ProcessID = entry.th32ProcessID;
        record->Name = exeName;
        // A name without extension is no file (the system's pseudo processes).
        const bool isFile = exeName.find('.') != std::string::npos;
        if (isFile) {
            record->Name = std::string(rtl::Trim(ExecutablePath(entry.th32ProcessID, exeName)));
            GetFileDescriptionAndVersion(record->Name, record->Description, record->Version);
        }
        record->Priority = modules::PriorityOfBasePriority(entry.pcPriClassBase);
        ReadOpenedFacts(entry.th32ProcessID, *record);
        record->Threads = entry.cntThreads;
        FList.Add(std::move(record));
    }

    // The full path of the process's module named like its executable; the
    // name itself when none is found.
    std::string ExecutablePath(DWORD processId, const std::string& exeName)
    {
        if (!FToolhelp.CreateToolhelp32Snapshot || !FToolhelp.Module32First || !FToolhelp.Module32Next) return exeName;
        const rtl::SnapshotHandle snapshot(FToolhelp.CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId));
        if (!snapshot) return exeName;
        MODULEENTRY32 entry{};
        entry.dwSize = sizeof entry;
        for (BOOL more = FToolhelp.Module32First(snapshot.Get(), &entry); more;
             more = FToolhelp.Module32Next(snapshot.Get(), &entry))
            if (::lstrcmpiA(entry.szModule, exeName.c_str()) == 0)
                return std::string(entry.szExePath, ::strnlen(entry.szExePath, sizeof entry.szExePath));
        return exeName;
    }

    TVexlorProcessInfo* Find(DWORD processId) const noexcept
    {
        int low = 0;
        int high = FList.Count() - 1;
        while (low <= high) {
            const int middle = (low + high) / 2;
            TVexlorProcessInfo* item = FList.GetItem(middle);
            if (item->ProcessID == processId) return item;
            if (item->ProcessID < processId)
                low = middle + 1;
            else
                high = middle - 1;
        }
        return nullptr;
    }

    TVexlorProcessesList& FList;
    rtl::RuntimeLibrary<TPsapiProcesses> FPsapi;
    TToolhelpProcesses FToolhelp;
};

}  // namespace

namespace modules {

std::uint32_t PriorityOfBasePriority(LONG basePriority) noexcept
{
    if (basePriority == 0) return 0;
    if (basePriority < 6) return IDLE_PRIORITY_CLASS;
    if (basePriority < 8) return BELOW_NORMAL_PRIORITY_CLASS;
    if (basePriority < 10) return NORMAL_PRIORITY_CLASS;
    if (basePriority < 13) return ABOVE_NORMAL_PRIORITY_CLASS;
    if (basePriority < 24) return HIGH_PRIORITY_CLASS;
    return REALTIME_PRIORITY_CLASS;
}

void FillProcessesList(TVexlorProcessesList& list, TProcessListMethod method)
{
    list.Clear();
    TProcessWalk walk(list);
    bool threadsCounted = false;
    if (method == TProcessListMethod::plmEnumProcesses ||
        (method == TProcessListMethod::plmBySystem && OSIsWindowsNT4()))
        walk.AddByEnumProcesses();
    else
        threadsCounted = walk.AddByProcessWalk(method == TProcessListMethod::plmBySystem && OSIsVistaOrLater());
    list.Sort([](const TVexlorProcessInfo& a, const TVexlorProcessInfo& b) { return a.ProcessID < b.ProcessID; });
    if (!threadsCounted) walk.CountThreads();
}

}  // namespace modules

void RefreshProcessesList()
{
    if (TVexlorProcessesList* list = ProcessesList())
        modules::FillProcessesList(*list, modules::TProcessListMethod::plmBySystem);
}

DWORD GetParentProcessID()
{
    const rtl::SnapshotHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return 0;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    const DWORD self = ::GetCurrentProcessId();
    for (BOOL more = ::Process32First(snapshot.Get(), &entry); more; more = ::Process32Next(snapshot.Get(), &entry))
        if (entry.th32ProcessID == self) return entry.th32ParentProcessID;
    return 0;
}

}  // namespace crash
