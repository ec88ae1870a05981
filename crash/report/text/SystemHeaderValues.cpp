// The header items whose values the engine's system facts give: the
// application's start and up time and version, the exception's date, the
// user's login and the registered owner, the computer's name and up time,
// and the system's type, build and update.
#include <windows.h>

#include "crash/engine/modules/ModuleLists.h"
#include "crash/engine/pipeline/ReportContext.h"
#include "crash/engine/system/SystemInfo.h"
#include "crash/report/ELogManager.h"
#include "rtl/SysUtils.h"

namespace crash {

namespace {

// Days from 1 January 1601 (FILETIME) to 30 December 1899 (TDateTime).
constexpr double kFileTimeEpochDays = 109205.0;
constexpr double kFileTimeUnitsPerDay = 864000000000.0;

TDateTime LocalFileTimeToDateTime(const FILETIME& Local)
{
    const ULARGE_INTEGER units{{Local.dwLowDateTime, Local.dwHighDateTime}};
    return static_cast<double>(units.QuadPart) / kFileTimeUnitsPerDay - kFileTimeEpochDays;
}

// When the process was created, local time; now when the system cannot say.
TDateTime ProcessStartTime()
{
    FILETIME created, exited, kernel, user, local;
    if (!::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user) ||
        !::FileTimeToLocalFileTime(&created, &local))
        return NowDateTime();
    return LocalFileTimeToDateTime(local);
}

// The report's exception time; now when the pipeline has none.
TDateTime ReportExceptionTime()
{
    const TPipelineState* state = PipelineStateOrNull();
    FILETIME local;
    if (state == nullptr || state->ExceptionTime.wYear == 0 || !::SystemTimeToFileTime(&state->ExceptionTime, &local))
        return NowDateTime();
    return LocalFileTimeToDateTime(local);
}

}  // namespace

void CollectSystemHeaderValues(TReportHeaderValues& Values)
{
    const TDateTime started = ProcessStartTime();
    const TDateTime raised = ReportExceptionTime();
    Values[soAppStartDate] = MailDateText(started);
    std::string description, version;
    GetFileDescriptionAndVersion(GetModuleFullFileName(nullptr), description, version);
    Values[soAppVersionNumber] = version;
    Values[soAppUpTime] = DurationText(raised - started);
    Values[soExcDate] = MailDateText(raised);
    Values[soUserID] = UserLoginText();
    Values[soUserName] = RegisteredOwnerText();
    Values[soCmpName] = ComputerNameText();
    // The 64-bit count: the 32-bit one starts again after 49.7 days.
    Values[soCmpSysUpTime] = DurationText(static_cast<double>(::GetTickCount64()) / 86400000.0);
    const TWindowsVersion windows = QueryWindowsVersion();
    Values[soOSType] = WindowsVersionText(windows);
    Values[soOSBuildN] = WindowsBuildText(windows);
    Values[soOSUpdate] = std::string(rtl::Trim(windows.ServicePack));
}

}  // namespace crash
