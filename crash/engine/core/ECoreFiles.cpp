// Files and folders of the core utilities: usable-file tests, folder creation,
// long names and the working files with their fallback to the user's folder.
#include "crash/engine/ECore.h"

#include <shfolder.h>

#include "crash/engine/core/ECoreInternal.h"
#include "crash/engine/errors/InternalErrors.h"
#include "rtl/Handles.h"
#include "rtl/Libraries.h"

namespace crash {

namespace {

constexpr const char kLibraryFolderName[] = "VexlorLog";
constexpr int kFolderAppData = 26;       // CSIDL_APPDATA
constexpr int kFolderLocalAppData = 28;  // CSIDL_LOCAL_APPDATA

bool DirectoryExists(const std::string& path)
{
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The shell's folder lookup, from the library that has it on every system.
struct ShellFolderEntries {
    decltype(&::SHGetFolderPathA) GetFolderPath = nullptr;

    template <class TBinder>
    void BindEntries(TBinder& bind)
    {
        bind.Required(GetFolderPath, "SHGetFolderPathA");
    }
};

std::string ShellFolder(int folderId)
{
    const rtl::RuntimeLibrary<ShellFolderEntries> shfolder(L"shfolder.dll");
    char path[MAX_PATH] = {};
    if (!shfolder || FAILED(shfolder->GetFolderPath(nullptr, folderId, nullptr, 0, path))) return {};
    return path;
}

std::string EnvironmentOnly(const char* name)
{
    const DWORD size = ::GetEnvironmentVariableA(name, nullptr, 0);
    if (size == 0) return {};
    std::string value(size, '\0');
    const DWORD length = ::GetEnvironmentVariableA(name, value.data(), size);
    value.resize(length < size ? length : 0);
    return value;
}

bool ForceExpandedDirectories(const std::string& path)
{
    if (path.empty()) return false;
    if (path.size() <= 2 || DirectoryExists(path)) return true;
    const std::string parent = ExcludeLastBackslash(core::ExtractFilePath(path));
    if (parent == path) return true;
    ForceExpandedDirectories(parent);
    if (::CreateDirectoryA(path.c_str(), nullptr)) return true;
    // Another thread or process may have made it in the meantime.
    return ::GetLastError() == ERROR_ALREADY_EXISTS && DirectoryExists(path);
}

bool IsUsable(const std::string& fileName, bool readOnly)
{
    return readOnly ? IsReadableFile(fileName) : IsWritableFile(fileName);
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

namespace core {

std::string LibraryFolderIn(const std::string& applicationData)
{
    return JoinPath(applicationData, kLibraryFolderName);
}

}  // namespace core

std::string Real_GetMainModuleFileName()
{
    return rtl::ModuleFileNameAnsi();
}

std::string GetLongNameFromShort(const std::string& path)
{
    std::string longName = path;
    if (longName.find('~') != std::string::npos) {
        const DWORD size = ::GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
        if (size != 0) {
            std::string full(size, '\0');
            const DWORD length = ::GetFullPathNameA(path.c_str(), size, full.data(), nullptr);
            if (length != 0 && length < size) {
                full.resize(length);
                longName = std::move(full);
            }
        }
    }
    std::size_t rootLength = 0;
    if (longName.size() >= 3 && longName[1] == ':' && longName[2] == '\\') {
        rootLength = 3;
    } else if (longName.starts_with("\\\\")) {
        const std::size_t server = longName.find('\\', 2);
        const std::size_t share = server == std::string::npos ? server : longName.find('\\', server + 1);
        if (share == std::string::npos) return longName;
        rootLength = share + 1;
    } else {
        return longName;
    }
    std::string result = longName.substr(0, rootLength);
    std::size_t pos = rootLength;
    while (pos < longName.size()) {
        const std::size_t next = longName.find('\\', pos);
        const std::string component = longName.substr(pos, next == std::string::npos ? next : next - pos);
        // A wildcard would make the search match some other name.
        WIN32_FIND_DATAA data;
        const bool plain = !component.empty() && component != "." && component != ".." &&
                           component.find_first_of("*?") == std::string::npos;
        if (!plain) break;
        const rtl::FindHandle find(::FindFirstFileA((result + component).c_str(), &data));
        if (!find) break;
        result += data.cFileName;
        if (next == std::string::npos) return result;
        result += '\\';
        pos = next + 1;
    }
    return result + longName.substr(pos);
}

bool ForceDirectoriesEx(const std::string& path)
{
    if (path.empty()) return false;
    // Expanded once: a folder name that holds "%" after expansion stays as it is.
    return ForceExpandedDirectories(ExpandEnvVars(ExcludeLastBackslash(path)));
}

bool IsWritableFile(const std::string& fileName)
{
    if (fileName.empty()) return false;
    for (int attempt = 0; attempt < 2; ++attempt) {
        {
            rtl::FileHandle existing(::CreateFileA(fileName.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (existing) return true;
        }
        if (::GetLastError() != ERROR_FILE_NOT_FOUND) return false;
        // Only a file made here may go again, and the system removes it with the
        // last handle: a file that someone else creates in between is never touched.
        rtl::FileHandle created(::CreateFileA(fileName.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                                              CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                                              nullptr));
        if (created) return true;
        if (::GetLastError() != ERROR_FILE_EXISTS && ::GetLastError() != ERROR_ALREADY_EXISTS) return false;
    }
    return false;
}

bool IsReadableFile(const std::string& fileName)
{
    if (fileName.empty()) return false;
    rtl::FileHandle file(::CreateFileA(fileName.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    return static_cast<bool>(file);
}

std::string GetUserApplicationsPath()
{
    std::string folder = ShellFolder(kFolderAppData);
    if (folder.empty()) folder = EnvironmentOnly("AppData");
    if (folder.empty()) folder = "\\";
    return folder;
}

std::string GetLocalUserApplicationsPath()
{
    std::string folder = ShellFolder(kFolderLocalAppData);
    return folder.empty() ? GetUserApplicationsPath() : folder;
}

std::string GetLibraryDefaultFolder()
{
    if ((::GetVersion() & 0x80000000u) != 0) {  // Windows 95/98/Me
        char folder[MAX_PATH] = {};
        const UINT length = ::GetWindowsDirectoryA(folder, MAX_PATH);
        if (length > 0 && length < MAX_PATH) return folder;
    }
    return core::LibraryFolderIn(GetUserApplicationsPath());
}

bool GetWorkingFile(std::string& fileName, bool useModuleFolder, bool readOnly)
{
    fileName = ExpandEnvVars(fileName);
    if (IsUsable(fileName, readOnly)) return true;

    std::string folder = core::LibraryFolderIn(GetUserApplicationsPath());
    bool found = ForceDirectoriesEx(folder);
    if (found && useModuleFolder) {
        folder = core::JoinPath(folder, ChangeFileExt(ExtractFileName(Real_GetMainModuleFileName()), ""));
        found = ForceDirectoriesEx(folder);
    }
    if (found) {
        std::string candidate = core::JoinPath(folder, core::ExtractFileName(fileName));
        if (IsUsable(candidate, readOnly)) {
            fileName = std::move(candidate);
            return true;
        }
    }
    // A file to be read may simply not exist; one to be written that has no
    // place at all is the crash reporter's own failure.
    if (!readOnly) SetLastVexlorLogError(eeLogError, "Cannot find a writable place for \"" + fileName + "\".");
    return false;
}

bool GetWorkingDir(std::string& folder, bool useModuleFolder, bool readOnly)
{
    std::string file = IncludeLastBackslash(folder) + 'X';
    const bool usable = GetWorkingFile(file, useModuleFolder, readOnly);
    if (!file.empty() && file.back() == 'X') file.pop_back();
    folder = std::move(file);
    return usable;
}

}  // namespace crash
