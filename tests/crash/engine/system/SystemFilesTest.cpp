// File services of the main unit.
#include <gtest/gtest.h>

#include <string>

#include "crash/engine/system/SystemInfo.h"
#include "rtl/SysUtils.h"
#include "tests/support/TestFolders.h"

namespace crash {
namespace {

std::string ScratchFolder(const char* name)
{
    const std::string folder = rtl::WideToAnsi(testsupport::EnvironmentFolder(L"VOLUMETRA_TEST_OUT")) + "\\" + name;
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

void WriteBytes(const std::string& file, std::size_t count)
{
    HANDLE handle = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    const std::string bytes(count, 'x');
    DWORD written = 0;
    WriteFile(handle, bytes.data(), static_cast<DWORD>(count), &written, nullptr);
    CloseHandle(handle);
    ASSERT_EQ(written, count);
}

TEST(SystemFiles, FileSizeByNameOrPattern)
{
    const std::string folder = ScratchFolder("sizes");
    WriteBytes(folder + "\\one.bin", 1234);
    EXPECT_EQ(FileSizeByName(folder + "\\one.bin"), 1234u);
    EXPECT_EQ(FileSizeByName(folder + "\\*.bin"), 1234u);
    EXPECT_EQ(FileSizeByName(folder + "\\none.bin"), 0u);
    EXPECT_EQ(FileSizeByName(""), 0u);
}

TEST(SystemFiles, ForceDeleteFileTakesReadOnlyFiles)
{
    const std::string file = ScratchFolder("delete") + "\\locked.txt";
    WriteBytes(file, 10);
    ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_FALSE(DeleteFileA(file.c_str()));
    EXPECT_TRUE(ForceDeleteFile(file));
    EXPECT_EQ(GetFileAttributesA(file.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(ForceDeleteFile(file));  // gone already
}

TEST(SystemFiles, TempFolderEndsWithABackslash)
{
    const std::string folder = TempFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '\\');
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace
}  // namespace crash
