// File services, the debugger test and the library-version test.
#include "crash/engine/EConsts.h"
#include "crash/engine/system/SystemInfo.h"
#include "rtl/Handles.h"
#include "rtl/Libraries.h"

namespace crash {

bool IsDebuggerAttached() noexcept
{
    auto* isPresent =
        rtl::EntryPoint<decltype(::IsDebuggerPresent)>(::GetModuleHandleW(L"kernel32.dll"), "IsDebuggerPresent");
    return isPresent && isPresent();
}

bool IsCompatibleLibraryVersion(std::uint16_t Version, std::uint16_t OwnVersion)
{
    const int first = OwnVersion / 100 * 100;
    return first <= Version && Version <= first + 100;
}

bool IsCompatibleLibraryVersion(std::uint16_t Version)
{
    return IsCompatibleLibraryVersion(Version, VexlorLogCurrentVersion);
}

std::uint32_t FileSizeByName(const std::string& FileName)
{
    WIN32_FIND_DATAA data;
    const rtl::FindHandle find(::FindFirstFileA(FileName.c_str(), &data));
    return find ? data.nFileSizeLow : 0;
}

bool ForceDeleteFile(const std::string& FileName)
{
    const DWORD attributes = ::GetFileAttributesA(FileName.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        ::SetFileAttributesA(FileName.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    return ::DeleteFileA(FileName.c_str()) != FALSE;
}

}  // namespace crash
