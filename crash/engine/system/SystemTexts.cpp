// Text services of the report and the senders.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "crash/engine/system/SystemInfo.h"
#include "crash/engine/system/SystemInternal.h"

namespace crash {

namespace {

constexpr const char* kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

void AppendUnit(std::string& text, long long count, const char* word, const char* separator)
{
    char part[64];
    std::snprintf(part, sizeof part, "%lld %s%s%s", count, word, count > 1 ? "s" : "", separator);
    text += part;
}

}  // namespace

namespace system {

std::string MailDateText(TDateTime value, int offsetMinutes)
{
    SYSTEMTIME time;
    if (!DateTimeToSystemTime(value, time) || time.wDayOfWeek > 6 || time.wMonth < 1 || time.wMonth > 12) return {};
    // The real offset, minutes and all: +05:30 is +0530, not a rounded +0600.
    const int offset = std::abs(offsetMinutes);
    char text[64];
    std::snprintf(text, sizeof text, "%s, %d %s %d %02d:%02d:%02d %c%02d%02d", kDayNames[time.wDayOfWeek], time.wDay,
                  kMonthNames[time.wMonth - 1], time.wYear, time.wHour, time.wMinute, time.wSecond,
                  offsetMinutes < 0 ? '-' : '+', offset / 60, offset % 60);
    return text;
}

}  // namespace system

std::string SingleLineText(const std::string& text)
{
    return OneString(text);
}

std::string PadRightSpaces(const std::string& text, int width)
{
    std::string padded = text;
    if (width > 0 && padded.size() < static_cast<std::size_t>(width))
        padded.resize(static_cast<std::size_t>(width), ' ');
    return padded;
}

std::string TempFolder()
{
    char folder[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathA(sizeof folder, folder);
    if (length == 0 || length >= sizeof folder) return {};
    return IncludeLastBackslash(std::string(folder, length));
}

std::string DurationText(double days)
{
    // Whole seconds of the total: splitting the days step by step, each step
    // truncating, makes 5 s (0.0000578... days) read as 4 s.
    long long seconds = 0;
    if (std::isfinite(days) && days > 0 && days < 1e9) seconds = std::llround(days * 86400000.0) / 1000;
    const long long wholeDays = seconds / 86400;
    const long long hours = seconds / 3600 % 24;
    const long long minutes = seconds / 60 % 60;
    std::string text;
    if (wholeDays > 0) AppendUnit(text, wholeDays, "day", ", ");
    if (hours > 0) AppendUnit(text, hours, "hour", ", ");
    if (minutes > 0) AppendUnit(text, minutes, "minute", ", ");
    AppendUnit(text, seconds % 60, "second", "");
    return text;
}

std::string MailDateText(TDateTime value)
{
    return system::MailDateText(value, GetGMTMinutes());
}

std::string HTMLEscapeText(const std::string& text)
{
    std::string escaped = QuickStringReplace(text, "&", "&amp;");
    escaped = QuickStringReplace(escaped, "\"", "&quot;");
    escaped = QuickStringReplace(escaped, "'", "&#039;");
    escaped = QuickStringReplace(escaped, "<", "&lt;");
    escaped = QuickStringReplace(escaped, ">", "&gt;");
    escaped = QuickStringReplace(escaped, "  ", "&nbsp;&nbsp;");
    return QuickStringReplace(escaped, "\r\n", "<br>\r\n");
}

}  // namespace crash
