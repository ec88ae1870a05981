// The switches of the public interface, the host module, the library's
// options as the interface hands them out, the last exception and the compile
// date.
#include <windows.h>

#include <algorithm>
#include <exception>

#include "crash/engine/EConsts.h"
#include "crash/engine/EDebugData.h"
#include "crash/engine/api/PublicInterface.h"
#include "crash/engine/events/ExceptionEvents.h"
#include "crash/engine/modules/ModuleLists.h"
#include "crash/engine/objects/ObjectsAndWindows.h"
#include "crash/engine/pipeline/ReportContext.h"
#include "crash/engine/system/SystemInfo.h"
#include "rtl/ExceptHooks.h"

namespace crash {

extern "C" {
bool CallFromCOMObject = false;
bool CallForGetLogText = false;
const char* CustomSmtpHeloCommand = nullptr;
}

std::atomic<bool> ForwardToHost{false};
std::atomic<bool> HookingModule{false};
std::atomic<bool> TerminateApplicationRequested{false};

namespace {

std::atomic<bool> gInstalled{false};
std::atomic<bool> gActive{false};
std::atomic<HMODULE> gMainInstance{nullptr};

// The thread switch list. The lock is a constant-initialised slim lock, so
// that a thread asking before start-up or after shut-down finds it; the list
// itself exists only while the library is in force.
SRWLOCK gThreadSwitchLock = SRWLOCK_INIT;
std::vector<DWORD>* gThreadSwitchList = nullptr;

class TSharedGuard {
public:
    TSharedGuard() noexcept { ::AcquireSRWLockShared(&gThreadSwitchLock); }
    ~TSharedGuard() { ::ReleaseSRWLockShared(&gThreadSwitchLock); }
    TSharedGuard(const TSharedGuard&) = delete;
    TSharedGuard& operator=(const TSharedGuard&) = delete;
};
class TExclusiveGuard {
public:
    TExclusiveGuard() noexcept { ::AcquireSRWLockExclusive(&gThreadSwitchLock); }
    ~TExclusiveGuard() { ::ReleaseSRWLockExclusive(&gThreadSwitchLock); }
    TExclusiveGuard(const TExclusiveGuard&) = delete;
    TExclusiveGuard& operator=(const TExclusiveGuard&) = delete;
};

// The metadata file and its library, changed on the application's thread.
rtl::TCriticalSection* MetadataLock()
{
    static rtl::TCriticalSection lock;
    return &lock;
}
std::string gMetadataFilePath;
HMODULE gMetadataLibrary = nullptr;

std::string LibraryModuleFileName()
{
    return ExtractFileName(GetModuleFullFileName(LibraryModuleHandle()));
}

TVexlorModuleOptions* OptionsOfModule(HMODULE module) noexcept
{
    try {
        if (ModulesList() == nullptr || module == nullptr) return nullptr;
        rtl::TCriticalSectionLock lock(ModulesListLock());
        const PVexlorModuleInfo info = ModuleInfoByHandle(module);
        return info != nullptr ? info->ExtraInformation.Options.get() : nullptr;
    } catch (...) {
        return nullptr;
    }
}

}  // namespace

void VexlorLogAssert(const std::string& message)
{
    throw EAssertionFailed(message + " (ExceptionLog)");
}

bool IsVexlorLogInstalled() noexcept
{
    return gInstalled.load(std::memory_order_acquire);
}

void SetVexlorLogInstalled(bool value) noexcept
{
    gInstalled.store(value, std::memory_order_release);
    // The pipeline reads its own copy of the switch.
    if (TPipelineState* state = PipelineStateOrNull()) state->Installed.store(value);
}

bool IsVexlorLogActive() noexcept
{
    return gActive.load(std::memory_order_acquire);
}

void SetVexlorLogState(bool active) noexcept
{
    gActive.store(active, std::memory_order_release);
    if (TPipelineState* state = PipelineStateOrNull()) state->Active.store(active);
}

bool IsVexlorLogActiveInThread(DWORD threadId) noexcept
{
    TSharedGuard guard;
    if (gThreadSwitchList == nullptr) return true;
    return std::find(gThreadSwitchList->begin(), gThreadSwitchList->end(), threadId) == gThreadSwitchList->end();
}

void SetVexlorLogInThread(DWORD threadId, bool activate)
{
    TExclusiveGuard guard;
    if (gThreadSwitchList == nullptr) return;
    std::vector<DWORD>& list = *gThreadSwitchList;
    const auto found = std::find(list.begin(), list.end(), threadId);
    if (activate) {
        if (found != list.end()) list.erase(found);
    } else if (found == list.end()) {
        list.push_back(threadId);
    }
}

void CreateThreadSwitchList()
{
    auto list = std::make_unique<std::vector<DWORD>>();
    TExclusiveGuard guard;
    if (gThreadSwitchList == nullptr) gThreadSwitchList = list.release();
}

void FreeThreadSwitchList() noexcept
{
    std::vector<DWORD>* list = nullptr;
    {
        TExclusiveGuard guard;
        std::swap(list, gThreadSwitchList);
    }
    delete list;
}

int ThreadSwitchCount() noexcept
{
    TSharedGuard guard;
    return gThreadSwitchList != nullptr ? static_cast<int>(gThreadSwitchList->size()) : 0;
}

HMODULE MainInstance() noexcept
{
    return gMainInstance.load(std::memory_order_acquire);
}

void SetMainInstance(HMODULE module) noexcept
{
    gMainInstance.store(module, std::memory_order_release);
}

bool ComputeForwardToHost()
{
    const HMODULE host = MainInstance();
    return host != nullptr && host != LibraryModuleHandle() && IsVexlorLogModule(host) &&
           NormalizeVexlorVersion(GetVexlorLogModuleVersion(host)) >= VexlorLogCurrentVersion;
}

void PickHostModule()
{
    if (MainInstance() != nullptr || ModulesList() == nullptr) return;
    RefreshModulesList();
    rtl::TCriticalSectionLock lock(ModulesListLock());
    TVexlorModulesList* list = ModulesList();
    for (int i = 0; i < list->Count(); ++i) {
        const auto module = reinterpret_cast<HMODULE>(static_cast<std::uintptr_t>(list->Items(i)->Handle));
        if (!IsLibraryModule(module) && IsVexlorLogModule(module)) {
            SetMainInstance(module);
            return;
        }
    }
}

TVexlorModuleOptions* LibraryModuleOptions() noexcept
{
    return IsVexlorLogInstalled() ? OptionsOfModule(LibraryModuleHandle()) : nullptr;
}

TVexlorModuleOptions* CurrentVexlorLogOptions()
{
    if (TVexlorModuleOptions* options = LibraryModuleOptions()) return options;
    VexlorLogAssert("\r\nCannot use 'CurrentVexlorLogOptions' function in module \"" + LibraryModuleFileName() +
                    "\" without activate VexlorLog.\r\nTo activate VexlorLog use the new IDE \"Project/VexlorLog "
                    "Options...\" menu.");
}

TVexlorModuleOptions* DotNetVexlorLogOptions()
{
    if (IsVexlorLogInstalled()) {
        if (const TVexlorExceptionRecord* record = CurrentExceptionRecord();
            record != nullptr && record->CurrentModuleOptions != nullptr)
            return record->CurrentModuleOptions;
        const HMODULE main = MainInstance() != nullptr ? MainInstance() : ::GetModuleHandleA(nullptr);
        if (TVexlorModuleOptions* options = OptionsOfModule(main)) return options;
    }
    VexlorLogAssert("\r\nCannot use 'VexlorLog' on module \"" + LibraryModuleFileName() +
                    "\" without activate VexlorLog.\r\nTo activate VexlorLog use the new IDE \"VexlorLog/Show "
                    "VexlorLog Options...\" menu.");
}

bool ForceApplicationTermination(TTerminateBtnOperation operation)
{
    if (!IsVexlorLogInstalled()) return false;
    TerminateApplicationRequested.store(true);
    if (TPipelineState* state = PipelineStateOrNull()) state->TerminationRequested.store(true);
    const TVexlorExceptionRecord* record = CurrentExceptionRecord();
    TVexlorModuleOptions* options = record != nullptr && record->CurrentModuleOptions != nullptr
                                        ? record->CurrentModuleOptions
                                        : LibraryModuleOptions();
    if (options != nullptr) options->SetTerminateBtnOperation(operation);
    return true;
}

void SetMetadataFilePath(const std::string& path)
{
    rtl::TCriticalSectionLock lock(*MetadataLock());
    if (gMetadataLibrary != nullptr) {
        ::FreeLibrary(gMetadataLibrary);
        gMetadataLibrary = nullptr;
        ::DeleteFileA(gMetadataFilePath.c_str());
    }
    gMetadataFilePath = path;
}

std::string MetadataFilePath()
{
    rtl::TCriticalSectionLock lock(*MetadataLock());
    return gMetadataFilePath;
}

void SetMetadataLibrary(HMODULE library) noexcept
{
    rtl::TCriticalSectionLock lock(*MetadataLock());
    gMetadataLibrary = library;
}

void FreeMetadataLibrary() noexcept
{
    rtl::TCriticalSectionLock lock(*MetadataLock());
    if (gMetadataLibrary == nullptr) return;
    ::FreeLibrary(gMetadataLibrary);
    gMetadataLibrary = nullptr;
    ::DeleteFileA(gMetadataFilePath.c_str());
}

rtl::TObject* GetLastExceptionObject() noexcept
{
    if (void* last = LastRaisedException().Object; last != nullptr) {
        if (const rtl::TObject* object = rtl::AsValidTObject(last)) return const_cast<rtl::TObject*>(object);
    }
    const std::exception_ptr current = std::current_exception();
    return const_cast<rtl::TObject*>(rtl::AsValidTObject(rtl::ExceptionPtrObject(current)));
}

void* GetLastExceptionAddress() noexcept
{
    if (const std::uintptr_t last = LastRaisedException().Address; last != 0) return reinterpret_cast<void*>(last);
    const std::exception_ptr current = std::current_exception();
    const rtl::TObject* object = rtl::AsValidTObject(rtl::ExceptionPtrObject(current));
    const auto* exception = dynamic_cast<const rtl::Exception*>(object);
    return exception != nullptr ? exception->RaiseAddress() : nullptr;
}

bool GetCompilationDate(HMODULE module, bool localTime, TDateTime& date)
{
    if (ModulesList() == nullptr || module == nullptr) return false;
    TDateTime compiled = 0;
    {
        rtl::TCriticalSectionLock lock(ModulesListLock());
        const PVexlorModuleInfo info = ModuleInfoByHandle(module);
        if (info == nullptr) return false;
        compiled = info->ExtraInformation.CompilationDate;
    }
    // The zone's real offset: a zone half an hour off whole hours would
    // otherwise move the date by thirty minutes.
    if (localTime) compiled += GetGMTMinutes() / 1440.0;
    date = compiled;
    return true;
}

}  // namespace crash
