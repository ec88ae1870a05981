// Text splitting, searching and replacing of the core utilities.
#include "crash/engine/ECore.h"

#include "crash/engine/core/ECoreInternal.h"
#include "rtl/SysUtils.h"

namespace crash {

TCharSet MakeCharSet(std::string_view chars) noexcept
{
    TCharSet set;
    for (char c : chars) set.set(static_cast<unsigned char>(c));
    return set;
}

namespace {

bool IsIn(const TCharSet& set, char c) noexcept
{
    return set.test(static_cast<unsigned char>(c));
}

}  // namespace

void ExtractList(const std::string& text, std::vector<std::string>& strings, const TCharSet& separators, bool raw,
                 bool addEmpty)
{
    const std::string source = raw ? text : std::string(rtl::Trim(text));
    std::size_t start = 0;
    for (std::size_t i = 0; i < source.size(); ++i) {
        if (!IsIn(separators, source[i])) continue;
        std::string piece = raw ? source.substr(start, i + 1 - start)
                                : std::string(rtl::Trim(std::string_view(source).substr(start, i - start)));
        if (!piece.empty() || addEmpty) strings.push_back(std::move(piece));
        start = i + 1;
    }
    std::string rest = source.substr(start);
    if (!raw) rest = std::string(rtl::Trim(rest));
    if (!rest.empty()) strings.push_back(std::move(rest));
}

void ExtractStringsEx(const TCharSet& separators, const std::string& text, std::vector<std::string>& strings)
{
    std::size_t start = 0;
    while (start < text.size() && IsIn(separators, text[start])) ++start;
    if (start == text.size()) return;
    for (std::size_t i = start; i < text.size(); ++i) {
        if (!IsIn(separators, text[i])) continue;
        strings.emplace_back(rtl::Trim(std::string_view(text).substr(start, i - start)));
        start = i + 1;
    }
    std::string rest(rtl::Trim(std::string_view(text).substr(start)));
    if (!rest.empty()) strings.push_back(std::move(rest));
}

std::size_t PosEx(std::string_view subStr, std::string_view s, std::size_t offset) noexcept
{
    if (subStr.empty() || offset < 1 || offset > s.size()) return 0;
    const std::size_t found = s.find(subStr, offset - 1);
    return found == std::string_view::npos ? 0 : found + 1;
}

std::string QuickStringReplace(std::string_view s, std::string_view old, std::string_view replacement)
{
    if (old.empty()) return std::string(s);
    // Whole report texts pass through here: the result is sized once, for the
    // worst case, and filled with block copies.
    std::size_t capacity = s.size();
    if (replacement.size() > old.size()) capacity = s.size() / old.size() * replacement.size() + s.size() % old.size();
    std::string result;
    result.reserve(capacity);
    std::size_t from = 0;
    for (std::size_t at = s.find(old); at != std::string_view::npos; at = s.find(old, from)) {
        result.append(s.substr(from, at - from));
        result.append(replacement);
        from = at + old.size();
    }
    result.append(s.substr(from));
    return result;
}

std::string DotNetHostedFile(const std::string& name)
{
    return QuickStringReplace(name, ".vshost", "");
}

std::string StringToUtf8(const std::string& text)
{
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    const int wideLength = ::MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    if (wideLength <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    if (::MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), wideLength) != wideLength) return {};
    const int utf8Length = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
    if (utf8Length <= 0) return {};
    std::string utf8(static_cast<std::size_t>(utf8Length), '\0');
    if (::WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, utf8.data(), utf8Length, nullptr, nullptr) !=
        utf8Length)
        return {};
    return utf8;
}

std::string OneString(const std::string& text)
{
    std::string result;
    result.reserve(text.size());
    bool inRun = false;
    for (char c : text) {
        if (static_cast<unsigned char>(c) < ' ') {
            if (!inRun) result.push_back(' ');
            inRun = true;
        } else {
            result.push_back(c);
            inRun = false;
        }
    }
    return result;
}

std::string IncludeLastBackslash(const std::string& path)
{
    if (path.empty() || path.back() != '\\') return path + '\\';
    return path;
}

std::string ExcludeLastBackslash(const std::string& path)
{
    if (!path.empty() && path.back() == '\\') return path.substr(0, path.size() - 1);
    return path;
}

namespace core {

namespace {

bool IsPathDelimiter(char c) noexcept
{
    return c == '\\' || c == '/' || c == ':';
}

std::size_t NameStart(const std::string& path) noexcept
{
    std::size_t i = path.size();
    while (i > 0 && !IsPathDelimiter(path[i - 1])) --i;
    return i;
}

}  // namespace

std::string ExtractFilePath(const std::string& path)
{
    return path.substr(0, NameStart(path));
}

std::string JoinPath(const std::string& folder, const std::string& name)
{
    std::size_t skip = 0;
    while (skip < name.size() && name[skip] == '\\') ++skip;
    return IncludeLastBackslash(folder) + name.substr(skip);
}

}  // namespace core

std::string ExtractFileName(const std::string& path)
{
    return path.substr(core::NameStart(path));
}

std::string ChangeFileExt(const std::string& fileName, std::string_view extension)
{
    const std::size_t start = core::NameStart(fileName);
    std::size_t dot = fileName.rfind('.');
    if (dot == std::string::npos || dot < start) dot = fileName.size();
    std::string result = fileName.substr(0, dot);
    result += extension;
    return result;
}

}  // namespace crash
