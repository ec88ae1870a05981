// Pruning after a walk: repeated call sites and stale runs hidden, and inside
// the development environment the frames its own debugger shows better.
#include "crash/engine/ECore.h"
#include "crash/engine/stack/CallStack.h"

namespace crash {
namespace {

bool IsProcedureLevel(TVexlorDebugDetail detail) noexcept
{
    return detail == ddProcedure || detail == ddUnitAndProcedure || detail == ddSourceCode;
}

std::uint32_t ModuleHandleOf(const TVexlorDebugInfo& item) noexcept
{
    return item.ModuleInfo ? item.ModuleInfo->Handle : 0;
}

// The next item after `from` at procedure level in the same module; -1 when none.
int NextInModule(const TVexlorStackList& list, int from, std::uint32_t module) noexcept
{
    for (int j = from + 1; j < list.Count(); ++j) {
        const TVexlorDebugInfo& item = *list.GetItem(j);
        if (IsProcedureLevel(item.DebugDetail) && ModuleHandleOf(item) == module) return j;
    }
    return -1;
}

}  // namespace

void PruneCallStack(TVexlorStackList& list, int firstIndex)
{
    if (firstIndex < 0) firstIndex = 0;
    if (IntoIDE) {
        for (int i = list.Count() - 1; i >= firstIndex; --i) {
            const TVexlorDebugInfo& item = *list.GetItem(i);
            if (!IsProcedureLevel(item.DebugDetail) ||
                item.ProcedureName.View().find("HandleException") != std::string_view::npos)
                list.Delete(i);
        }
    }

    // A call site seen again one or two procedure-level items further out is
    // a stale copy of the same frame: the outer one stays.
    for (int i = list.Count() - 2; i >= firstIndex; --i) {
        TVexlorDebugInfo& item = *list.GetItem(i);
        if (!IsProcedureLevel(item.DebugDetail)) continue;
        const std::uint32_t module = ModuleHandleOf(item);
        const int j = NextInModule(list, i, module);
        if (j < 0) continue;
        if (list.GetItem(j)->Addr == item.Addr) {
            item.DebugDetail = ddNone;
            continue;
        }
        const int k = NextInModule(list, j, module);
        if (k >= 0 && list.GetItem(k)->Addr == item.Addr) item.DebugDetail = ddNone;
    }

    // An item on a procedure's first line is a call target; the items between
    // it and the nearest inner place inside that procedure are leftovers of
    // the procedure's own stack. The search also stops at an item of another
    // thread or stack copy, and then clears everything up to it.
    for (int c = list.Count() - 1; c >= 1; --c) {
        const TVexlorDebugInfo& entry = *list.GetItem(c);
        if (entry.DebugDetail != ddSourceCode || entry.ProcOffsetLine != 0) continue;
        const auto doesNotContinue = [&](const TVexlorDebugInfo& item) {
            const bool elsewhere = item.UnitName.View() != entry.UnitName.View() ||
                                   item.ClassName.View() != entry.ClassName.View() ||
                                   item.ProcedureName.View() != entry.ProcedureName.View() || item.ProcOffsetLine == 0;
            return elsewhere && item.ThreadID == entry.ThreadID && item.RunningThread == entry.RunningThread;
        };
        int i = c - 1;
        while (i > 0 && doesNotContinue(*list.GetItem(i))) --i;
        if (doesNotContinue(*list.GetItem(i))) continue;
        for (int m = i + 1; m < c; ++m) list.GetItem(m)->DebugDetail = ddNone;
    }
}

TVexlorDebugDetails GetShownDebugDetails(const TVexlorModuleOptions& options) noexcept
{
    TVexlorDebugDetails details{ddSourceCode};
    if (options.CallStackOptions().Contains(csoShowDLLs)) details.Include(ddProcedure);
    if (options.CallStackOptions().Contains(csoShowBPLs)) details.Include(ddUnitAndProcedure);
    return details;
}

}  // namespace crash
