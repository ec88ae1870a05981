// The application-kind tests.
#include "crash/report/appkind/ApplicationKind.h"

#include <windows.h>
#include <shellapi.h>

#include <memory>
#include <vector>

#include "crash/engine/ExceptionLog.h"
#include "crash/engine/ReportSteps.h"
#include "rtl/Handles.h"
#include "rtl/Libraries.h"
#include "rtl/SysUtils.h"

namespace crash {

namespace {

// The subsystem field of the image's optional header; 0 when the headers
// cannot be read.
WORD ImageSubsystem(HMODULE module)
{
    THModuleStream stream(module);
    IMAGE_DOS_HEADER dos = {};
    if (!stream.SecureRead(&dos, sizeof dos) || dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew <= 0) return 0;
    stream.SetPosition(dos.e_lfanew);
    DWORD signature = 0;
    IMAGE_FILE_HEADER file = {};
    if (!stream.SecureRead(&signature, sizeof signature) || signature != IMAGE_NT_SIGNATURE ||
        !stream.SecureRead(&file, sizeof file))
        return 0;
    // Subsystem lies at the same place in the 32- and 64-bit headers.
    IMAGE_OPTIONAL_HEADER32 optional = {};
    const std::size_t reach = offsetof(IMAGE_OPTIONAL_HEADER32, Subsystem) + sizeof optional.Subsystem;
    if (file.SizeOfOptionalHeader < reach || !stream.SecureRead(&optional, reach)) return 0;
    return optional.Subsystem;
}

bool EnvironmentVariableExists(const char* name)
{
    // An empty variable answers 0 like a missing one, so the block is read.
    const wchar_t* block = ::GetEnvironmentStringsW();
    if (block == nullptr) return false;
    const std::wstring wanted = rtl::AnsiToWide(name) + L"=";
    bool found = false;
    for (const wchar_t* entry = block; *entry != L'\0'; entry += wcslen(entry) + 1) {
        if (wcslen(entry) >= wanted.size() &&
            ::CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, entry, static_cast<int>(wanted.size()), wanted.c_str(),
                             static_cast<int>(wanted.size())) == CSTR_EQUAL) {
            found = true;
            break;
        }
    }
    ::FreeEnvironmentStringsW(const_cast<wchar_t*>(block));
    return found;
}

// The process's command-line parameters by the system's argument rules, the
// program's name first.
std::vector<std::string> CommandLineArguments()
{
    std::vector<std::string> arguments;
    rtl::LibraryHandle shell(::LoadLibraryW(L"shell32.dll"));
    auto* split = rtl::EntryPoint<decltype(::CommandLineToArgvW)>(shell.Get(), "CommandLineToArgvW");
    if (split == nullptr) return arguments;
    int count = 0;
    const std::unique_ptr<LPWSTR, decltype(&::LocalFree)> list(split(::GetCommandLineW(), &count), &::LocalFree);
    if (!list) return arguments;
    for (int i = 0; i < count; ++i) arguments.push_back(rtl::WideToAnsi(list.get()[i]));
    return arguments;
}

std::string FullPathOf(const std::string& fileName)
{
    char path[MAX_PATH];
    const DWORD length = ::GetFullPathNameA(fileName.c_str(), MAX_PATH, path, nullptr);
    return length > 0 && length < MAX_PATH ? std::string(path, length) : std::string();
}

// A value of the web server's profile, read where it lies: a read-only
// profile is read too, and asking makes no file or folder anywhere, which the
// library's own settings files may.
std::string ProfileValue(const std::string& profile, const char* section, const char* key)
{
    char value[2048];
    const DWORD length = ::GetPrivateProfileStringA(section, key, "", value, sizeof value, profile.c_str());
    return std::string(value, length);
}

}  // namespace

bool IsConsoleApplication()
{
    return ImageSubsystem(::GetModuleHandleW(nullptr)) == IMAGE_SUBSYSTEM_WINDOWS_CUI;
}

bool IsCGIApplication()
{
    return IsConsoleApplication() && EnvironmentVariableExists("REQUEST_METHOD");
}

std::string WinCGIOutputFile()
{
    if (IsConsoleApplication()) return {};
    const std::vector<std::string> arguments = CommandLineArguments();
    if (arguments.size() < 2 || !IsOpenableFile(arguments[1])) return {};
    const std::string profile = FullPathOf(arguments[1]);
    if (profile.empty() || FileSizeByName(profile) > 102400) return {};
    if (ProfileValue(profile, "CGI", "Request Method").empty()) return {};
    std::string output = arguments.size() > 3 ? arguments[3] : std::string();
    if (output.empty()) output = ProfileValue(profile, "System", "Output File");
    return !output.empty() && IsReadableFile(output) ? output : std::string();
}

bool IsWinCGIApplication()
{
    return !WinCGIOutputFile().empty();
}

bool IsISAPIApplication()
{
    HMODULE own = LibraryModuleHandle();
    return own != nullptr && IsLibraryModule(own) && ::GetProcAddress(own, "HttpExtensionProc") != nullptr;
}

bool IsIntraWebApplication()
{
    return false;
}

bool IsWebApplication()
{
    return IsISAPIApplication() || IsCGIApplication() || IsWinCGIApplication() || IsIntraWebApplication();
}

bool IsGUIApplication()
{
    return !IsWebApplication() && !IsConsoleApplication();
}

bool IsOpenableFile(const std::string& fileName)
{
    // A wildcard names no one file, whatever the system would make of it.
    return fileName.find_first_of("*?") == std::string::npos && IsReadableFile(fileName);
}

void RegisterApplicationKindSteps()
{
    ReportSteps.IsConsoleApplication.Set(&IsConsoleApplication);
    ReportSteps.IsWebApplication.Set(&IsWebApplication);
    ReportSteps.IsCGIApplication.Set(&IsCGIApplication);
}

}  // namespace crash
