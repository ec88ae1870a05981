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

TDateTime DateTimeOfSystemTime(const SYSTEMTIME& Time)
{
    return core::SystemTimeToDateTime(Time);
}

std::string StartDateText()
{
    return MailDateText(ApplicationStartTime());
}

std::string ExceptionDateText(const SYSTEMTIME& ExceptionTime)
{
    return MailDateText(DateTimeOfSystemTime(ExceptionTime));
}

std::string UpTimeText(TDateTime Start, TDateTime ExceptionTime)
{
    return DurationText(ExceptionTime - Start);
}

std::string UpTimeText(const SYSTEMTIME& ExceptionTime)
{
    return UpTimeText(ApplicationStartTime(), DateTimeOfSystemTime(ExceptionTime));
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
