// Byte streams: checked reads and writes, memory that grows, memory owned by
// someone else, and files with their share modes.
#include "rtl/Streams.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace rtl {
namespace {

std::string Bytes(TMemoryStream& stream)
{
    return std::string(stream.Bytes().begin(), stream.Bytes().end());
}

TEST(MemoryStream, GrowsWithZerosAndReadsBack)
{
    TMemoryStream stream;
    stream.WriteBuffer("abc", 3);
    EXPECT_EQ(stream.Position(), 3);
    EXPECT_EQ(stream.Seek(5, TSeekOrigin::soCurrent), 8);  // past the end: allowed
    stream.WriteBuffer("z", 1);
    EXPECT_EQ(Bytes(stream), std::string("abc\0\0\0\0\0z", 9));
    EXPECT_EQ(stream.Size(), 9);

    stream.SetPosition(1);
    char two[2];
    stream.ReadBuffer(two, 2);
    EXPECT_EQ(std::string(two, 2), "bc");
    EXPECT_EQ(stream.Remaining(), 6);

    stream.SetSize(2);  // the position was past the new end
    EXPECT_EQ(stream.Position(), 2);
    EXPECT_EQ(Bytes(stream), "ab");
    stream.Clear();
    EXPECT_EQ(stream.Size(), 0);
    EXPECT_EQ(stream.Position(), 0);
}

TEST(MemoryStream, SeekBeforeTheStartIsRefused)
{
    TMemoryStream stream;
    stream.WriteBuffer("abcd", 4);
    static constexpr struct {
        std::int64_t offset;
        TSeekOrigin origin;
        std::int64_t result;  // -1: refused, the position stays at 2
    } kCases[] = {
        {-1, TSeekOrigin::soBeginning, -1}, {-3, TSeekOrigin::soCurrent, -1},
        {-5, TSeekOrigin::soEnd, -1},       {-4, TSeekOrigin::soEnd, 0},
        {10, TSeekOrigin::soEnd, 14},       {0x7FFFFFFFFFFFFFFF, TSeekOrigin::soCurrent, -1},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.offset);
        stream.SetPosition(2);
        EXPECT_EQ(stream.Seek(c.offset, c.origin), c.result);
        if (c.result < 0) {
            EXPECT_EQ(stream.Position(), 2);
        }
    }
    char byte;
    stream.SetPosition(14);
    EXPECT_EQ(stream.Read(&byte, 1), 0u);
    EXPECT_EQ(stream.Remaining(), 0);
}

TEST(MemoryStream, ShortReadRaisesAndKeepsWhatWasThere)
{
    TMemoryStream stream;
    stream.WriteBuffer("xyz", 3);
    stream.SetPosition(1);
    char buffer[8] = {};
    EXPECT_THROW(stream.ReadBuffer(buffer, 4), EReadError);
    EXPECT_EQ(std::string(buffer), "yz");
    EXPECT_EQ(stream.Position(), 3);
    try {
        stream.ReadBuffer(buffer, 1);
        ADD_FAILURE() << "no read error";
    } catch (const EReadError& e) {
        EXPECT_EQ(e.Message(), "Stream read error");
    }
    stream.ReadBuffer(buffer, 0);  // nothing asked, nothing missing
}

TEST(MemoryStream, CopyFromWholeSourceOrPart)
{
    TMemoryStream source;
    source.WriteBuffer("0123456789", 10);
    source.SetPosition(7);
    TMemoryStream target;
    EXPECT_EQ(target.CopyFrom(source, 0), 10);  // 0: all of it, from the start
    EXPECT_EQ(Bytes(target), "0123456789");
    source.SetPosition(2);
    target.Clear();
    EXPECT_EQ(target.CopyFrom(source, 3), 3);
    EXPECT_EQ(Bytes(target), "234");
    source.SetPosition(8);
    EXPECT_THROW(target.CopyFrom(source, 3), EReadError);
}

// Memory that ends where an inaccessible page begins: reading one byte too far
// would fault instead of failing.
class PageEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        FPage = info.dwPageSize;
        FBase = static_cast<std::uint8_t*>(VirtualAlloc(nullptr, 2 * FPage, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        ASSERT_NE(FBase, nullptr);
        DWORD old;
        ASSERT_TRUE(VirtualProtect(FBase + FPage, FPage, PAGE_NOACCESS, &old));
    }
    void TearDown() override { VirtualFree(FBase, 0, MEM_RELEASE); }
    std::uint8_t* Tail(const char* text, std::size_t size)
    {
        std::uint8_t* at = FBase + FPage - size;
        std::memcpy(at, text, size);
        return at;
    }
    std::uint8_t* FBase = nullptr;
    DWORD FPage = 0;
};

