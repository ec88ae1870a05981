// The zip calls on files they cannot take, and on no archive at all. What the
// good archives hold is checked by other readers (verify_zip_archives.py).
#include "crash/delivery/EZip.h"
#include "crash/delivery/EZlib2.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace crash {
namespace {

std::string ScratchFolder()
{
    const char* out = std::getenv("VOLUMETRA_TEST_OUT");
    return out != nullptr ? std::string(out) + "\\" : std::string(".\\");
}

bool WriteBytes(const std::string& path, const std::string& bytes)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok =
        WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
    CloseHandle(h);
    return ok;
}

// A file of `size` bytes that takes no disk space (Wine: a sparse Linux file).
bool MakeHugeFile(const std::string& path, ULONGLONG size)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    const bool ok = SetFilePointerEx(h, end, nullptr, FILE_BEGIN) && SetEndOfFile(h);
    CloseHandle(h);
    return ok;
}

class ZipFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        FFolder = ScratchFolder() + ::testing::UnitTest::GetInstance()->current_test_info()->name() + "\\";
        CreateDirectoryA(FFolder.c_str(), nullptr);
        ASSERT_TRUE(WriteBytes(FFolder + "good.txt", "good"));
        FArchive = CreateZipFile(FFolder + "test.zip");
        ASSERT_NE(FArchive, nullptr);
    }
    void TearDown() override
    {
        if (FArchive != nullptr) {
            EXPECT_TRUE(CloseZipFile(FArchive));
        }
    }

    std::string FFolder;
    ZipHandle FArchive = nullptr;
};

// Each refusal gives false, leaves the archive usable, and closing it still
// succeeds (TearDown).
TEST_F(ZipFiles, FileThatCannotBeReadGivesFalse)
{
    static constexpr struct {
        const char* what;
        const char* name;
        DWORD otherAccess;  // 0: nobody else has the file open
        DWORD otherShare;
    } kCases[] = {
        {"missing file", "missing.txt", 0, 0},
        {"a folder", "folder", 0, 0},
        {"opened by another without sharing", "locked.txt", GENERIC_READ, 0},
        {"being written by another", "written.txt", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE},
    };
    CreateDirectoryA((FFolder + "folder").c_str(), nullptr);
    const DWORD attributes = GetFileAttributesA((FFolder + "folder").c_str());
    ASSERT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        const std::string path = FFolder + c.name;
        HANDLE other = INVALID_HANDLE_VALUE;
        if (c.otherAccess != 0) {
            ASSERT_TRUE(WriteBytes(path, "busy"));
            other = CreateFileA(path.c_str(), c.otherAccess, c.otherShare, nullptr, OPEN_EXISTING, 0, nullptr);
            ASSERT_NE(other, INVALID_HANDLE_VALUE) << GetLastError();
        }
        EXPECT_FALSE(AddZipFile(FArchive, path, c.name));
        EXPECT_FALSE(AddZipFile(FArchive, path, c.name, "secret"));
        if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
        EXPECT_TRUE(AddZipFile(FArchive, FFolder + "good.txt", std::string("after ") + c.name));
    }
}

// Too big for the memory of a 32-bit process, and bigger than 4 GB, where the
// low 32 bits of the size would make a silently cut entry.
TEST_F(ZipFiles, FileTooBigGivesFalse)
{
    static constexpr struct {
        const char* what;
        ULONGLONG size;
    } kCases[] = {
        {"3 GB", 3ull << 30},
        {"4 GB + 16 bytes", (4ull << 30) + 16},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        const std::string path = FFolder + "huge.bin";
        if (!MakeHugeFile(path, c.size)) GTEST_SKIP() << "no room for a sparse file: " << GetLastError();
        EXPECT_FALSE(AddZipFile(FArchive, path, "huge.bin"));
        DeleteFileA(path.c_str());
        EXPECT_TRUE(AddZipFile(FArchive, FFolder + "good.txt", std::string("after ") + c.what));
    }
}

TEST(ZipArchive, NoArchiveIsRefusedWithoutHarm)
{
    const std::string nowhere = ScratchFolder() + "no such folder\\test.zip";
    EXPECT_EQ(CreateZipFile(nowhere), nullptr);
    EXPECT_FALSE(AddZipFile(nullptr, ScratchFolder() + "whatever.txt", "whatever.txt"));
    EXPECT_FALSE(CloseZipFile(nullptr));
    {
        TZipWriter writer(nowhere, "secret");
        writer.AddFile(ScratchFolder() + "whatever.txt", "whatever.txt");
    }
    EXPECT_EQ(GetFileAttributesA(nowhere.c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
}  // namespace crash
