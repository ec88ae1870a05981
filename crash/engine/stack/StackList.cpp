// The list of call-stack items and the private module records it owns.
#include <algorithm>

#include "crash/engine/stack/CallStack.h"

namespace crash {

void TVexlorStackList::Delete(int Index)
{
    const TVexlorDebugInfo* item = GetItem(Index);
    if (!item) return;
    const TVexlorModuleInfo* module = item->ModuleInfo;
    TVexlorRecordList<TVexlorDebugInfo>::Delete(Index);
    // Module-only items are few (a second attempt after a failed walk), so a
    // search is cheaper than a record per item.
    const auto owned = std::find_if(FPrivateModules.begin(), FPrivateModules.end(),
                                    [&](const std::unique_ptr<TVexlorModuleInfo>& m) { return m.get() == module; });
    if (module && owned != FPrivateModules.end()) FPrivateModules.erase(owned);
}

int TVexlorStackList::AddFrom(const TVexlorDebugInfo& Source)
{
    auto item = std::make_unique<TVexlorDebugInfo>();
    item->DebugDetail = Source.DebugDetail;
    item->ModuleInfo = Source.ModuleInfo;
    item->Addr = Source.Addr;
    item->UnitName = Source.UnitName;
    item->ClassName = Source.ClassName;
    item->ProcedureName = Source.ProcedureName;
    item->Line = Source.Line;
    return Add(std::move(item));
}

int TVexlorStackList::AddOwning(std::unique_ptr<TVexlorDebugInfo> Item, std::unique_ptr<TVexlorModuleInfo> Module)
{
    FPrivateModules.reserve(FPrivateModules.size() + 1);
    FItems.reserve(FItems.size() + 1);
    if (Module) {
        Item->ModuleInfo = Module.get();
        FPrivateModules.push_back(std::move(Module));
    }
    return Add(std::move(Item));
}

}  // namespace crash
