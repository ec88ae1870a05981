// The formatting steps of the header collectors, as tables.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crash/engine/ExceptionLog.h"
#include "crash/report/collectors/CollectorsInternal.h"
#include "crash/report/collectors/HeaderCollectors.h"
#include "rtl/SysUtils.h"

namespace crash {
namespace {

TEST(CollectorFormats, CommandLineSkipsTheProgramNameByTheSystemsRules)
{
    static constexpr struct {
        const char* line;
        const char* parameters;
    } kCases[] = {
        {R"("C:\Program Files\Volumetra\app.exe" /log /quiet)", "/log /quiet"},  // quoted full name, two switches
        {R"(app.exe /log)", "/log"},                                             // bare name
        {R"(..\bin\app /log "a b")", R"(/log "a b")"},                           // relative, no extension
        {R"(C:\PROGRA~1\VOLUME~1\app.exe   -x  )", "-x"},                        // short name, blanks around
        {"app.exe\t/tab", "/tab"},                                               // a tab ends the name too
        {R"("C:\Dir With Blanks\app.exe")", ""},                                 // quoted, no parameters
        {R"(  "C:\x\app.exe"   )", ""},                                          // blanks around a quoted name
        {R"(C:\x\app.exe)", ""},                                                 // none
        {R"("C:\x\app.exe"/log)", "/log"},                                       // nothing between name and switch
        {R"("C:\x\app.exe /log)", ""},                                           // unclosed quote: all of it names
        {"", ""},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(CommandLineParameters(c.line), c.parameters);
    }
}

TEST(CollectorFormats, MegabytesRoundHalfToEven)
{
    static constexpr struct {
        std::uint64_t bytes;
        const char* text;
    } kCases[] = {
        {0, "0 Mb"},
        {0x80000, "0 Mb"},  // half of one: to the even 0
        {0x80001, "1 Mb"},
        {0x180000, "2 Mb"},  // one and a half: to 2
        {0x280000, "2 Mb"},  // two and a half: to 2
        {0x27FFFF, "2 Mb"},
        {1024ull * 1048576, "1024 Mb"},
        {6ull * 1073741824 + 0x80000, "6144 Mb"},  // beyond 32 bits
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(MegabytesText(c.bytes), c.text);
    }
}

TEST(CollectorFormats, GigabytesTakeAtMostTwoDecimalsWithTheLocalesSeparator)
{
    // The tests run in the Russian locale, whose separator is the comma.
    ASSERT_EQ(GetACP(), 1251u);
    static constexpr std::uint64_t kGb = 1073741824;
    static constexpr struct {
        std::uint64_t bytes;
        const char* text;
    } kCases[] = {
        {0, "0 Gb"},
        {12 * kGb + kGb / 2, "12,5 Gb"},  // a trailing zero is not shown
        {kGb / 4, "0,25 Gb"},
        {kGb, "1 Gb"},
        {kGb + kGb / 4 + kGb / 8, "1,38 Gb"},  // 1.375: a half rounds up
        {kGb + kGb / 1000, "1 Gb"},            // 1.001: no decimals left
        {kGb * 999 / 1000 + kGb, "2 Gb"},      // 1.999 rounds to the next whole
        {1000 * kGb, "1000 Gb"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(GigabytesText(c.bytes), c.text);
    }
}

TEST(CollectorFormats, PaddedAddressesAndTheirJoins)
{
    static constexpr struct {
        const char* address;
        const char* padded;
    } kCases[] = {
        {"192.168.1.5", "192.168.001.005"},   {"10.0.0.138", "010.000.000.138"},
        {"255.255.255.0", "255.255.255.000"}, {"", "000.000.000.000"},
        {"0.0.0.0", "000.000.000.000"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.address);
        EXPECT_EQ(PaddedAddress(c.address), c.padded);
    }

    TAdapterFacts wired;
    wired.DhcpEnabled = true;
    wired.IpAddress = "192.168.1.5";
    wired.IpMask = "255.255.255.0";
    wired.Gateway = "192.168.1.1";
    wired.DnsRead = true;
    wired.Dns = {"192.168.1.1"};  // one server only
    TAdapterFacts wireless;
    wireless.IpAddress = "10.0.0.7";
    wireless.IpMask = "255.0.0.0";
    wireless.DnsRead = true;
    wireless.Dns = {"8.8.8.8", "8.8.4.4", "1.1.1.1"};  // a third is not shown
    TAdapterFacts unread;
    unread.IpAddress = "172.16.0.2";
    unread.DnsRead = false;

    const TNetworkTexts two = NetworkTextsOf({wired, wireless});
    EXPECT_EQ(two[niIP], "192.168.001.005 - 010.000.000.007");
    EXPECT_EQ(two[niMask], "255.255.255.000 - 255.000.000.000");
    EXPECT_EQ(two[niGateway], "192.168.001.001 - 000.000.000.000");
    EXPECT_EQ(two[niDNS1], "192.168.001.001 - 008.008.008.008");
    EXPECT_EQ(two[niDNS2], "000.000.000.000 - 008.008.004.004");
    // The state's own texts, blanks and all; only the last " - " goes.
    EXPECT_EQ(two[niDHCP], "ON              - OFF" + std::string(12, ' '));

    const TNetworkTexts failed = NetworkTextsOf({unread});
    EXPECT_EQ(failed[niDNS1], "000.000.000.000");
    EXPECT_EQ(failed[niDNS2], "000.000.000.000");
    EXPECT_EQ(failed[niDHCP], "OFF" + std::string(12, ' '));

    for (const std::string& text : NetworkTextsOf({})) EXPECT_EQ(text, "");
}

TEST(CollectorFormats, PrivilegeLinesHaveTheirStateInColumn32)
{
    EXPECT_EQ(PrivilegeLine("SeShutdownPrivilege", true), "SeShutdownPrivilege             - ON\r\n");
    EXPECT_EQ(PrivilegeLine("SeDebugPrivilege", false), "SeDebugPrivilege                - OFF\r\n");
    // A name of 31 characters or more is not cut.
    const std::string longName = "SeDelegateSessionUserImpersonatePrivilege";
    EXPECT_EQ(PrivilegeLine(longName, true), longName + " - ON\r\n");
    EXPECT_EQ(PrivilegeLine("", false), std::string(31, ' ') + " - OFF\r\n");
}

TEST(CollectorFormats, VideoCardText)
{
    static const struct {
        TVideoCardFacts facts;
        const char* text;
    } kCases[] = {
        {{"  Radeon X1300  ", "8.593.100.0", true, 268435456}, "Radeon X1300 (driver 8.593.100.0 - RAM 256 MB)"},
        {{"GeForce", "6.14.10", true, 0}, "GeForce (driver 6.14.10)"},           // a memory of 0 is not shown
        {{"GeForce", "6.14.10", false, 268435456}, "GeForce (driver 6.14.10)"},  // not a 4-byte value
        {{"Card", "1", true, 0x1FFFFF}, "Card (driver 1 - RAM 1 MB)"},           // shifted, not rounded
        {{"", "", false, 0}, " (driver )"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(VideoCardTextOf(c.facts), c.text);
    }
    EXPECT_EQ(collectors::WithoutZeroBytes(std::string("R\0a\0d\0\0\0", 8)), "Rad");
}

TEST(CollectorFormats, ProcessorFallBacks)
{
    static constexpr struct {
        const char* name;
        const char* vendor;
        const char* identifier;
        const char* text;
    } kCases[] = {
        {"  Intel(R) Core(TM) i5 CPU  ", "GenuineIntel", "x86 Family 6", "Intel(R) Core(TM) i5 CPU"},
        {" ", " GenuineIntel ", " x86 Family 6 Model 23 ", "GenuineIntel - x86 Family 6 Model 23"},
        {"", "AuthenticAMD", "", "AuthenticAMD"},
        {"", "", "x86 Family 6", "Unknown processor"},  // no vendor: nothing of the identifier
        {"", "", "", "Unknown processor"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ProcessorTextOf(c.name, c.vendor, c.identifier), c.text);
    }
}

TEST(CollectorFormats, SmallTexts)
{
    EXPECT_EQ(DisplayModeTextOf(1280, 1024, 32), "1280 x 1024, 32 bit");
    EXPECT_EQ(ExceptionAddressText(reinterpret_cast<const void*>(0x4A3F0)), "0004A3F0");
    EXPECT_EQ(ExceptionAddressText(reinterpret_cast<const void*>(0xDEADBEEF)), "DEADBEEF");
    EXPECT_EQ(ExceptionAddressText(nullptr), "");
    EXPECT_EQ(NameWithDescription(R"(C:\Apps\Volumetra.exe)", "  Tank calibration "),
              "Volumetra.exe - (Tank calibration)");
    EXPECT_EQ(NameWithDescription(R"(C:\Apps\Volumetra.exe)", ""), "Volumetra.exe");  // no description
    EXPECT_EQ(NameWithDescription(R"(C:\Apps\Volumetra.exe)", "   "), "Volumetra.exe");
    EXPECT_EQ(CleanMessageText(std::string("a\tb\x01"
                                           "c\r\nd\x1F"
                                           "e\x7F\xE9",
                                           12)),
              std::string("a b c\r\nd e\x7F\xE9", 12));
    EXPECT_EQ(CompilationDateText(0.0), "");
}

TEST(CollectorFormats, DriveRoots)
{
    static constexpr struct {
        const char* path;
        const char* root;
    } kCases[] = {
        {R"(C:\Program Files\app.exe)", R"(C:\)"},
        {R"(z:\x)", R"(z:\)"},
        {R"(\\server\share\dir\app.exe)", R"(\\server\share\)"},
        {R"(\\server\share)", R"(\\server\share\)"},
        {R"(\\server)", ""},
        {R"(app.exe)", ""},
        {"", ""},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(DriveRootOf(c.path), c.root);
    }
}

TEST(CollectorFormats, AccessViolationTexts)
{
    const void* at = reinterpret_cast<const void*>(0x00401A2B);
    EXPECT_EQ(AccessViolationMessage(at, 0, 0x10, "app.exe"),
              "Access violation at address 00401A2B in module 'app.exe'. Read of address 00000010");
    EXPECT_EQ(AccessViolationMessage(at, 1, 0xFFFFFFFC, ""),
              "Access violation at address 00401A2B. Write of address FFFFFFFC");
    // A jump into memory that may not run is no write.
    EXPECT_EQ(AccessViolationMessage(at, 8, 0x00401A2B, ""),
              "Access violation at address 00401A2B. Execution of address 00401A2B");
}

}  // namespace
}  // namespace crash

namespace crash {
namespace {

TEST(CollectorFormats, TimesOfTheApplication)
{
    // 5 March 2024 14:07:09 and 1.5 days later.
    SYSTEMTIME time = {2024, 3, 2, 5, 14, 7, 9, 0};
    const TDateTime start = DateTimeOfSystemTime(time);
    EXPECT_DOUBLE_EQ(start, 45356 + (14 * 3600 + 7 * 60 + 9) / 86400.0);
    EXPECT_EQ(UpTimeText(start, start + 1.5), "1 day, 12 hours, 0 second");
    EXPECT_EQ(ExceptionDateText(time), MailDateText(start));
    // The process started before now, and not a day ago.
    const TDateTime began = ApplicationStartTime();
    EXPECT_LE(began, NowDateTime() + 1.0 / 86400);
    EXPECT_GT(began, NowDateTime() - 1);
    EXPECT_TRUE(SystemUpTimeText().ends_with("second") || SystemUpTimeText().ends_with("seconds"));
    EXPECT_EQ(ServicePackText(), rtl::Trim(ServicePackText()));
}

}  // namespace
}  // namespace crash
