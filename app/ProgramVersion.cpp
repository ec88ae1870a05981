// Reading the program's version resource.
#include "app/ProgramVersion.h"

#include <windows.h>

#include <cwchar>
#include <vector>

#include "rtl/SysUtils.h"
#include "rtl/TextScan.h"

namespace app {

bool ReadProgramVersion(const std::wstring& fileName, TProgramVersion& version)
{
    DWORD unused = 0;
    const DWORD size = GetFileVersionInfoSizeW(fileName.c_str(), &unused);
    if (size == 0) return false;
    std::vector<unsigned char> block(size);
    if (!GetFileVersionInfoW(fileName.c_str(), 0, size, block.data())) return false;

    struct Translation {
        WORD Language;
        WORD CodePage;
    };
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &length) || length < sizeof(Translation))
        return false;
    const auto* translation = static_cast<const Translation*>(value);

    wchar_t path[64];
    std::swprintf(path, 64, L"\\StringFileInfo\\%04x%04x\\FileVersion", translation->Language, translation->CodePage);
    if (!VerQueryValueW(block.data(), path, &value, &length) || length == 0) return false;
    // A version string without a leading number is no version at all.
    const std::string text = rtl::WideToAnsi(static_cast<const wchar_t*>(value));
    return rtl::ScanFields(text, "%u.%u.%u", {version.Major, version.Minor, version.Release}) > 0;
}

}  // namespace app
