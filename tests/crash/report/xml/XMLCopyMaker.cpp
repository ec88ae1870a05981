// Writes XML copies of hand-written log entries into the folder given as the
// first argument, for readers that are not ours (verify_xml_copies.py).
#include <cstdio>
#include <string>
#include <vector>

#include "LogEntryFixtures.h"
#include "crash/report/xml/LogXML.h"
#include "rtl/Startup.h"
#include "rtl/SysUtils.h"

int main(int argc, char** argv)
{
    const rtl::TProgramStartup programStartup;
    if (argc < 2) {
        std::fprintf(stderr, "usage: XMLCopyMaker FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    using namespace crash::logxml;
    try {
        SaveXMLCopy({xmlfixtures::Entry61(), xmlfixtures::EntryUnreadableAddress()}, "", folder + "\\copy.xml");
        SaveXMLCopy({xmlfixtures::EntryEnciphered()}, xmlfixtures::kSecretPassword, folder + "\\secret-right.xml");
        SaveXMLCopy({xmlfixtures::EntryEnciphered()}, "not the password", folder + "\\secret-wrong.xml");
        SaveXMLCopy({xmlfixtures::Entry5x()}, "", folder + "\\v5.xml");
    } catch (const rtl::Exception& e) {
        std::fprintf(stderr, "XMLCopyMaker: %s\n", e.Message().c_str());
        return 1;
    }
    std::printf("XMLCopyMaker: 4 copies written\n");
    return 0;
}
