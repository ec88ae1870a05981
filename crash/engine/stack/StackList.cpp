// The list of call-stack items and the private module records it owns.
#include <algorithm>

#include "crash/engine/stack/CallStack.h"

namespace crash {

void TVexlorStackList::Delete(int index)
{
    const TVexlorDebugInfo* item = GetItem(index);
    if (!item) return;
    const TVexlorModuleInfo* module = item->ModuleInfo;
    TVexlorRecordList<TVexlorDebugInfo>::Delete(index);
    // Module-only items are few (a second attempt after a failed walk), so a
    // search is cheaper than a record per item.
    const auto owned = std::find_if(FPrivateModules.begin(), FPrivateModules.end(),
                                    [&](const std::unique_ptr<TVexlorModuleInfo>& m) { return m.get() == module; });
    if (module && owned != FPrivateModules.end()) FPrivateModules.erase(owned);
}

int TVexlorStackList::AddFrom(const TVexlorDebugInfo& source)
{
    auto item = std::make_unique<TVexlorDebugInfo>();
    item->DebugDetail = source.DebugDetail;
    item->ModuleInfo = source.ModuleInfo;
    item->Addr = source.Addr;
    item->UnitName = source.UnitName;
    item->ClassName = source.ClassName;
    item->ProcedureName = source.ProcedureName;
    item->Line = source.Line;
    return Add(std::move(item));
}

int TVexlorStackList::AddOwning(std::unique_ptr<TVexlorDebugInfo> item, std::unique_ptr<TVexlorModuleInfo> module)
{
    FPrivateModules.reserve(FPrivateModules.size() + 1);
    FItems.reserve(FItems.size() + 1);
    if (module) {
        item->ModuleInfo = module.get();
        FPrivateModules.push_back(std::move(module));
    }
    return Add(std::move(item));
}

}  // namespace crash