TEST_F(PageEnd, ReadOnlyStreamNeverReadsPastItsMemory)
{
    TReadOnlyMemoryStream stream(Tail("tail", 4), 4);
    EXPECT_EQ(stream.Size(), 4);
    char buffer[16] = {};
    EXPECT_EQ(stream.Read(buffer, sizeof buffer), 4u);
    EXPECT_EQ(std::string(buffer), "tail");
    stream.SetPosition(2);
    EXPECT_THROW(stream.ReadBuffer(buffer, 3), EReadError);
    stream.SetPosition(100);
    EXPECT_EQ(stream.Read(buffer, 1), 0u);
}

TEST_F(PageEnd, ReadOnlyStreamTakesNoWrite)
{
    std::uint8_t* memory = Tail("abcd", 4);
    TReadOnlyMemoryStream stream(memory, 4);
    EXPECT_EQ(stream.Write("x", 1), 0u);
    EXPECT_THROW(stream.WriteBuffer("x", 1), EWriteError);
    EXPECT_EQ(std::memcmp(memory, "abcd", 4), 0);
}

class FileStreams : public ::testing::Test {
protected:
    void SetUp() override
    {
        char out[MAX_PATH];
        ASSERT_GT(GetEnvironmentVariableA("VOLUMETRA_TEST_OUT", out, MAX_PATH), 0u);
        FDir = std::string(out) + "\\" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        CreateDirectoryA(FDir.c_str(), nullptr);
        FFile = FDir + "\\file.bin";
        DeleteFileA(FFile.c_str());
    }
    // Whether another party can open the file now with this access (any share).
    static DWORD OpenError(const std::string& file, DWORD access)
    {
        SetLastError(0xdeadbeef);
        HANDLE h = CreateFileA(file.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) return GetLastError();
        CloseHandle(h);
        return 0;
    }
    std::string FDir;
    std::string FFile;
};

TEST_F(FileStreams, CreateTruncatesAndSharesNothing)
{
    {
        TFileStream file(FFile, fmCreate);
        file.WriteBuffer("0123456789", 10);
    }
    TFileStream file(FFile, fmCreate);
    EXPECT_EQ(file.Size(), 0);
    EXPECT_EQ(OpenError(FFile, GENERIC_READ), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    file.WriteBuffer("abc", 3);
    EXPECT_EQ(file.Size(), 3);
    EXPECT_EQ(file.Seek(1, TSeekOrigin::soBeginning), 1);
    char two[2];
    file.ReadBuffer(two, 2);  // created for reading as well
    EXPECT_EQ(std::string(two, 2), "bc");
}

TEST_F(FileStreams, ReadDeniesOthersWriteButNotRead)
{
    {
        TFileStream(FFile, fmCreate).WriteBuffer("content", 7);
    }
    TFileStream file(FFile, fmOpenRead | fmShareDenyWrite);
    EXPECT_EQ(OpenError(FFile, GENERIC_READ), 0u);
    EXPECT_EQ(OpenError(FFile, GENERIC_WRITE), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(file.Write("x", 1), 0u);  // opened for reading only
    char buffer[16] = {};
    EXPECT_THROW(file.ReadBuffer(buffer, 8), EReadError);
    EXPECT_EQ(std::string(buffer), "content");
}

TEST_F(FileStreams, FailuresNameTheFileAndTheReason)
{
    const std::string missing = FDir + "\\missing.bin";
    const std::string noFolder = FDir + "\\no folder\\x.bin";
    try {
        TFileStream file(missing, fmOpenRead | fmShareDenyWrite);
        ADD_FAILURE() << "opened a missing file";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message().rfind("Cannot open file \"" + missing + "\". ", 0), 0u) << e.Message();
        EXPECT_GT(e.Message().size(), missing.size() + 21) << "no reason given";
    }
    try {
        TFileStream file(noFolder, fmCreate);
        ADD_FAILURE() << "created a file in a missing folder";
    } catch (const EFCreateError& e) {
        EXPECT_EQ(e.Message().rfind("Cannot create file \"" + noFolder + "\". ", 0), 0u) << e.Message();
    }
}

}  // namespace
}  // namespace rtl
