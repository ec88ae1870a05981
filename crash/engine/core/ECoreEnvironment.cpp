// Expansion of %NAME% variables in the crash reporter's texts.
#include "crash/engine/ECore.h"

#include "crash/engine/core/ECoreInternal.h"

namespace crash {

namespace {

bool IsNameChar(char c) noexcept
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

bool SameText(const std::string& a, const char* b) noexcept
{
    return ::lstrcmpiA(a.c_str(), b) == 0;
}

std::string EnvironmentValue(const std::string& name)
{
    std::string value(1024, '\0');
    for (;;) {
        const DWORD length = ::GetEnvironmentVariableA(name.c_str(), value.data(), static_cast<DWORD>(value.size()));
        if (length < value.size()) {
            value.resize(length);
            return value;
        }
        // Too small: the answer is the size needed, terminating zero included.
        value.assign(length, '\0');
    }
}

}  // namespace

std::string CurrentDirectory()
{
    const DWORD size = ::GetCurrentDirectoryA(0, nullptr);
    if (size == 0) return {};
    std::string folder(size, '\0');
    const DWORD length = ::GetCurrentDirectoryA(size, folder.data());
    folder.resize(length < size ? length : 0);
    return folder;
}

namespace {

std::string LocaleDate()
{
    char text[128];
    const int length = ::GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, text, sizeof text);
    return length > 0 ? std::string(text, static_cast<std::size_t>(length - 1)) : std::string();
}

std::string LocaleTime()
{
    char text[128];
    const int length = ::GetTimeFormatA(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, text, sizeof text);
    return length > 0 ? std::string(text, static_cast<std::size_t>(length - 1)) : std::string();
}

}  // namespace

std::string GetEnvVariable(const std::string& Name)
{
    std::string value = EnvironmentValue(Name);
    if (!value.empty()) return value;
    if (SameText(Name, "date")) return LocaleDate();
    if (SameText(Name, "time")) return LocaleTime();
    if (SameText(Name, "cd")) return CurrentDirectory();
    return {};
}

std::string ExpandEnvVars(const std::string& Text)
{
    std::string text = Text;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '%') {
            ++i;
            continue;
        }
        const std::size_t open = i;
        std::size_t end = open + 1;
        while (end < text.size() && IsNameChar(text[end])) ++end;
        if (end >= text.size()) break;  // no closing "%": the rest is plain text
        if (text[end] != '%') {
            i = end + 1;
            continue;
        }
        const std::string value = GetEnvVariable(text.substr(open + 1, end - open - 1));
        text.replace(open, end + 1 - open, value);
        i = open + value.size();  // a value is never expanded again
    }
    return text;
}

}  // namespace crash
