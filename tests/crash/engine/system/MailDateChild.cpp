// Checks MailDateText in the time zone the driver runs it in (TZ on the Linux
// side, which Wine takes its zone from at process start).
//
// usage: MailDateChild.exe ZONE-TEXT    (exit code 0 when a fixed date ends in
// the zone text given, 1 when not)
#include <windows.h>

#include <cstdio>
#include <string>

#include "crash/engine/system/SystemInfo.h"
#include "rtl/Startup.h"

int main(int argc, char** argv)
{
    const rtl::TProgramStartup programStartup;
    if (argc != 2) return 2;
    // 5 March 2024, 14:07:09, a date without daylight saving in every zone used.
    constexpr crash::TDateTime kDate = 45356 + (14 * 3600 + 7 * 60 + 9) / 86400.0;
    const std::string text = crash::MailDateText(kDate);
    const std::string expected = std::string("Tue, 5 Mar 2024 14:07:09 ") + argv[1];
    std::printf("MailDateText: \"%s\", expected \"%s\"\n", text.c_str(), expected.c_str());
    return text == expected ? 0 : 1;
}
