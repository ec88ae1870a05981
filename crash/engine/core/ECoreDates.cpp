// Date-time texts and time-zone offsets of the core utilities.
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "crash/engine/ECore.h"
#include "crash/engine/core/ECoreInternal.h"
#include "rtl/Handles.h"
#include "rtl/SysUtils.h"

namespace crash {

namespace {

using namespace std::chrono;

constexpr double kMSecsPerDay = 86400000.0;
constexpr sys_days kEpoch = sys_days{year{1899} / December / 30};

double DateToDays(int y, unsigned m, unsigned d)
{
    return static_cast<double>((sys_days{year{y} / month{m} / day{d}} - kEpoch).count());
}

char LocaleDecimalSeparator()
{
    char text[8] = {};
    if (::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, text, sizeof text) > 1) return text[0];
    return '.';
}

std::int64_t FileTimeTicks(const FILETIME& time)
{
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

}  // namespace

namespace core {

double SystemTimeToDateTime(const SYSTEMTIME& time)
{
    const double date = DateToDays(time.wYear, time.wMonth, time.wDay);
    const double fraction =
        (((time.wHour * 60.0 + time.wMinute) * 60.0 + time.wSecond) * 1000.0 + time.wMilliseconds) / kMSecsPerDay;
    return date >= 0 ? date + fraction : date - fraction;
}

}  // namespace core

TDateTime NowDateTime()
{
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    return core::SystemTimeToDateTime(now);
}

bool DateTimeToSystemTime(TDateTime value, SYSTEMTIME& out)
{
    if (!std::isfinite(value) || value < -693593.0 || value >= 2958466.0) return false;
    const double dayPart = std::trunc(value);
    double msecs = std::round(std::fabs(value - dayPart) * kMSecsPerDay);
    if (msecs >= kMSecsPerDay) msecs = kMSecsPerDay - 1;
    const year_month_day date{kEpoch + days{static_cast<long>(dayPart)}};
    const auto ms = static_cast<long>(msecs);
    out.wYear = static_cast<WORD>(static_cast<int>(date.year()));
    out.wMonth = static_cast<WORD>(static_cast<unsigned>(date.month()));
    out.wDay = static_cast<WORD>(static_cast<unsigned>(date.day()));
    out.wDayOfWeek = static_cast<WORD>(weekday{sys_days{date}}.c_encoding());
    out.wHour = static_cast<WORD>(ms / 3600000);
    out.wMinute = static_cast<WORD>(ms / 60000 % 60);
    out.wSecond = static_cast<WORD>(ms / 1000 % 60);
    out.wMilliseconds = static_cast<WORD>(ms % 1000);
    return true;
}

std::string DateTimeToStrFixed(TDateTime value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.15g", value);
    std::string result = text;
    for (char& c : result)
        if (c == ',') c = '.';
    return result;
}

TDateTime StrToDateTimeFixed(const std::string& text)
{
    // The fixed text uses "."; a text in the locale's own form is taken too.
    std::string fixed(rtl::Trim(text));
    const char separator = LocaleDecimalSeparator();
    for (char& c : fixed)
        if (c == separator) c = '.';
    double value = 0;
    const char* first = fixed.data();
    const char* last = first + fixed.size();
    if (first != last && *first == '+') ++first;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last || !std::isfinite(value)) return 0;
    return value;
}

std::string DateTimeToStrEx(TDateTime value)
{
    SYSTEMTIME time;
    if (DateTimeToSystemTime(value, time)) {
        char date[128];
        const int dateLength = ::GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, date, sizeof date);
        if (dateLength > 0) {
            std::string text(date, static_cast<std::size_t>(dateLength - 1));
            if (time.wHour == 0 && time.wMinute == 0 && time.wSecond == 0 && time.wMilliseconds == 0) return text;
            char clock[128];
            const int clockLength = ::GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &time, nullptr, clock, sizeof clock);
            if (clockLength > 0) {
                text += ' ';
                text.append(clock, static_cast<std::size_t>(clockLength - 1));
                return text;
            }
        }
    }
    return DateTimeToStrFixed(value);
}

int GetGMTMinutes()
{
    // One instant converted, so that no clock tick falls between the two readings.
    FILETIME utc;
    ::GetSystemTimeAsFileTime(&utc);
    FILETIME local;
    if (!::FileTimeToLocalFileTime(&utc, &local)) return 0;
    const double minutes = static_cast<double>(FileTimeTicks(local) - FileTimeTicks(utc)) / 600000000.0;
    return static_cast<int>(std::lround(minutes));
}

int GetGMT()
{
    return static_cast<int>(std::lround(GetGMTMinutes() / 60.0));
}

TDateTime GetGMTDateTime(TDateTime value)
{
    return value - GetGMT() / 24.0;
}

TDateTime GetModifiedDate(const std::string& fileName)
{
    WIN32_FIND_DATAA data;
    const rtl::FindHandle find(::FindFirstFileA(fileName.c_str(), &data));
    if (!find) return 0;
    return GetModifiedDate(data.ftLastWriteTime);
}

TDateTime GetModifiedDate(const FILETIME& lastWriteTime)
{
    FILETIME local;
    WORD dosDate = 0;
    WORD dosTime = 0;
    if (!::FileTimeToLocalFileTime(&lastWriteTime, &local) || !::FileTimeToDosDateTime(&local, &dosDate, &dosTime))
        return 0;
    SYSTEMTIME time = {};
    time.wYear = static_cast<WORD>(1980 + (dosDate >> 9));
    time.wMonth = static_cast<WORD>((dosDate >> 5) & 0x0F);
    time.wDay = static_cast<WORD>(dosDate & 0x1F);
    time.wHour = static_cast<WORD>(dosTime >> 11);
    time.wMinute = static_cast<WORD>((dosTime >> 5) & 0x3F);
    time.wSecond = static_cast<WORD>((dosTime & 0x1F) * 2);
    if (time.wMonth < 1 || time.wMonth > 12 || time.wDay < 1) return 0;
    return core::SystemTimeToDateTime(time);
}

}  // namespace crash
