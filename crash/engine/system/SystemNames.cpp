// Names of modules, the process, the computer, the user and the owner.
#include "crash/engine/system/SystemInfo.h"

#include <cstring>

#include "crash/engine/EOptions.h"
#include "crash/engine/system/SystemInternal.h"
#include "rtl/Libraries.h"
#include "rtl/SysUtils.h"

namespace crash {

namespace system {

std::string CutInternalPathPrefix(const std::string& name)
{
    const std::size_t question = name.find('?');
    if (question == std::string::npos) return name;
    const std::size_t colon = name.find(':', question);
    if (colon == std::string::npos || colon == 0) return name;
    return name.substr(colon - 1);
}

std::string ChooseRegisteredOwner(const std::string (&values)[3], bool vistaOrLater)
{
    for (const std::string& value : values) {
        // Setup writes the placeholder on the systems that no longer ask.
        if (value.empty() || (vistaOrLater && value == "Microsoft")) continue;
        return value;
    }
    return {};
}

}  // namespace system

std::string GetModuleFullFileName(HMODULE module)
{
    const std::string name = system::CutInternalPathPrefix(rtl::ModuleFileNameAnsi(module));
    // Every short alias the system makes holds a "~": without one, each part
    // of the name is its long form already, and the file system is not asked
    // once for each of them.
    if (name.find('~') == std::string::npos) return name;
    return GetLongNameFromShort(name);
}

bool IsValidModuleHandle(HMODULE module)
{
    return !GetModuleFullFileName(module).empty();
}

std::string ThisModuleFileName()
{
    return GetModuleFullFileName(LibraryModuleHandle());
}

std::string CommandLineText()
{
    const wchar_t* line = ::GetCommandLineW();
    return line ? rtl::WideToAnsi(line) : std::string();
}

DWORD CurrentProcessID() noexcept
{
    return ::GetCurrentProcessId();
}

HANDLE CurrentProcessHandle() noexcept
{
    return ::GetCurrentProcess();
}

std::string ComputerNameText()
{
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = sizeof name;
    if (!::GetComputerNameA(name, &length)) return {};
    return std::string(name, length < sizeof name ? length : 0);
}

std::string UserLoginText()
{
    char name[256] = {};
    DWORD length = sizeof name;
    if (!::GetUserNameA(name, &length)) return {};
    return std::string(name, ::strnlen(name, sizeof name));
}

std::string RegisteredOwnerText()
{
    const std::string values[3] = {
        ReadKey(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\MICROSOFT\\WINDOWS NT\\CURRENTVERSION", "RegisteredOwner"),
        ReadKey(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION", "RegisteredOwner"),
        ReadKey(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\MICROSOFT\\MS SETUP (ACME)\\USER INFO", "DefName"),
    };
    return system::ChooseRegisteredOwner(values, OSIsVistaOrLater());
}

}  // namespace crash
