// The XML writer and the log's XML copy, read as text.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "LogEntryFixtures.h"
#include "crash/report/EXMLBuilder.h"
#include "crash/report/xml/LogXML.h"
#include "tests/support/TimeScale.h"

namespace crash {
namespace {

using namespace logxml;

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

bool StartsWith(const std::string& text, const std::string& part)
{
    return text.compare(0, part.size(), part) == 0;
}

bool EndsWith(const std::string& text, const std::string& part)
{
    return text.size() >= part.size() && text.compare(text.size() - part.size(), part.size(), part) == 0;
}

TEST(XMLBuilder, EscapesEachByteClass)
{
    struct Case {
        std::string text, encoded;
    } cases[] = {
        {"<&'\">", "&#060;&#038;&#039;&#034;&#062;"},
        {"a\tb\rc\nd", "a&#009;b&#013;c&#010;d"},
        // No XML 1.0 reference exists for these: they would make the file
        // unreadable.
        {std::string("\x01\x1F\x00x", 4), "???x"},
        {"\x7F\x80\x98\xFF", "&#127;&#128;&#152;&#255;"},
        {"\xCA\xE0", "&#202;&#224;"},
        {"plain text 09 AZ", "plain text 09 AZ"},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(TXMLItem::EncodedString(c.text), c.encoded) << c.encoded;
}

TEST(XMLBuilder, WritesElementsIndentedWithTheirChildren)
{
    TXMLItem root("Root");
    EXPECT_EQ(root.GetXMLText(), "<Root/>\r\n");

    root.AddField("A", "1<2");
    root.AddField("A", "again");
    TXMLItem* child = root.AddItem("Child");
    EXPECT_EQ(child->Parent(), &root);
    child->SetValue("v&w");
    TXMLItem* grandchild = child->AddItem("Leaf");
    grandchild->AddField("X", "");
    root.AddItem("Empty");
    EXPECT_EQ(root.Items().GetItem(1)->Name(), "Empty");
    EXPECT_EQ(root.Items().GetItem(2), nullptr);
    EXPECT_EQ(root.Items().GetItem(-1), nullptr);
    EXPECT_EQ(root.GetXMLText(), "<Root A=\"1&#060;2\" A=\"again\">\r\n"
                                 "  <Child>v&#038;w\r\n"
                                 "    <Leaf X=\"\"/>\r\n"
                                 "  </Child>\r\n"
                                 "  <Empty/>\r\n"
                                 "</Root>\r\n");
    // A child written on its own is a root again.
    EXPECT_EQ(child->GetXMLText(), "<Child>v&#038;w\r\n  <Leaf X=\"\"/>\r\n</Child>\r\n");

    TXMLItem valued("V");
    valued.SetValue("text");
    EXPECT_EQ(valued.GetXMLText(), "<V>text</V>\r\n");
}

TEST(LogXMLSections, CutsAFullEntry)
{
    const std::string entry = xmlfixtures::Entry61();
    EXPECT_EQ(EntryVersion(entry), "6.1.01 RC 1");
    const std::string header = GetItem_Generals(entry);
    EXPECT_EQ(header.substr(0, 23), "VexlorLog 6.1.01 RC 1\r\n");
    EXPECT_EQ(header.substr(header.size() - 22), "SeDebugPrivilege:_OFF?");

    const std::string callStack = GetItem_CallStack(entry);
    EXPECT_EQ(callStack.substr(0, 3), "---");
    EXPECT_EQ(callStack.find("Call Stack"), std::string::npos);
    EXPECT_EQ(callStack.back(), '-');
    EXPECT_TRUE(Contains(callStack, "|Running Thread: ID=5000"));

    const std::string modules = GetItem_Modules(entry);
    EXPECT_TRUE(Contains(modules, "|00400000|") && Contains(modules, "|7B800000|"));
    EXPECT_FALSE(Contains(modules, "Processes"));
    EXPECT_TRUE(Contains(GetItem_Processes(entry), "|1234|Volumetra.exe|"));

    EXPECT_EQ(GetItem_Assembler(entry), "; Worker.TWorker.Execute (Line=120 - Offset=4)\r\n"
                                        "; --------------------------------------------\r\n"
                                        "0040A1A8  push ebp\r\n"
                                        "0040A1A9  mov  ebp, esp\r\n"
                                        "0040A1B2  mov  eax, [eax]  ; <-- EXCEPTION\r\n"
                                        "0040A1B4  ret");
    const std::string cpu = GetItem_CPU(entry);
    EXPECT_EQ(cpu.substr(0, 12), "Registers:\r\n");
    EXPECT_EQ(cpu.substr(cpu.size() - 16), "U.....SVW.U..E..");
}

TEST(LogXMLSections, AnUnreadableAddressLeavesNoListingButTheRegisters)
{
    const std::string entry = xmlfixtures::EntryUnreadableAddress();
    EXPECT_EQ(GetItem_Assembler(entry), "");
    EXPECT_EQ(GetItem_AssemblerXML(entry), "<Assembler/>\r\n");
    const std::string cpu = GetItem_CPUXML(entry);
    EXPECT_TRUE(Contains(cpu, "<Registers EAX=\"00000010\" EBX=\"00000000\" ECX=\"00000000\" EDX=\"00000000\" "
                              "EDI=\"00000000\" ESI=\"00000000\" ESP=\"0012FF70\" EIP=\"00000010\"/>"))
        << cpu;
    EXPECT_TRUE(Contains(cpu, "<Stack/>") && Contains(cpu, "<MemoryDump/>")) << cpu;
}

TEST(LogXMLSections, EmptyTablesGiveEmptyElements)
{
    // The layout of a report whose modules, processes, assembler and CPU
    // sections were switched off: captions with their rules and nothing else.
    const std::string entry = std::string(xmlfixtures::kHeader61) + "\r\n" + xmlfixtures::kCallStack3Threads +
                              "Modules:\r\n---------\r\n\r\n"
                              "Processes:\r\n-----------\r\n\r\n"
                              "Assembler:\r\n----------\r\n"
                              "\r\n"
                              "Registers:\r\n-----------\r\n\r\n" +
                              xmlfixtures::kEntryEnd;
    EXPECT_EQ(GetItem_ModulesXML(entry), "<Modules/>\r\n");
    EXPECT_EQ(GetItem_ProcessesXML(entry), "<Processes/>\r\n");
    EXPECT_EQ(GetItem_AssemblerXML(entry), "<Assembler/>\r\n");
    EXPECT_EQ(GetItem_CPUXML(entry), "<CPU/>\r\n");
    EXPECT_TRUE(Contains(GetItem_CallStackXML(entry, ""), "<RunningThread ID=\"5000\""));
}

TEST(LogXMLSections, RegistersThatWereNotReadGetNoAttribute)
{
    std::string cpu = xmlfixtures::kCPU;
    for (const char* value : {"00000000   EDI", "0012FF70\r\n"}) {
        const std::string v(value);
        cpu.replace(cpu.find(v), 8, "????    ");
    }
    const std::string entry = std::string(xmlfixtures::kHeader61) + "\r\n" + xmlfixtures::kCallStack3Threads +
                              xmlfixtures::kModulesProcesses + xmlfixtures::kAssembler + "\r\n" + cpu +
                              xmlfixtures::kEntryEnd;
    const std::string xml = GetItem_CPUXML(entry);
    EXPECT_TRUE(Contains(xml, "<Registers EBX=\"7FFDF000\" ECX=\"0012FF88\" EDX=\"00401000\" EDI=\"0012FF00\" "
                              "ESI=\"00000001\" EIP=\"0040A1B2\"/>"))
        << xml;
}

TEST(LogXMLSections, AVersion5EntryHasNoProcessesAndNoAssembler)
{
    const std::string entry = xmlfixtures::Entry5x();
    EXPECT_EQ(GetItem_ProcessesXML(entry), "<Processes/>\r\n");
    EXPECT_EQ(GetItem_AssemblerXML(entry), "<Assembler/>\r\n");
    EXPECT_TRUE(Contains(GetItem_ModulesXML(entry), "Path=\"C:\\Old\\\""));
    EXPECT_TRUE(Contains(GetItem_CPUXML(entry), "EAX=\"00000000\""));
    EXPECT_EQ(GetItem_ReproduceXML(entry), "");
}

TEST(LogXMLGeneral, ItemsBecomeGroupsAndLines)
{
    const std::string xml = GetItem_GeneralsXML(xmlfixtures::Entry61());
    EXPECT_TRUE(Contains(xml, "<Group ID=\"2\" Label=\"Exception\">")) << xml;
    EXPECT_TRUE(Contains(xml, "<Line ID=\"2.2\" Label=\"Address\" Value=\"0040A1B2\"/>")) << xml;
    EXPECT_TRUE(Contains(xml, "<Line ID=\"1.2\" Label=\"Name/Description\" Value=\"Volumetra.exe - (&#202;"));
    EXPECT_TRUE(Contains(xml, "<Line ID=\"2.6\" Label=\"Message\" Value=\"&#206;&#248;&#232;&#225;&#234;&#224; "
                              "&#060;&#038;&#039;&#034;&#062; a&#009;b &#152; c?d\"/>"))
        << xml;
    EXPECT_TRUE(Contains(xml, "<Line ID=\"2.10\" Label=\"Note\" Value=\"\"/>")) << xml;
    EXPECT_TRUE(Contains(xml, "<Line ID=\"3.5\" Label=\"Privileges\" Value=\"SeShutdownPrivilege: "
                              "ON&#013;&#010;&#013;&#010;SeDebugPrivilege: OFF?\"/>"))
        << xml;
}

TEST(LogXMLGeneral, MultiLineValuesLoseTheirStoredDots)
{
    const std::string entry = "VexlorLog 6.1.01 RC 1\r\n\r\nUser:\r\n-----\r\n"
                              "  3.5 Privileges: .\r\n"
                              "                  first:_one\r\n"
                              "                  .\r\n"
                              "                  .\r\n"
                              "                  last\r\n"
                              "                  .\r\n"
                              "  3.6 After     : x\r\n"
                              "\r\nCall Stack Information:\r\n-----\r\n|Address|\r\n-----\r\n\r\n";
    const std::string xml = GetItem_GeneralsXML(entry);
    EXPECT_TRUE(Contains(xml, "Value=\"&#013;&#010;first: one&#013;&#010;&#013;&#010;&#013;&#010;last&#013;&#010;\""))
        << xml;
    EXPECT_TRUE(Contains(xml, "<Line ID=\"3.6\" Label=\"After\" Value=\"x\"/>")) << xml;
}

TEST(LogXMLCallStack, ThreadsNestAndCellsSplit)
{
    const std::string xml = GetItem_CallStackXML(xmlfixtures::Entry61(), "");
    const std::string expected =
        "<CallStack>\r\n"
        "  <ExceptionThread ID=\"4020\" Priority=\"0\" Class=\"TWorker\" MainThread=\"False\">\r\n"
        "    <Line Address=\"0040A1B2\" Module=\"Volumetra.exe\" Unit=\"Worker.cpp\" Class=\"TWorker\" "
        "Procedure=\"Execute\" Number=\"120\" Offset=\"4\"/>\r\n"
        "    <Line Address=\"0040A000\" Module=\"Volumetra.exe\" Unit=\"Classes.cpp\" Class=\"TThread\" "
        "Procedure=\"_ThreadProc\" Number=\"55\" Offset=\"0\"/>\r\n"
        "    <CallingThread ID=\"3000\" Priority=\"0\" Class=\"\" MainThread=\"True\">\r\n"
        "      <Line Address=\"00401500\" Module=\"Volumetra.exe\" Unit=\"Main.cpp\" Class=\"TMainForm\" "
        "Procedure=\"btStartClick\" Number=\"88\" Offset=\"2\"/>\r\n"
        "    </CallingThread>\r\n"
        "  </ExceptionThread>\r\n"
        "  <RunningThread ID=\"5000\" Priority=\"-1\" Class=\"TPoller\" MainThread=\"False\">\r\n"
        "    <Line Address=\"00402000\" Module=\"Volumetra.exe\" Unit=\"Poller.cpp\" Class=\"TPoller\" "
        "Procedure=\"Poll\" Number=\"\" Offset=\"\"/>\r\n"
        "  </RunningThread>\r\n"
        "</CallStack>\r\n";
    EXPECT_EQ(xml, expected);
}

TEST(LogXMLCallStack, EncipheredNamesNeedTheRightPassword)
{
    const std::string entry = xmlfixtures::EntryEnciphered();
    const xmlfixtures::TSecretCells cells = xmlfixtures::SecretCells();
    const std::string right = GetItem_CallStackXML(entry, xmlfixtures::kSecretPassword);
    EXPECT_TRUE(Contains(right, "Unit=\"SecretUnit.cpp\" Class=\"TSecret\" Procedure=\"Reveal\"")) << right;
    EXPECT_TRUE(Contains(right, "Unit=\"Vault.h\" Class=\"TVault\" Procedure=\"_Open\"")) << right;
    for (const std::string password : {"wrong-password", ""}) {
        const std::string xml = GetItem_CallStackXML(entry, password);
        EXPECT_TRUE(Contains(xml, "Unit=\"" + TXMLItem::EncodedString(cells.Unit1) + "\" Class=\"" +
                                      TXMLItem::EncodedString(cells.Class1) + "\" Procedure=\"" +
                                      TXMLItem::EncodedString(cells.Procedure1) + "\""))
            << password << "\n"
            << xml;
        EXPECT_TRUE(Contains(xml, "Unit=\"" + TXMLItem::EncodedString(cells.Unit2) + "\" Class=\"\""));
    }
}

TEST(LogXMLDocument, EntriesFromTheOldestIndented)
{
    const std::vector<std::string> entries = {xmlfixtures::Entry5x(), xmlfixtures::Entry61()};
    const std::string xml = GetXML(entries, "");
    EXPECT_TRUE(StartsWith(xml, "<Doc>\r\n  <Log Version=\"5.2.1\">\r\n    <General>\r\n      <Group ")) << xml;
    EXPECT_TRUE(EndsWith(xml, "\r\n  </Log>\r\n</Doc>"));
    const std::size_t second = xml.find("\r\n  <Log Version=\"6.1.01 RC 1\">\r\n    <General>\r\n      <Group ");
    EXPECT_NE(second, std::string::npos);
    EXPECT_LT(xml.find("5.2.1"), second);
    EXPECT_TRUE(Contains(xml, "\r\n        <Line ID=\"2.2\" Label=\"Address\" Value=\"00405000\"/>\r\n"));

    const std::string one = GetItem_XML(xmlfixtures::Entry5x(), "");
    EXPECT_TRUE(StartsWith(one, "<Log Version=\"5.2.1\">\r\n  <General>\r\n    <Group ")) << one;
    EXPECT_TRUE(EndsWith(one, "\r\n</Log>"));
}

TEST(LogXMLDocument, TheVersionIsEscaped)
{
    const std::string entry = "VexlorLog 6.1 \"beta\" <&>\r\n\r\nX:\r\n-\r\n  1.1 A: b\r\n\r\nCall Stack:\r\n-----\r\n"
                              "|Address|\r\n-----\r\n\r\n";
    EXPECT_TRUE(StartsWith(GetItem_XML(entry, ""), "<Log Version=\"6.1 &#034;beta&#034; &#060;&#038;&#062;\">\r\n"));
}

TEST(LogXMLDocument, AnEntryWithoutCallStackGivesEmptyElements)
{
    const std::string xml = GetItem_XML("VexlorLog 6.1.01\r\n\r\nno table here\r\n", "");
    EXPECT_EQ(xml, "<Log Version=\"6.1.01\">\r\n  <General/>\r\n  <CallStack/>\r\n  <Modules/>\r\n  <Processes/>\r\n"
                   "  <Assembler/>\r\n  <CPU/>\r\n</Log>");
}

// An entry of about 20 KB: the full entry with a long modules table.
std::string LargeEntry()
{
    std::string rows;
    for (int i = 0; rows.size() < 16500; ++i) {
        char row[200];
        std::snprintf(row, sizeof row,
                      "|%08X|module%03d.dll|Description of module %03d|1.0.0.%d|%6d|"
                      "2026-01-01 00:00:00|C:\\windows\\system32\\|\r\n",
                      0x10000000 + i * 0x10000, i, i, i, 4096 * i);
        rows += row;
    }
    std::string entry = xmlfixtures::Entry61();
    const std::string anchor = "|7B800000|";
    entry.insert(entry.find(anchor), rows);
    return entry;
}

TEST(LogXMLDocument, CopyOfAHundredLargeEntries)
{
    const std::vector<std::string> entries(100, LargeEntry());
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    const std::string xml = GetXML(entries, "");
    QueryPerformanceCounter(&end);
    const double ms = 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart;
    std::printf("XML copy of 100 entries of %u bytes: %.1f ms, %u bytes of XML\n",
                static_cast<unsigned>(entries[0].size()), ms, static_cast<unsigned>(xml.size()));
    RecordProperty("xml_copy_ms", static_cast<int>(ms));
    std::size_t logs = 0;
    for (std::size_t at = xml.find("\r\n  <Log "); at != std::string::npos; at = xml.find("\r\n  <Log ", at + 1))
        ++logs;
    EXPECT_EQ(logs, 100u);
    EXPECT_GT(entries[0].size(), 19000u);
    // Only a bound against a runaway: the figure is what the test is for.
    EXPECT_LT(ms, 60000.0 * testsupport::TimeScale());
}

}  // namespace
}  // namespace crash
