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

bool IsCompatibleLibraryVersion(std::uint16_t version, std::uint16_t ownVersion)
{
    const int first = ownVersion / 100 * 100;
    return first <= version && version <= first + 100;
}

bool IsCompatibleLibraryVersion(std::uint16_t version)
{
    return IsCompatibleLibraryVersion(version, VexlorLogCurrentVersion);
}

std::uint32_t FileSizeByName(const std::string& fileName)
{
    WIN32_FIND_DATAA data;
    const rtl::FindHandle find(::FindFirstFileA(fileName.c_str(), &data));
    return find ? data.nFileSizeLow : 0;
}

bool ForceDeleteFile(const std::string& fileName)
{
    const DWORD attributes = ::GetFileAttributesA(fileName.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        ::SetFileAttributesA(fileName.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    return ::DeleteFileA(fileName.c_str()) != FALSE;
}

}  // namespace crash
