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

std::string GetEnvVariable(const std::string& name)
{
    std::string value = EnvironmentValue(name);
    if (!value.empty()) return value;
    if (SameText(name, "date")) return LocaleDate();
    if (SameText(name, "time")) return LocaleTime();
    if (SameText(name, "cd")) return CurrentDirectory();
    return {};
}

std::string ExpandEnvVars(const std::string& text)
{
    std::string expanded = text;
    std::size_t i = 0;
    while (i < expanded.size()) {
        if (expanded[i] != '%') {
            ++i;
            continue;
        }
        const std::size_t open = i;
        std::size_t end = open + 1;
        while (end < expanded.size() && IsNameChar(expanded[end])) ++end;
        if (end >= expanded.size()) break;  // no closing "%": the rest is plain text
        if (expanded[end] != '%') {
            i = end + 1;
            continue;
        }
        const std::string value = GetEnvVariable(expanded.substr(open + 1, end - open - 1));
        expanded.replace(open, end + 1 - open, value);
        i = open + value.size();  // a value is never expanded again
    }
    return expanded;
}

}  // namespace crash
