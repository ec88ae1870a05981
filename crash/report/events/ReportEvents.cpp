// The report's action and error events, and the exception filter search.
#include "crash/report/events/ReportEvents.h"

#include <string_view>

#include "crash/engine/objects/ObjectsAndWindows.h"
#include "crash/engine/pipeline/ReportContext.h"
#include "rtl/SysUtils.h"

namespace crash {

namespace {

void NotifyAction(TVexlorActionType action)
{
    bool& execute = VexlorEventData().Execute;
    ForwardExceptionActionNotify(action, execute);
    FireExceptionActionNotify(action, execute);
}

// The COM error as an object of this module; null for anything else, and for
// one made by another module's copy, whose members this module cannot read.
const TActiveXException* AsActiveXException(const void* object) noexcept
{
    if (!IsObjectOfClassName(object, "TActiveXException")) return nullptr;
    return dynamic_cast<const TActiveXException*>(rtl::AsValidTObject(object));
}

}  // namespace

void NotifyShowingExceptionInfo()
{
    NotifyAction(atShowingExceptionInfo);
}

void NotifyShowedExceptionInfo()
{
    NotifyAction(atShowedExceptionInfo);
}

void NotifySavingLogFile()
{
    NotifyAction(atSavingLogFile);
}

void NotifySavedLogFile()
{
    NotifyAction(atSavedLogFile);
}

bool NotifyLogFileError()
{
    bool& retry = VexlorEventData().Retry;
    ForwardExceptionErrorNotify(atSavedLogFile, retry);
    FireExceptionErrorNotify(atSavedLogFile, retry);
    return retry;
}

bool ExceptionFilterMatches(const TVexlorExceptionFilter& filter, const void* exceptionObject, bool handled)
{
    if (const TActiveXException* error = AsActiveXException(exceptionObject)) {
        for (const std::string& parent : error->Parents())
            if (rtl::SameTextNoCase(rtl::Trim(parent), rtl::Trim(filter.ExceptionClassName))) return true;
        return false;
    }
    if (filter.ExceptionType == fetHandled && !handled) return false;
    if (filter.ExceptionType == fetUnhandled && handled) return false;
    return IsObjectOfClassName(exceptionObject, filter.ExceptionClassName);
}

int FindExceptionFilter(const TVexlorExceptionsFilters& filters, const void* exceptionObject, bool handled)
{
    for (int k = 0; k < filters.Count(); ++k) {
        const PVexlorExceptionFilter filter = filters.Items(k);
        if (filter != nullptr && filter->Active && ExceptionFilterMatches(*filter, exceptionObject, handled)) return k;
    }
    return -1;
}

void RegisterReportEventSteps() noexcept
{
    ReportSteps.NotifyShowingExceptionInfo.Set(&NotifyShowingExceptionInfo);
    ReportSteps.NotifyShowedExceptionInfo.Set(&NotifyShowedExceptionInfo);
    ReportSteps.FindExceptionFilter.Set([](void* exceptionObject, bool handled) {
        return FindExceptionFilter(ReportOptions().ExceptionsFilters(), exceptionObject, handled);
    });
}

}  // namespace crash
