// Internals shared by the core utilities: small handle owners, path pieces and
// the warning sink. Only the core utilities' own files and their tests use it.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>
#include <utility>

namespace crash::core {

// Owner of a FindFirstFileA search.
class ScopedFind {
public:
    ScopedFind(const std::string& pattern, WIN32_FIND_DATAA& data) noexcept
        : FHandle(::FindFirstFileA(pattern.c_str(), &data)) {}
    ScopedFind(const ScopedFind&) = delete;
    ScopedFind& operator=(const ScopedFind&) = delete;
    ~ScopedFind() { if (FHandle != INVALID_HANDLE_VALUE) ::FindClose(FHandle); }
    explicit operator bool() const noexcept { return FHandle != INVALID_HANDLE_VALUE; }

private:
    HANDLE FHandle;
};

// Owner of an open registry key.
class ScopedRegKey {
public:
    ScopedRegKey() = default;
    ScopedRegKey(const ScopedRegKey&) = delete;
    ScopedRegKey& operator=(const ScopedRegKey&) = delete;
    ~ScopedRegKey() { if (FKey) ::RegCloseKey(FKey); }
    HKEY* Receive() noexcept { return &FKey; }
    HKEY Get() const noexcept { return FKey; }

private:
    HKEY FKey = nullptr;
};

// Owner of a library loaded at run time.
class ScopedLibrary {
public:
    explicit ScopedLibrary(const char* name) noexcept : FModule(::LoadLibraryA(name)) {}
    ScopedLibrary(const ScopedLibrary&) = delete;
    ScopedLibrary& operator=(const ScopedLibrary&) = delete;
    ~ScopedLibrary() { if (FModule) ::FreeLibrary(FModule); }
    // The entry point as FnPtr (a pointer to function type); null when missing.
    template <typename FnPtr>
    FnPtr Find(const char* name) const noexcept
    {
        return FModule ? reinterpret_cast<FnPtr>(reinterpret_cast<void*>(::GetProcAddress(FModule, name)))
                       : nullptr;
    }

private:
    HMODULE FModule;
};

// Text without the characters up to the blank at both ends.
std::string Trim(std::string_view text);

// The folder part of a path, with its closing delimiter ("C:\a\" of "C:\a\b.ini",
// "C:" of "C:b.ini"); empty for a bare file name.
std::string ExtractFilePath(const std::string& path);
// The file-name part of a path.
std::string ExtractFileName(const std::string& path);
// Folder and name joined with exactly one backslash; an empty folder gives the
// root of the current drive, never a network path.
std::string JoinPath(const std::string& folder, const std::string& name);
// The library's folder below an application-data folder.
std::string LibraryFolderIn(const std::string& applicationData);

// The current local time as a date-time.
double NowDateTime();
// A date-time from a SYSTEMTIME (no range check).
double SystemTimeToDateTime(const SYSTEMTIME& time);

// Warnings of the core utilities. Until the crash reporter's warning store
// exists, a warning is only written to the debugger output, in the warning line
// format; the store will take this function's place.
void CoreWarning(const std::string& message) noexcept;

}  // namespace crash::core
