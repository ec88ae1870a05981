// Version resources written into a copy of a program: the block the system's
// version functions read, and its replacement in a file.
#pragma once
#include <windows.h>

#include <cstdint>
#include <cwchar>
#include <string>
#include <vector>

#include "rtl/Handles.h"

namespace testsupport {

namespace detail {

// One node of a version block: the key, a value (text or binary) and children.
struct VersionNode {
    std::wstring Key;
    std::vector<std::uint8_t> Value;
    bool Text = false;
    std::vector<VersionNode> Children;
};

inline void Align4(std::vector<std::uint8_t>& out)
{
    while (out.size() % 4) out.push_back(0);
}

inline void PutWord(std::vector<std::uint8_t>& out, size_t at, std::uint16_t word)
{
    out[at] = static_cast<std::uint8_t>(word);
    out[at + 1] = static_cast<std::uint8_t>(word >> 8);
}

inline void Serialize(const VersionNode& node, std::vector<std::uint8_t>& out)
{
    Align4(out);
    const size_t start = out.size();
    out.resize(start + 6);
    for (wchar_t c : node.Key) {
        out.push_back(static_cast<std::uint8_t>(c));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    out.push_back(0);
    out.push_back(0);
    Align4(out);
    out.insert(out.end(), node.Value.begin(), node.Value.end());
    for (const auto& child : node.Children) Serialize(child, out);
    PutWord(out, start, static_cast<std::uint16_t>(out.size() - start));
    // A text value's length counts characters, a binary one's bytes.
    PutWord(out, start + 2, static_cast<std::uint16_t>(node.Text ? node.Value.size() / 2 : node.Value.size()));
    PutWord(out, start + 4, node.Text ? 1 : 0);
}

inline VersionNode TextValue(const std::wstring& key, const std::wstring& text)
{
    VersionNode node{key, {}, true, {}};
    for (wchar_t c : text + L'\0') {
        node.Value.push_back(static_cast<std::uint8_t>(c));
        node.Value.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return node;
}

inline BOOL CALLBACK TakeLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param)
{
    *reinterpret_cast<WORD*>(param) = language;
    return FALSE;
}

}  // namespace detail

// A version block: the fixed part says major.minor.release, and the one
// string table (Russian, code page 1251) holds fileVersion as "FileVersion".
inline std::vector<std::uint8_t> VersionBlock(WORD major, WORD minor, WORD release, const std::wstring& fileVersion)
{
    using detail::VersionNode;
    VS_FIXEDFILEINFO fixed{};
    fixed.dwSignature = 0xFEEF04BD;
    fixed.dwStrucVersion = 0x00010000;
    fixed.dwFileVersionMS = fixed.dwProductVersionMS = MAKELONG(minor, major);
    fixed.dwFileVersionLS = fixed.dwProductVersionLS = MAKELONG(0, release);
    fixed.dwFileOS = VOS__WINDOWS32;
    fixed.dwFileType = VFT_APP;

    VersionNode table{L"041904E3", {}, true, {detail::TextValue(L"FileVersion", fileVersion)}};
    VersionNode strings{L"StringFileInfo", {}, true, {table}};
    VersionNode translation{L"Translation", {0x19, 0x04, 0xE3, 0x04}, false, {}};
    VersionNode vars{L"VarFileInfo", {}, true, {translation}};
    const auto* raw = reinterpret_cast<const std::uint8_t*>(&fixed);
    VersionNode root{L"VS_VERSION_INFO", {raw, raw + sizeof fixed}, false, {strings, vars}};

    std::vector<std::uint8_t> out;
    detail::Serialize(root, out);
    return out;
}

// Replaces the version resource of `file` with `block` (in the language of
// the one it has, so that it is replaced rather than added beside the old one).
inline bool PatchVersion(const std::wstring& file, const std::vector<std::uint8_t>& block)
{
    WORD language = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);
    if (const rtl::LibraryHandle module(LoadLibraryExW(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)); module)
        EnumResourceLanguagesW(module.Get(), MAKEINTRESOURCEW(16), MAKEINTRESOURCEW(1), detail::TakeLanguage,
                               reinterpret_cast<LONG_PTR>(&language));
    HANDLE update = BeginUpdateResourceW(file.c_str(), FALSE);
    if (!update) return false;
    if (!UpdateResourceW(update, MAKEINTRESOURCEW(16), MAKEINTRESOURCEW(1), language,
                         const_cast<std::uint8_t*>(block.data()), static_cast<DWORD>(block.size()))) {
        EndUpdateResourceW(update, TRUE);
        return false;
    }
    return EndUpdateResourceW(update, FALSE) != FALSE;
}

// The same with "major.minor.release.0" as the file version text.
inline bool PatchVersion(const std::wstring& file, WORD major, WORD minor, WORD release)
{
    wchar_t text[32];
    std::swprintf(text, 32, L"%u.%u.%u.0", major, minor, release);
    return PatchVersion(file, VersionBlock(major, minor, release, text));
}

}  // namespace testsupport
