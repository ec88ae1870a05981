// Window test: the caption carries the version read from the version resource.
//
// Copies Volumetra.exe, rewrites the copy's version resource to 7.8.9, starts
// it and reads the caption of its main window from this process.
//
// usage: VersionCaption.exe PATH-TO-Volumetra.exe
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/GuiTestSupport.h"

namespace {

// One node of a version block: the key, a value (text or binary) and children.
struct VersionNode {
    std::wstring Key;
    std::vector<std::uint8_t> Value;
    bool Text = false;
    std::vector<VersionNode> Children;
};

void Align4(std::vector<std::uint8_t>& out)
{
    while (out.size() % 4)
        out.push_back(0);
}

void PutWord(std::vector<std::uint8_t>& out, size_t at, std::uint16_t word)
{
    out[at] = static_cast<std::uint8_t>(word);
    out[at + 1] = static_cast<std::uint8_t>(word >> 8);
}

void Serialize(const VersionNode& node, std::vector<std::uint8_t>& out)
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
    for (const auto& child : node.Children)
        Serialize(child, out);
    PutWord(out, start, static_cast<std::uint16_t>(out.size() - start));
    // A text value's length counts characters, a binary one's bytes.
    PutWord(out, start + 2, static_cast<std::uint16_t>(node.Text ? node.Value.size() / 2 : node.Value.size()));
    PutWord(out, start + 4, node.Text ? 1 : 0);
}

VersionNode TextValue(const std::wstring& key, const std::wstring& text)
{
    VersionNode node{key, {}, true, {}};
    for (wchar_t c : text + L'\0') {
        node.Value.push_back(static_cast<std::uint8_t>(c));
        node.Value.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return node;
}

std::vector<std::uint8_t> VersionBlock(WORD major, WORD minor, WORD release)
{
    VS_FIXEDFILEINFO fixed{};
    fixed.dwSignature = 0xFEEF04BD;
    fixed.dwStrucVersion = 0x00010000;
    fixed.dwFileVersionMS = fixed.dwProductVersionMS = MAKELONG(minor, major);
    fixed.dwFileVersionLS = fixed.dwProductVersionLS = MAKELONG(0, release);
    fixed.dwFileOS = VOS__WINDOWS32;
    fixed.dwFileType = VFT_APP;

    wchar_t text[32];
    std::swprintf(text, 32, L"%u.%u.%u.0", major, minor, release);
    VersionNode table{L"041904E3", {}, true, {TextValue(L"FileVersion", text)}};
    VersionNode strings{L"StringFileInfo", {}, true, {table}};
    VersionNode translation{L"Translation", {0x19, 0x04, 0xE3, 0x04}, false, {}};
    VersionNode vars{L"VarFileInfo", {}, true, {translation}};
    const auto* raw = reinterpret_cast<const std::uint8_t*>(&fixed);
    VersionNode root{L"VS_VERSION_INFO", {raw, raw + sizeof fixed}, false, {strings, vars}};

    std::vector<std::uint8_t> out;
    Serialize(root, out);
    return out;
}

BOOL CALLBACK TakeLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param)
{
    *reinterpret_cast<WORD*>(param) = language;
    return FALSE;
}

// Replaces the version resource of FILE (same language, so that it is replaced
// rather than added beside the old one).
bool PatchVersion(const std::wstring& file, WORD major, WORD minor, WORD release)
{
    WORD language = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);
    if (HMODULE module = LoadLibraryExW(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {
        EnumResourceLanguagesW(module, MAKEINTRESOURCEW(16), MAKEINTRESOURCEW(1), TakeLanguage,
                               reinterpret_cast<LONG_PTR>(&language));
        FreeLibrary(module);
    }
    std::vector<std::uint8_t> block = VersionBlock(major, minor, release);
    HANDLE update = BeginUpdateResourceW(file.c_str(), FALSE);
    if (!update)
        return false;
    if (!UpdateResourceW(update, MAKEINTRESOURCEW(16), MAKEINTRESOURCEW(1), language, block.data(),
                         static_cast<DWORD>(block.size()))) {
        EndUpdateResourceW(update, TRUE);
        return false;
    }
    return EndUpdateResourceW(update, FALSE) != FALSE;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    using testsupport::Check;
    if (argc != 2) {
        std::printf("usage: VersionCaption.exe PATH-TO-Volumetra.exe\n");
        return 2;
    }
    int failures = 0;
    Check(GetACP() == 1251, "the ANSI code page is 1251 (host locale ru_RU.UTF-8)", failures);

    const std::wstring copy = testsupport::ArtifactsDir() + L"\\Volumetra.exe";
    if (!Check(CopyFileW(argv[1], copy.c_str(), FALSE) != FALSE, "copy of Volumetra.exe made", failures))
        return 1;
    if (!Check(PatchVersion(copy, 7, 8, 9), "version resource patched to 7.8.9", failures))
        return 1;

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring commandLine = L"\"" + copy + L"\"";
    if (!Check(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &process) != FALSE,
               "Volumetra.exe started", failures))
        return 1;

    HWND window = nullptr;
    for (DWORD waited = 0; waited < testsupport::Scaled(10000) && !window; waited += 50) {
        Sleep(50);
        window = testsupport::FindProcessWindow(process.dwProcessId);
    }
    if (Check(window != nullptr, "main window found", failures)) {
        wchar_t caption[256] = L"";
        GetWindowTextW(window, caption, 256);
        std::printf("caption: %ls\n", caption);
        Check(std::wstring(caption) == L"Zarvonix Волюметра 7.8.9", "caption is \"Zarvonix Волюметра 7.8.9\"",
              failures);
        RECT client{};
        GetClientRect(window, &client);
        std::printf("client area: %ld x %ld\n", client.right, client.bottom);
        Sleep(300);
        Check(testsupport::RequestScreenshot(L"main-window"), "screenshot taken", failures);
        PostMessageW(window, WM_CLOSE, 0, 0);
    }
    if (!Check(WaitForSingleObject(process.hProcess, testsupport::Scaled(10000)) == WAIT_OBJECT_0,
               "program ended after close", failures))
        TerminateProcess(process.hProcess, 1);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    Check(exitCode == 0, "exit code 0", failures);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return failures == 0 ? 0 : 1;
}
