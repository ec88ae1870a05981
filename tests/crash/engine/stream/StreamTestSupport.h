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

namespace crash::test {

// Little-endian stream bytes, strings scrambled as stored.
class StreamBytes {
public:
    StreamBytes& U8(std::uint8_t v) { FBytes.push_back(static_cast<char>(v)); return *this; }
    StreamBytes& U16(std::uint16_t v) { return U8(v & 0xFF).U8(v >> 8); }
    StreamBytes& I32(std::int32_t v) {
        const auto u = static_cast<std::uint32_t>(v);
        return U8(u & 0xFF).U8((u >> 8) & 0xFF).U8((u >> 16) & 0xFF).U8(u >> 24);
    }
    StreamBytes& Str(std::string_view text) {
        I32(static_cast<std::int32_t>(text.size()));
        for (char c : text) U8(static_cast<std::uint8_t>(c) ^ 0x4B);
        return *this;
    }
    StreamBytes& Raw(std::string_view bytes) { FBytes += bytes; return *this; }
    const std::string& Get() const { return FBytes; }
    std::size_t Size() const { return FBytes.size(); }

private:
    std::string FBytes;
};

inline std::string StreamText(const rtl::TMemoryStream& stream) {
    return std::string(stream.Bytes().begin(), stream.Bytes().end());
}

// Debugger-output lines written while it lives: OutputDebugStringA raises
// DBG_PRINTEXCEPTION_C first, which a vectored handler sees before the system.
class DebugLines {
public:
    DebugLines() {
        Lines().clear();
        FHandler = AddVectoredExceptionHandler(1, &Catch);
    }
    ~DebugLines() { RemoveVectoredExceptionHandler(FHandler); }
    DebugLines(const DebugLines&) = delete;
    DebugLines& operator=(const DebugLines&) = delete;

    static std::vector<std::string>& Lines() {
        static std::vector<std::string> lines;
        return lines;
    }
    // The warnings whose line holds Part.
    static int Count(std::string_view part) {
        int n = 0;
        for (const std::string& line : Lines())
            if (line.starts_with("[WARNING]") && line.find(part) != std::string::npos) ++n;
        return n;
    }

private:
    static LONG CALLBACK Catch(EXCEPTION_POINTERS* info) {
        const EXCEPTION_RECORD& record = *info->ExceptionRecord;
        if (record.ExceptionCode == DBG_PRINTEXCEPTION_C && record.NumberParameters >= 2)
            Lines().emplace_back(reinterpret_cast<const char*>(record.ExceptionInformation[1]));
        return EXCEPTION_CONTINUE_SEARCH;
    }
    void* FHandler;
};

// A folder of the test program's scratch folder for the running case.
inline std::string CaseFolder() {
    char out[MAX_PATH] = {};
    EXPECT_GT(GetEnvironmentVariableA("VOLUMETRA_TEST_OUT", out, MAX_PATH), 0u);
    const std::string dir =
        std::string(out) + "\\" + ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() + "." +
        ::testing::UnitTest::GetInstance()->current_test_info()->name();
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

}  // namespace crash::test
