// Registry string values.
#include <gtest/gtest.h>

#include "crash/engine/ECore.h"
#include "rtl/Handles.h"

namespace crash {
namespace {

class Registry : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A key per test: the tests run side by side.
        FKeyName = std::string("Software\\VolumetraCoreTest\\") +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name();
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, FKeyName.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  FKey.Receive(), nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override
    {
        FKey.Reset();
        RegDeleteKeyA(HKEY_CURRENT_USER, FKeyName.c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\VolumetraCoreTest");  // fails while another test uses it
    }
    void Set(const char* name, DWORD type, const void* data, DWORD size)
    {
        ASSERT_EQ(RegSetValueExA(FKey.Get(), name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    }
    std::string FKeyName;
    rtl::RegistryKey FKey;
};

TEST_F(Registry, StringValuesLoseOnlyTheirTerminatingZero)
{
    const std::string long5000(5000, 'L');
    Set("terminated", REG_SZ, "abc", 4);
    Set("unterminated", REG_SZ, "abc", 3);  // stored without the zero
    Set("empty", REG_SZ, "", 0);
    Set("zeroOnly", REG_SZ, "", 1);
    Set("expand", REG_EXPAND_SZ, "%TEMP%\\x", 9);
    Set("long", REG_SZ, long5000.c_str(), 5001);
    Set("cyrillic", REG_SZ, "\xC4\xE0", 3);
    Set("twoZeros", REG_SZ, "abc\0", 5);  // a zero of its own before the terminating one
    Set("zerosOnly", REG_SZ, "\0", 2);
    const DWORD number = 0x00636261;  // "abc" when read as bytes
    Set("number", REG_DWORD, &number, sizeof number);

    static constexpr struct {
        const char* name;
        const char* value;
    } kCases[] = {
        {"terminated", "abc"},    {"unterminated", "abc"}, {"empty", ""},
        {"zeroOnly", ""},         {"expand", "%TEMP%\\x"},  // read as stored
        {"cyrillic", "\xC4\xE0"}, {"number", ""},           // not a string
        {"absent", ""},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReadKey(HKEY_CURRENT_USER, FKeyName, c.name), c.value);
    }
    EXPECT_EQ(ReadKey(HKEY_CURRENT_USER, FKeyName, "twoZeros"), std::string("abc\0", 4));
    EXPECT_EQ(ReadKey(HKEY_CURRENT_USER, FKeyName, "zerosOnly"), std::string(1, '\0'));
    EXPECT_EQ(ReadKey(HKEY_CURRENT_USER, FKeyName, "long"), long5000);
    EXPECT_EQ(ReadKey(HKEY_CURRENT_USER, "\\" + FKeyName, "terminated"), "abc");
    EXPECT_EQ(ReadKey(HKEY_CURRENT_USER, "Software\\VolumetraCoreTestAbsent", "terminated"), "");
}

TEST_F(Registry, RawBytesDwordsAndSubKeys)
{
    const DWORD number = 0x12345678;
    Set("number", REG_DWORD, &number, sizeof number);
    Set("binary", REG_BINARY, "R\0a\0", 4);  // 4 bytes, but binary: a DWORD too
    Set("short", REG_BINARY, "\x01\x02", 2);
    Set("text", REG_SZ, "abc", 4);
    static constexpr struct {
        const char* name;
        bool found;
        std::size_t size;
        bool dword;
        std::uint32_t value;
    } kCases[] = {
        {"number", true, 4, true, 0x12345678}, {"binary", true, 4, true, 0x00610052}, {"short", true, 2, false, 0},
        {"text", true, 4, true, 0x00636261},  // the terminating zero is a byte of the value
        {"absent", false, 0, false, 0},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        std::string bytes = "stale";
        EXPECT_EQ(ReadKeyBytes(HKEY_CURRENT_USER, "\\" + FKeyName, c.name, bytes), c.found);
        EXPECT_EQ(bytes.size(), c.size);
        std::uint32_t value = 0;
        EXPECT_EQ(ReadKeyDword(HKEY_CURRENT_USER, FKeyName, c.name, value), c.dword);
        if (c.dword) {
            EXPECT_EQ(value, c.value);
        }
    }
    std::string bytes;
    EXPECT_FALSE(ReadKeyBytes(HKEY_CURRENT_USER, "Software\\VolumetraCoreTestAbsent", "number", bytes));

    EXPECT_EQ(FirstSubKey(HKEY_CURRENT_USER, FKeyName), "");
    EXPECT_EQ(LastSubKey(HKEY_CURRENT_USER, FKeyName), "");
    for (const char* name : {"0001", "0000", "0002"}) {
        rtl::RegistryKey sub;
        ASSERT_EQ(RegCreateKeyExA(FKey.Get(), name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, sub.Receive(), nullptr),
                  ERROR_SUCCESS);
    }
    EXPECT_EQ(FirstSubKey(HKEY_CURRENT_USER, FKeyName), "0000");
    EXPECT_EQ(LastSubKey(HKEY_CURRENT_USER, "\\" + FKeyName), "0002");
    EXPECT_EQ(LastSubKey(HKEY_CURRENT_USER, "Software\\VolumetraCoreTestAbsent"), "");
    for (const char* name : {"0000", "0001", "0002"}) RegDeleteKeyA(FKey.Get(), name);
}

TEST_F(Registry, CheckKey)
{
    EXPECT_TRUE(CheckKey(HKEY_CURRENT_USER, FKeyName));
    EXPECT_TRUE(CheckKey(HKEY_CURRENT_USER, "\\" + FKeyName));
    EXPECT_FALSE(CheckKey(HKEY_CURRENT_USER, "Software\\VolumetraCoreTestAbsent"));
}

}  // namespace
}  // namespace crash
