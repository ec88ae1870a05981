// Checks the computer and user names against the host's, which the driver
// reads on the Linux side and passes in.
//
// usage: HostNamesChild.exe HOSTNAME USER   (exit code 0 when both match, 1 when not)
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <string>

#include "crash/engine/system/SystemInfo.h"
#include "rtl/Startup.h"

int main(int argc, char** argv)
{
    const rtl::TProgramStartup programStartup;
    if (argc != 3) return 2;
    // Wine names the computer after the host's short name, upper case, as far
    // as a NetBIOS name goes.
    std::string computer = argv[1];
    computer = computer.substr(0, computer.find('.')).substr(0, MAX_COMPUTERNAME_LENGTH);
    for (char& c : computer) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::string foundComputer = crash::ComputerNameText();
    const std::string foundUser = crash::UserLoginText();
    std::printf("ComputerNameText: \"%s\", expected \"%s\"\n", foundComputer.c_str(), computer.c_str());
    std::printf("UserLoginText: \"%s\", expected \"%s\"\n", foundUser.c_str(), argv[2]);
    return foundComputer == computer && foundComputer.size() <= 15 && foundUser == argv[2] ? 0 : 1;
}
