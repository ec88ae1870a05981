// The user and active-control items of the report header.
#include <vector>

#include "crash/engine/ExceptionLog.h"
#include "crash/engine/system/SystemInternal.h"
#include "crash/report/collectors/HeaderCollectors.h"
#include "rtl/Handles.h"

namespace crash {

namespace {

std::string& StoredEmail()
{
    static std::string email;
    return email;
}

}  // namespace

std::string UserEmailText()
{
    return StoredEmail();
}

void SetUserEmail(std::string email)
{
    StoredEmail() = std::move(email);
}

std::string UserCompanyText()
{
    const std::string values[3] = {
        ReadKey(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\MICROSOFT\\WINDOWS NT\\CURRENTVERSION", "RegisteredOrganization"),
        ReadKey(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION", "RegisteredOrganization"),
        ReadKey(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\MICROSOFT\\MS SETUP (ACME)\\USER INFO", "DefCompany"),
    };
    // The owner's and the company's keys follow the same rule, placeholder
    // included.
    return system::ChooseRegisteredOwner(values, OSIsVistaOrLater());
}

std::string PrivilegeLine(const std::string& name, bool enabled)
{
    return PadRightSpaces(name, 31) + (enabled ? " - ON" : " - OFF") + "\r\n";
}

std::string UserPrivilegesText()
{
    rtl::KernelHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.Receive())) {
        token.Release();
        return {};
    }
    DWORD size = 0;
    ::GetTokenInformation(token.Get(), TokenPrivileges, nullptr, 0, &size);
    if (size < sizeof(TOKEN_PRIVILEGES) - sizeof(LUID_AND_ATTRIBUTES)) return {};
    // DWORD elements keep the structure aligned.
    std::vector<DWORD> buffer((size + sizeof(DWORD) - 1) / sizeof(DWORD));
    if (!::GetTokenInformation(token.Get(), TokenPrivileges, buffer.data(), size, &size)) return {};
    const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
    const std::size_t room = (size - offsetof(TOKEN_PRIVILEGES, Privileges)) / sizeof(LUID_AND_ATTRIBUTES);
    const std::size_t count = privileges->PrivilegeCount < room ? privileges->PrivilegeCount : room;
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        LUID luid = privileges->Privileges[i].Luid;
        char name[256];
        DWORD length = sizeof name;
        if (!::LookupPrivilegeNameA(nullptr, &luid, name, &length)) continue;
        text += PrivilegeLine(std::string(name, length),
                              (privileges->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED) != 0);
    }
    return text;
}

std::string WindowClassText(HWND window)
{
    window = UserWindowOrNone(window);
    if (window == nullptr) return {};
    char name[256];
    const int length = ::GetClassNameA(window, name, sizeof name);
    return length > 0 ? std::string(name, static_cast<std::size_t>(length)) : std::string();
}

std::string WindowCaptionText(HWND window)
{
    window = UserWindowOrNone(window);
    if (window == nullptr) return {};
    // The default procedure reads the text the system keeps for the window,
    // without a message to its thread, which may be the one that hangs.
    char text[256];
    const LRESULT length = ::DefWindowProcA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    if (length <= 0) return {};
    return SingleLineText(std::string(text, static_cast<std::size_t>(length < 255 ? length : 255)));
}

std::string ForegroundFormClassText()
{
    return WindowClassText(::GetForegroundWindow());
}

std::string ForegroundFormText()
{
    return WindowCaptionText(::GetForegroundWindow());
}

std::string ActiveControlText(const std::string& controlText)
{
    return SingleLineText(controlText);
}

}  // namespace crash
