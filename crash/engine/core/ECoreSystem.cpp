// Process facts of the core utilities: the development-environment flag, COM
// interface queries and the user's character set.
#include "crash/engine/ECore.h"
#include "crash/engine/core/ECoreInternal.h"

namespace crash {

bool IntoIDE = false;

namespace {

// The executable of the development environment that hosts design-time packages.
constexpr const char kDevelopmentHost[] = "VLSTUDIO.EXE";

}  // namespace

bool DetectIntoIDE()
{
    std::string name = core::ExtractFileName(Real_GetMainModuleFileName());
    if (name.empty()) return false;
    ::CharUpperBuffA(name.data(), static_cast<DWORD>(name.size()));
    return name == kDevelopmentHost;
}

bool SupportsEx(IUnknown* instance, REFIID iid, void** result)
{
    if (!result) return false;
    *result = nullptr;
    if (!instance) return false;
    return SUCCEEDED(instance->QueryInterface(iid, result)) && *result != nullptr;
}

BYTE UserCharSet()
{
    char text[6] = {};
    int number = 0;
    UINT codePage = 0;
    if (::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE, text, sizeof text) > 0 &&
        rtl::TryStrToInt(text, number) && number > 0)
        codePage = static_cast<UINT>(number);
    if (codePage == 0) codePage = ::GetACP();
    CHARSETINFO info = {};
    if (!::TranslateCharsetInfo(reinterpret_cast<DWORD*>(static_cast<std::uintptr_t>(codePage)), &info,
                                TCI_SRCCODEPAGE))
        return DEFAULT_CHARSET;
    return static_cast<BYTE>(info.ciCharset);
}

}  // namespace crash
