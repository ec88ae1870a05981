// The report's action and error events, and the exception filter search.
#include "crash/report/events/ReportEvents.h"

#include <string_view>

#include "crash/engine/objects/ObjectsAndWindows.h"
#include "crash/engine/pipeline/ReportContext.h"
#include "rtl/SysUtils.h"

namespace crash {

namespace {

void NotifyAction(TVexlorActionType Action)
{
    bool& execute = VexlorEventData().Execute;
    ForwardExceptionActionNotify(Action, execute);
    FireExceptionActionNotify(Action, execute);
}

// The COM error as an object of this module; null for anything else, and for
// one made by another module's copy, whose members this module cannot read.
const TActiveXException* AsActiveXException(const void* Object) noexcept
{
    if (!IsObjectOfClassName(Object, "TActiveXException")) return nullptr;
    return dynamic_cast<const TActiveXException*>(rtl::AsValidTObject(Object));
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

bool ExceptionFilterMatches(const TVexlorExceptionFilter& Filter, const void* ExceptionObject, bool Handled)
{
    if (const TActiveXException* error = AsActiveXException(ExceptionObject)) {
        for (const std::string& parent : error->Parents())
            if (rtl::SameTextNoCase(rtl::Trim(parent), rtl::Trim(Filter.ExceptionClassName))) return true;
        return false;
    }
    if (Filter.ExceptionType == fetHandled && !Handled) return false;
    if (Filter.ExceptionType == fetUnhandled && Handled) return false;
    return IsObjectOfClassName(ExceptionObject, Filter.ExceptionClassName);
}

int FindExceptionFilter(const TVexlorExceptionsFilters& Filters, const void* ExceptionObject, bool Handled)
{
    for (int k = 0; k < Filters.Count(); ++k) {
        const PVexlorExceptionFilter filter = Filters.Items(k);
        if (filter != nullptr && filter->Active && ExceptionFilterMatches(*filter, ExceptionObject, Handled)) return k;
    }
    return -1;
}

void RegisterReportEventSteps() noexcept
{
    ReportSteps.NotifyShowingExceptionInfo.Set(&NotifyShowingExceptionInfo);
    ReportSteps.NotifyShowedExceptionInfo.Set(&NotifyShowedExceptionInfo);
    ReportSteps.FindExceptionFilter.Set([](void* ExceptionObject, bool Handled) {
        return FindExceptionFilter(ReportOptions().ExceptionsFilters(), ExceptionObject, Handled);
    });
}

}  // namespace crash
