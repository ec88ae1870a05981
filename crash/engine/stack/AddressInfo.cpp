// One code address resolved to module, unit, class, procedure and line.
#include "crash/engine/EDebug.h"
#include "crash/engine/EDebugData.h"
#include "crash/engine/stack/StackInternal.h"
#include "rtl/Libraries.h"

namespace crash {

std::atomic<TDebugInfoResolver> DebugInfoResolver{&GetDebugInfoByAddr};

namespace {

void StartItem(std::uintptr_t x, std::uint32_t threadId, TVexlorDebugInfo& item, bool errorLine, bool runningThread)
{
    item = TVexlorDebugInfo{};
    item.ThreadID = threadId;
    item.ErrorLine = errorLine;
    item.RunningThread = runningThread;
    item.IsALeak = false;
    item.Addr = static_cast<std::uint32_t>(x);
}

}  // namespace

namespace stack {

TVexlorModuleInfo* TModuleRecordCache::RecordOf(std::uintptr_t address)
{
    const HMODULE handle = ModuleHandleByAddr(reinterpret_cast<const void*>(address));
    if (!handle) return nullptr;
    for (int i = 0; i < FCount; ++i)
        if (FEntries[i].Handle == handle) return FEntries[i].Record;
    TVexlorModuleInfo* record = ModuleInfoByHandle(handle);
    FEntries[FNext] = {handle, record};
    FNext = (FNext + 1) % kEntries;
    if (FCount < kEntries) ++FCount;
    return record;
}

void ResolveAddress(std::uintptr_t x, std::uint32_t threadId, TVexlorDebugInfo& item, bool errorLine,
                    bool runningThread, TModuleRecordCache* modules)
{
    StartItem(x, threadId, item, errorLine, runningThread);
    TVexlorModuleInfo* module = modules ? modules->RecordOf(x) : ModuleInfoByAddr(reinterpret_cast<const void*>(x));
    item.ModuleInfo = module;
    if (module) {
        // A record's data and debug source are made with it and never change.
        if (const TModuleDebugData* data = module->ExtraInformation.DebugInformation.get())
            if (LookupSourceInfo(*data, x, item)) return;
        if (GetOtherDebugInfoByAddr(dynamic_cast<TVLDebugInfoSource*>(module->OtherDebugData.get()), x, item)) return;
    }
    item.DebugDetail = module ? ddModule : ddNone;
    item.Addr = static_cast<std::uint32_t>(x);
    item.Line = 0;
    if (!module) return;
    // The export lookup measures a function the first time it is met, which
    // changes the record: under the list's lock, as every change to it.
    rtl::TCriticalSectionLock hold(ModulesListLock());
    TVexlorFunctionsList& functions = module->FunctionsList;
    if (functions.Count() == 0) return;
    GetExportInfoByAddr(
        static_cast<std::size_t>(functions.Count()),
        [&](std::size_t i) -> TVexlorFunctionInfo& { return *functions.GetItem(static_cast<int>(i)); }, x, item);
}

}  // namespace stack

void GetDebugInfoByAddr(std::uintptr_t x, std::uint32_t threadId, TVexlorDebugInfo& item, bool errorLine,
                        bool runningThread)
{
    stack::ResolveAddress(x, threadId, item, errorLine, runningThread, nullptr);
}

void GetModuleOnlyInfoByAddr(std::uintptr_t x, std::uint32_t threadId, TVexlorDebugInfo& item, bool errorLine,
                             bool runningThread, std::unique_ptr<TVexlorModuleInfo>& module)
{
    StartItem(x, threadId, item, errorLine, runningThread);
    item.DebugDetail = ddModule;
    module.reset();
    // Nothing here touches the module list: this is the resolution that is
    // left when the full one has failed.
    const HMODULE handle = ModuleHandleByAddr(reinterpret_cast<const void*>(x));
    if (!handle) return;
    module = std::make_unique<TVexlorModuleInfo>();
    module->Handle = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(handle));
    module->Name = rtl::ModuleFileNameAnsi(handle);
    item.ModuleInfo = module.get();
}

}  // namespace crash
