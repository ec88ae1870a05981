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

void ExtractList(const std::string& Text, std::vector<std::string>& Strings, const TCharSet& Separators, bool Raw,
                 bool AddEmpty)
{
    const std::string text = Raw ? Text : std::string(rtl::Trim(Text));
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!IsIn(Separators, text[i])) continue;
        std::string piece = Raw ? text.substr(start, i + 1 - start)
                                : std::string(rtl::Trim(std::string_view(text).substr(start, i - start)));
        if (!piece.empty() || AddEmpty) Strings.push_back(std::move(piece));
        start = i + 1;
    }
    std::string rest = text.substr(start);
    if (!Raw) rest = std::string(rtl::Trim(rest));
    if (!rest.empty()) Strings.push_back(std::move(rest));
}

void ExtractStringsEx(const TCharSet& Separators, const std::string& Text, std::vector<std::string>& Strings)
{
    std::size_t start = 0;
    while (start < Text.size() && IsIn(Separators, Text[start])) ++start;
    if (start == Text.size()) return;
    for (std::size_t i = start; i < Text.size(); ++i) {
        if (!IsIn(Separators, Text[i])) continue;
        Strings.emplace_back(rtl::Trim(std::string_view(Text).substr(start, i - start)));
        start = i + 1;
    }
    std::string rest(rtl::Trim(std::string_view(Text).substr(start)));
    if (!rest.empty()) Strings.push_back(std::move(rest));
}

std::size_t PosEx(std::string_view SubStr, std::string_view S, std::size_t Offset) noexcept
{
    if (SubStr.empty() || Offset < 1 || Offset > S.size()) return 0;
    const std::size_t found = S.find(SubStr, Offset - 1);
    return found == std::string_view::npos ? 0 : found + 1;
}

std::string QuickStringReplace(std::string_view S, std::string_view Old, std::string_view New)
{
    if (Old.empty()) return std::string(S);
    // Whole report texts pass through here: the result is sized once, for the
    // worst case, and filled with block copies.
    std::size_t capacity = S.size();
    if (New.size() > Old.size()) capacity = S.size() / Old.size() * New.size() + S.size() % Old.size();
    std::string result;
    result.reserve(capacity);
    std::size_t from = 0;
    for (std::size_t at = S.find(Old); at != std::string_view::npos; at = S.find(Old, from)) {
        result.append(S.substr(from, at - from));
        result.append(New);
        from = at + Old.size();
    }
    result.append(S.substr(from));
    return result;
}

std::string DotNetHostedFile(const std::string& Name)
{
    return QuickStringReplace(Name, ".vshost", "");
}

std::string StringToUtf8(const std::string& Text)
{
    if (Text.empty()) return {};
    const int length = static_cast<int>(Text.size());
    const int wideLength = ::MultiByteToWideChar(CP_ACP, 0, Text.data(), length, nullptr, 0);
    if (wideLength <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    if (::MultiByteToWideChar(CP_ACP, 0, Text.data(), length, wide.data(), wideLength) != wideLength) return {};
    const int utf8Length = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
    if (utf8Length <= 0) return {};
    std::string utf8(static_cast<std::size_t>(utf8Length), '\0');
    if (::WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, utf8.data(), utf8Length, nullptr, nullptr) !=
        utf8Length)
        return {};
    return utf8;
}

std::string OneString(const std::string& Text)
{
    std::string result;
    result.reserve(Text.size());
    bool inRun = false;
    for (char c : Text) {
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

std::string IncludeLastBackslash(const std::string& Path)
{
    if (Path.empty() || Path.back() != '\\') return Path + '\\';
    return Path;
}

std::string ExcludeLastBackslash(const std::string& Path)
{
    if (!Path.empty() && Path.back() == '\\') return Path.substr(0, Path.size() - 1);
    return Path;
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

std::string ExtractFileName(const std::string& Path)
{
    return Path.substr(core::NameStart(Path));
}

std::string ChangeFileExt(const std::string& FileName, std::string_view Extension)
{
    const std::size_t start = core::NameStart(FileName);
    std::size_t dot = FileName.rfind('.');
    if (dot == std::string::npos || dot < start) dot = FileName.size();
    std::string result = FileName.substr(0, dot);
    result += Extension;
    return result;
}

}  // namespace crash
