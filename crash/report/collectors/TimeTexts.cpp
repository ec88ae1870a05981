// The start, up-time and exception-time items, and the service pack.
#include "crash/engine/ExceptionLog.h"
#include "crash/engine/core/ECoreInternal.h"
#include "crash/report/collectors/HeaderCollectors.h"
#include "rtl/Libraries.h"
#include "rtl/SysUtils.h"

namespace crash {

TDateTime ApplicationStartTime()
{
    FILETIME created = {};
    FILETIME exited = {};
    FILETIME kernel = {};
    FILETIME user = {};
    FILETIME local = {};
    SYSTEMTIME time = {};
    if (!::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user) ||
        !::FileTimeToLocalFileTime(&created, &local) || !::FileTimeToSystemTime(&local, &time))
        return NowDateTime();
    return DateTimeOfSystemTime(time);
}

TDateTime DateTimeOfSystemTime(const SYSTEMTIME& time)
{
    return core::SystemTimeToDateTime(time);
}

std::string StartDateText()
{
    return MailDateText(ApplicationStartTime());
}

std::string ExceptionDateText(const SYSTEMTIME& exceptionTime)
{
    return MailDateText(DateTimeOfSystemTime(exceptionTime));
}

std::string UpTimeText(TDateTime start, TDateTime exceptionTime)
{
    return DurationText(exceptionTime - start);
}

std::string UpTimeText(const SYSTEMTIME& exceptionTime)
{
    return UpTimeText(ApplicationStartTime(), DateTimeOfSystemTime(exceptionTime));
}

std::string SystemUpTimeText()
{
    double milliseconds = ::GetTickCount();
    if (auto* ticks =
            rtl::EntryPoint<decltype(::GetTickCount64)>(::GetModuleHandleW(L"kernel32.dll"), "GetTickCount64"))
        milliseconds = static_cast<double>(ticks());
    return DurationText(milliseconds / 86400000.0);
}

std::string ServicePackText()
{
    return std::string(rtl::Trim(QueryWindowsVersion().ServicePack));
}

}  // namespace crash
