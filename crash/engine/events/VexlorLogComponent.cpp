// The TVexlorLog component, the list of them and its warning.
#include <algorithm>
#include <atomic>

#include "crash/engine/ECore.h"
#include "crash/engine/events/ExceptionEvents.h"
#include "crash/engine/system/SystemInfo.h"

namespace crash {
namespace {

std::atomic<TVexlorLogList*> TheLogList{nullptr};

// A component that does nothing is easy to miss: a developer running the
// program under a debugger is told, nobody else.
void WarnWhenInactive() noexcept
{
    try {
        const TVexlorLogWarningSeams& seams = VexlorLogWarningSeams;
        if (const auto isActive = seams.IsActive.Get(); isActive && isActive()) return;
        const auto isDebugger = seams.IsDebuggerAttached.Get();
        if (!(isDebugger ? isDebugger() : IsDebuggerAttached())) return;
        const std::string text = VexlorLogWarningText(ThisModuleFileName());
        if (const auto show = seams.ShowMessageBox.Get())
            show(nullptr, text.c_str(), "Warning", kVexlorLogWarningFlags);
        else
            ::MessageBoxA(nullptr, text.c_str(), "Warning", kVexlorLogWarningFlags);
    } catch (...) {
        // A warning that cannot be shown is not worth failing a constructor.
    }
}

}  // namespace

std::string VexlorLogWarningText(const std::string& moduleFileName)
{
    return "\r\nYou used a 'TVexlorLog' component in module \"" + ExtractFileName(moduleFileName) +
           "\" without activating VexlorLog.\r\n"
           "To activate VexlorLog, use the IDE \"Project/VexlorLog Options...\" menu.\r\n\r\n"
           "NOTE: This warning appears only if the program is run from the IDE!";
}

TVexlorLog::TVexlorLog(rtl::TComponent* aOwner) : rtl::TComponent(aOwner)
{
    if (TVexlorLogList* list = VexlorLogList()) list->Add(this);
    WarnWhenInactive();
}

TVexlorLog::~TVexlorLog()
{
    if (TVexlorLogList* list = VexlorLogList()) list->Remove(this);
}

void TVexlorLogList::Add(TVexlorLog* item)
{
    rtl::TCriticalSectionLock lock(FLock);
    FItems.push_back(item);
}

void TVexlorLogList::Remove(const TVexlorLog* item) noexcept
{
    rtl::TCriticalSectionLock lock(FLock);
    const auto found = std::find(FItems.begin(), FItems.end(), item);
    if (found != FItems.end()) FItems.erase(found);
}

bool TVexlorLogList::Contains(const TVexlorLog* item) const noexcept
{
    rtl::TCriticalSectionLock lock(FLock);
    return std::find(FItems.begin(), FItems.end(), item) != FItems.end();
}

int TVexlorLogList::Count() const noexcept
{
    rtl::TCriticalSectionLock lock(FLock);
    return static_cast<int>(FItems.size());
}

TVexlorLog* TVexlorLogList::Items(int index) const noexcept
{
    rtl::TCriticalSectionLock lock(FLock);
    return index >= 0 && index < static_cast<int>(FItems.size()) ? FItems[static_cast<std::size_t>(index)] : nullptr;
}

void CreateVexlorLogList()
{
    if (TheLogList.load() != nullptr) return;
    auto* list = new TVexlorLogList;
    TVexlorLogList* none = nullptr;
    if (!TheLogList.compare_exchange_strong(none, list)) delete list;
}

void FreeVexlorLogList() noexcept
{
    delete TheLogList.exchange(nullptr);
}

TVexlorLogList* VexlorLogList() noexcept
{
    return TheLogList.load();
}

}  // namespace crash
