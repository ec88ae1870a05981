// Helpers of the options stream tests: a byte builder for hand-made streams,
// the debugger lines that warnings leave, and the scratch folder.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/Streams.h"
#include "tests/support/DebugLines.h"

namespace crash::test {

// Little-endian stream bytes, strings scrambled as stored.
class StreamBytes {
public:
    StreamBytes& U8(std::uint8_t v)
    {
        FBytes.push_back(static_cast<char>(v));
        return *this;
    }
    StreamBytes& U16(std::uint16_t v) { return U8(v & 0xFF).U8(v >> 8); }
    StreamBytes& I32(std::int32_t v)
    {
        const auto u = static_cast<std::uint32_t>(v);
        return U8(u & 0xFF).U8((u >> 8) & 0xFF).U8((u >> 16) & 0xFF).U8(u >> 24);
    }
    StreamBytes& Str(std::string_view text)
    {
        I32(static_cast<std::int32_t>(text.size()));
        for (char c : text) U8(static_cast<std::uint8_t>(c) ^ 0x4B);
        return *this;
    }
    StreamBytes& Raw(std::string_view bytes)
    {
        FBytes += bytes;
        return *this;
    }
    const std::string& Get() const { return FBytes; }
    std::size_t Size() const { return FBytes.size(); }

private:
    std::string FBytes;
};

inline std::string StreamText(const rtl::TMemoryStream& stream)
{
    return std::string(stream.Bytes().begin(), stream.Bytes().end());
}

using testsupport::DebugLines;

// A folder of the test program's scratch folder for the running case.
inline std::string CaseFolder()
{
    char out[MAX_PATH] = {};
    EXPECT_GT(GetEnvironmentVariableA("VOLUMETRA_TEST_OUT", out, MAX_PATH), 0u);
    const std::string dir = std::string(out) + "\\" +
                            ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() + "." +
                            ::testing::UnitTest::GetInstance()->current_test_info()->name();
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

}  // namespace crash::test
