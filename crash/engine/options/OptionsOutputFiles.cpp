// Where a module's log and output files go.
#include <windows.h>

#include <string>
#include <string_view>

#include "crash/engine/ECore.h"
#include "crash/engine/EOptions.h"

namespace crash {
namespace {

// File-name pieces as the runtime cuts them: the folder ends at the last "\"
// or ":", the extension starts at the last "." after it. Code page 1251 has no
// multi-byte characters, so bytes can be searched directly.
std::size_t NameStart(const std::string& path)
{
    const auto delimiter = path.find_last_of("\\:");
    return delimiter == std::string::npos ? 0 : delimiter + 1;
}

std::string ExtractFolder(const std::string& path)
{
    return path.substr(0, NameStart(path));
}
std::string ExtractName(const std::string& path)
{
    return path.substr(NameStart(path));
}

std::size_t ExtensionStart(const std::string& path)
{
    const auto dot = path.find_last_of('.');
    return dot == std::string::npos || dot < NameStart(path) ? path.size() : dot;
}

std::string ChangeExtension(const std::string& path, std::string_view extension)
{
    return path.substr(0, ExtensionStart(path)) + std::string(extension);
}

bool HasLogExtension(const std::string& path)
{
    const std::string extension = path.substr(ExtensionStart(path));
    if (extension.size() != 4) return false;
    for (std::size_t i = 0; i < 4; ++i) {
        char c = extension[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != ".vlf"[i]) return false;
    }
    return true;
}

std::string ComputerName()
{
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    if (!::GetComputerNameA(name, &size)) return {};
    return std::string(name, size);
}

}  // namespace

std::string InsertComputerNameInFileName(const std::string& logFile, std::string_view computerName)
{
    if (computerName.empty()) return logFile;
    std::string safe(computerName);
    for (char& c : safe) {
        if (std::string_view("\"*/:<>?\\|").find(c) != std::string_view::npos) c = '_';
    }
    const std::size_t extension = ExtensionStart(logFile);
    return logFile.substr(0, extension) + "_" + safe + logFile.substr(extension);
}

std::string TVexlorModuleOptions::OutputFile(const std::string& fileName) const
{
    std::string result;
    if (HasLogExtension(FOutputPath)) {
        result = FOutputPath;
    } else {
        const std::string folder = FOutputPath.empty() ? ExtractFolder(fileName) : FOutputPath;
        // A bare file name stays where it is, relative to the current folder:
        // IncludeLastBackslash("") would make it "\name", the root of the drive.
        result = folder.empty() ? ExtractName(fileName) : IncludeLastBackslash(folder) + ExtractName(fileName);
    }
    const std::string folder = ExtractFolder(result);
    if (!folder.empty()) ForceDirectoriesEx(folder);
    // The log files of several programs may meet in the user's folder: each
    // gets a folder of its own there.
    GetWorkingFile(result, true, false);
    return result;
}

std::string TVexlorModuleOptions::OutputLogFile(const std::string& baseFile) const
{
    const std::string base = baseFile.empty() ? DotNetHostedFile(FModuleName) : baseFile;
    std::string result = OutputFile(ChangeExtension(base, ".vlf"));
    if (FLogOptions.Contains(loAddComputerNameInLogFileName))
        result = InsertComputerNameInFileName(result, ComputerName());
    return result;
}

}  // namespace crash
