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

std::string GetLongNameFromShort(const std::string& Path)
{
    std::string path = Path;
    if (path.find('~') != std::string::npos) {
        const DWORD size = ::GetFullPathNameA(Path.c_str(), 0, nullptr, nullptr);
        if (size != 0) {
            std::string full(size, '\0');
            const DWORD length = ::GetFullPathNameA(Path.c_str(), size, full.data(), nullptr);
            if (length != 0 && length < size) {
                full.resize(length);
                path = std::move(full);
            }
        }
    }
    std::size_t rootLength = 0;
    if (path.size() >= 3 && path[1] == ':' && path[2] == '\\') {
        rootLength = 3;
    } else if (path.starts_with("\\\\")) {
        const std::size_t server = path.find('\\', 2);
        const std::size_t share = server == std::string::npos ? server : path.find('\\', server + 1);
        if (share == std::string::npos) return path;
        rootLength = share + 1;
    } else {
        return path;
    }
    std::string result = path.substr(0, rootLength);
    std::size_t pos = rootLength;
    while (pos < path.size()) {
        const std::size_t next = path.find('\\', pos);
        const std::string component = path.substr(pos, next == std::string::npos ? next : next - pos);
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
    return result + path.substr(pos);
}

bool ForceDirectoriesEx(const std::string& Path)
{
    if (Path.empty()) return false;
    // Expanded once: a folder name that holds "%" after expansion stays as it is.
    return ForceExpandedDirectories(ExpandEnvVars(ExcludeLastBackslash(Path)));
}

bool IsWritableFile(const std::string& FileName)
{
    if (FileName.empty()) return false;
    for (int attempt = 0; attempt < 2; ++attempt) {
        {
            rtl::FileHandle existing(::CreateFileA(FileName.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (existing) return true;
        }
        if (::GetLastError() != ERROR_FILE_NOT_FOUND) return false;
        // Only a file made here may go again, and the system removes it with the
        // last handle: a file that someone else creates in between is never touched.
        rtl::FileHandle created(::CreateFileA(FileName.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                                              CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                                              nullptr));
        if (created) return true;
        if (::GetLastError() != ERROR_FILE_EXISTS && ::GetLastError() != ERROR_ALREADY_EXISTS) return false;
    }
    return false;
}

bool IsReadableFile(const std::string& FileName)
{
    if (FileName.empty()) return false;
    rtl::FileHandle file(::CreateFileA(FileName.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
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

bool GetWorkingFile(std::string& FileName, bool UseModuleFolder, bool ReadOnly)
{
    FileName = ExpandEnvVars(FileName);
    if (IsUsable(FileName, ReadOnly)) return true;

    std::string folder = core::LibraryFolderIn(GetUserApplicationsPath());
    bool found = ForceDirectoriesEx(folder);
    if (found && UseModuleFolder) {
        folder = core::JoinPath(folder, ChangeFileExt(ExtractFileName(Real_GetMainModuleFileName()), ""));
        found = ForceDirectoriesEx(folder);
    }
    if (found) {
        std::string candidate = core::JoinPath(folder, core::ExtractFileName(FileName));
        if (IsUsable(candidate, ReadOnly)) {
            FileName = std::move(candidate);
            return true;
        }
    }
    // A file to be read may simply not exist; one to be written that has no
    // place at all is the crash reporter's own failure.
    if (!ReadOnly) SetLastVexlorLogError(eeLogError, "Cannot find a writable place for \"" + FileName + "\".");
    return false;
}

bool GetWorkingDir(std::string& Folder, bool UseModuleFolder, bool ReadOnly)
{
    std::string file = IncludeLastBackslash(Folder) + 'X';
    const bool usable = GetWorkingFile(file, UseModuleFolder, ReadOnly);
    if (!file.empty() && file.back() == 'X') file.pop_back();
    Folder = std::move(file);
    return usable;
}

}  // namespace crash
