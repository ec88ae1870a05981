// Writes the zip archives that a reader other than ours checks afterwards
// (verify_zip_archives.py): source files with fixed modification times, and
// archives with and without a password, an empty file, a Cyrillic entry name,
// failed additions in between, and an archive that replaces an older file.
//
// usage: EZipArchiveMaker.exe FOLDER    (exit code 0 when every call answered
// as expected)
#include <windows.h>

#include <cstdio>
#include <string>

#include "crash/delivery/EZip.h"
#include "crash/delivery/EZlib2.h"
#include "rtl/Startup.h"

namespace {

int gFailures = 0;

void Expect(bool ok, const std::string& what)
{
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what.c_str());
    if (!ok) ++gFailures;
}

// A UTC time as a file time.
FILETIME UtcTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second)
{
    SYSTEMTIME st{};
    st.wYear = year;
    st.wMonth = month;
    st.wDay = day;
    st.wHour = hour;
    st.wMinute = minute;
    st.wSecond = second;
    FILETIME ft{};
    SystemTimeToFileTime(&st, &ft);
    return ft;
}

bool WriteFileWithTime(const std::string& path, const std::string& bytes, const FILETIME& lastWrite)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = bytes.empty() || (WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                                written == bytes.size());
    ok = SetFileTime(h, nullptr, nullptr, &lastWrite) && ok;
    CloseHandle(h);
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    const rtl::TProgramStartup programStartup;
    if (argc != 2) {
        std::fprintf(stderr, "usage: EZipArchiveMaker FOLDER\n");
        return 2;
    }
    const std::string folder = std::string(argv[1]) + "\\";
    std::printf("code page %u, time zone bias %ld\n", GetACP(), [] {
        TIME_ZONE_INFORMATION tz;
        GetTimeZoneInformation(&tz);
        return tz.Bias;
    }());

    std::string report;
    for (int i = 0; i < 500; ++i)
        report += "\xD1\xF2\xF0\xEE\xEA\xE0 " + std::to_string(i) + ": \xEE\xE1\xFA\xB8\xEC " +
                  std::to_string(i * 37 % 1000) + " \xEB\r\n";  // "Строка i: объём n л" in code page 1251
    std::string noise(50000, '\0');
    std::uint32_t x = 2463534242u;
    for (char& c : noise) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x);
    }
    // Odd seconds (a DOS time keeps even ones), a date that local time moves
    // into the next year east of UTC, and a leap day.
    // The names and texts are code page 1251 bytes, as the system's own are.
    const struct {
        const char* name;
        const std::string& bytes;
        FILETIME time;
    } kSources[] = {
        {"report.txt", report, UtcTime(2023, 3, 14, 9, 26, 53)},
        {"noise.bin", noise, UtcTime(2021, 12, 31, 22, 59, 59)},
        {"empty.txt", std::string(), UtcTime(2019, 6, 1, 12, 0, 0)},
        {"\xD1\xEA\xF0\xE8\xED\xF8\xEE\xF2.png", noise.substr(0, 777), UtcTime(2024, 2, 29, 0, 0, 1)},
    };
    for (const auto& s : kSources)
        Expect(WriteFileWithTime(folder + s.name, s.bytes, s.time), std::string("source ") + s.name);

    {
        crash::ZipHandle zip = crash::CreateZipFile(folder + "several.zip");
        Expect(zip != nullptr, "CreateZipFile several.zip");
        Expect(!crash::AddZipFile(zip, folder + "missing.txt", "missing.txt"), "a missing file gives false");
        for (const auto& s : kSources)
            Expect(crash::AddZipFile(zip, folder + s.name, s.name), std::string("AddZipFile ") + s.name);
        // Somebody writing the file: it cannot be read under a write lock.
        HANDLE writer = CreateFileA((folder + "report.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
        Expect(writer != INVALID_HANDLE_VALUE, "open report.txt for writing");
        Expect(!crash::AddZipFile(zip, folder + "report.txt", "written.txt"), "a file open for writing gives false");
        CloseHandle(writer);
        Expect(crash::CloseZipFile(zip), "CloseZipFile several.zip");
    }
    {
        crash::TZipWriter writer(folder + "password.zip", "s3cr3t");
        for (const auto& s : kSources) writer.AddFile(folder + s.name, s.name);
    }
    {
        crash::TZipWriter writer(folder + "emptypassword.zip", "");
        writer.AddFile(folder + "report.txt", "report.txt");
        writer.AddFile(folder + "empty.txt", "empty.txt");
    }
    {
        // An older, bigger file of the same name must not leave its tail behind.
        Expect(WriteFileWithTime(folder + "replaced.zip", std::string(200000, 'x'), UtcTime(2020, 1, 1, 0, 0, 0)),
               "old replaced.zip");
        crash::TZipWriter writer(folder + "replaced.zip", "");
        writer.AddFile(folder + "report.txt", "report.txt");
    }
    return gFailures == 0 ? 0 : 1;
}
