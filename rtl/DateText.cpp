// Date texts in the runtime's date format language.
#include "rtl/SysUtils.h"

namespace rtl {
namespace {

std::wstring LocaleText(LCTYPE type)
{
    wchar_t text[80] = {};
    const int length = ::GetLocaleInfoW(LOCALE_USER_DEFAULT, type, text, 80);
    return length > 1 ? std::wstring(text, static_cast<size_t>(length - 1)) : std::wstring();
}

void AppendNumber(std::wstring& text, unsigned value, size_t width)
{
    std::wstring number = std::to_wstring(value);
    if (number.size() < width) text.append(width - number.size(), L'0');
    text += number;
}

}  // namespace

SYSTEMTIME Now()
{
    SYSTEMTIME time;
    ::GetLocalTime(&time);
    return time;
}

std::wstring FormatDateTime(std::wstring_view format, const SYSTEMTIME& time)
{
    std::wstring text;
    bool afterHour = false;  // "hh.mm": an m right after an hour is minutes
    size_t i = 0;
    while (i < format.size()) {
        const wchar_t c = format[i];
        if (c == L'\'' || c == L'"') {
            const size_t close = format.find(c, i + 1);
            const size_t stop = close == std::wstring_view::npos ? format.size() : close;
            text.append(format.substr(i + 1, stop - i - 1));
            i = stop == format.size() ? stop : stop + 1;
            continue;
        }
        const wchar_t lower = (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
        size_t run = 1;
        while (i + run < format.size() && (format[i + run] == c || format[i + run] == lower ||
                                           format[i + run] == static_cast<wchar_t>(lower - L'a' + L'A')))
            ++run;
        switch (lower) {
        case L'd':
            if (run <= 2)
                AppendNumber(text, time.wDay, run);
            else
                text += LocaleText((run == 3 ? LOCALE_SABBREVDAYNAME1 : LOCALE_SDAYNAME1) + (time.wDayOfWeek + 6) % 7);
            afterHour = false;
            break;
        case L'm':
            if (afterHour && run <= 2)
                AppendNumber(text, time.wMinute, run);
            else if (run <= 2)
                AppendNumber(text, time.wMonth, run);
            else if (time.wMonth >= 1 && time.wMonth <= 12)
                text += LocaleText((run == 3 ? LOCALE_SABBREVMONTHNAME1 : LOCALE_SMONTHNAME1) + time.wMonth - 1);
            afterHour = false;
            break;
        case L'y':
            if (run <= 2)
                AppendNumber(text, time.wYear % 100, 2);
            else
                AppendNumber(text, time.wYear, 4);
            afterHour = false;
            break;
        case L'h':
            AppendNumber(text, time.wHour, run >= 2 ? 2 : 1);
            afterHour = true;
            break;
        case L'n':
            AppendNumber(text, time.wMinute, run >= 2 ? 2 : 1);
            afterHour = false;
            break;
        case L's':
            AppendNumber(text, time.wSecond, run >= 2 ? 2 : 1);
            afterHour = false;
            break;
        case L'z':
            AppendNumber(text, time.wMilliseconds, run >= 3 ? 3 : 1);
            afterHour = false;
            break;
        default:
            // Separators and other characters stand for themselves and do not
            // break the hour-minute pairing.
            text.append(format.substr(i, run));
            break;
        }
        i += run;
    }
    return text;
}

}  // namespace rtl
