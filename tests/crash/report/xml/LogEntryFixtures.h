// Log entries written by hand, as the log stores them (each followed by the
// three line breaks the log keeps), for the XML copy's tests.
#pragma once
#include <string>

#include "crash/engine/EBase64.h"
#include "crash/engine/EEncrypt.h"

namespace xmlfixtures {

// The header of a 6.1 entry. Item 2.6 holds Cyrillic in code page 1251,
// the XML specials, a tab, 0x98 (undefined in 1251) and the control byte 0x01;
// item 3.5 is a multi-line value with a stored ": " and an empty line.
inline const char kHeader61[] = "VexlorLog 6.1.01 RC 1\r\n"
                                "\r\n"
                                "Application:\r\n"
                                "------------------------------------------------------\r\n"
                                "  1.1 Start Date      : Fri, 11 Dec 2026 03:00:00 +0300\r\n"
                                "  1.2 Name/Description: Volumetra.exe - (\xCA\xE0\xEB\xE8\xE1\xF0\xEE\xE2\xEA\xE0)\r\n"
                                "  1.3 Version Number  : 1.2.0.7\r\n"
                                "\r\n"
                                "Exception:\r\n"
                                "-------------------------------------------------------------\r\n"
                                "  2.1 Date          : Fri, 11 Dec 2026 03:01:00 +0300\r\n"
                                "  2.2 Address       : 0040A1B2\r\n"
                                "  2.5 Type          : EAccessViolation\r\n"
                                "  2.6 Message       : \xCE\xF8\xE8\xE1\xEA\xE0 <&'\"> a\tb \x98 c\x01"
                                "d\r\n"
                                "  2.7 ID            : 1A2B3C4D\r\n"
                                "  2.8 Count         : 1\r\n"
                                "  2.10 Note         :\r\n"
                                "\r\n"
                                "User:\r\n"
                                "--------------------------------------------\r\n"
                                "  3.1 ID            : operator\r\n"
                                "  3.5 Privileges    : SeShutdownPrivilege:_ON\r\n"
                                "                      .\r\n"
                                "                      SeDebugPrivilege:_OFF?\r\n";

// The values above as the XML copy gives them (bytes of code page 1251).
inline const char kMessage61[] = "\xCE\xF8\xE8\xE1\xEA\xE0 <&'\"> a\tb \x98 c?d";
inline const char kPrivileges61[] = "SeShutdownPrivilege: ON\r\n\r\nSeDebugPrivilege: OFF?";

// Three threads: the exception thread, a thread that called into it (the
// main thread), and a running thread after a blank row.
inline const char kCallStack3Threads[] =
    "Call Stack Information:\r\n"
    "-------------------------------------------------------------------------------------\r\n"
    "|Address |Module       |Unit        |Class     |Procedure      |Line    |\r\n"
    "-------------------------------------------------------------------------------------\r\n"
    "|*Exception Thread: ID=4020; Priority=0; Class=TWorker                       |\r\n"
    "|----------------------------------------------------------------------------|\r\n"
    "|0040A1B2|Volumetra.exe|Worker.cpp  |TWorker   |Execute        |120[4]  |\r\n"
    "|0040A000|Volumetra.exe|Classes.cpp |TThread   |@ThreadProc    |55[0]   |\r\n"
    "|----------------------------------------------------------------------------|\r\n"
    "|Calling Thread: ID=3000; Priority=0; Class=; [Main Thread]                  |\r\n"
    "|----------------------------------------------------------------------------|\r\n"
    "|00401500|Volumetra.exe|Main.cpp    |TMainForm |btStartClick   |88[2]   |\r\n"
    "|----------------------------------------------------------------------------|\r\n"
    "|                                                                            |\r\n"
    "|Running Thread: ID=5000; Priority=-1; Class=TPoller                         |\r\n"
    "|----------------------------------------------------------------------------|\r\n"
    "|00402000|Volumetra.exe|Poller.cpp  |TPoller   |Poll           |        |\r\n"
    "-------------------------------------------------------------------------------------\r\n"
    "\r\n";

inline const char kModulesProcesses[] =
    "Modules Information:\r\n"
    "------------------------------------------------------------------------------------\r\n"
    "|Handle  |Name         |Description|Version|Size  |Modified           |Path       |\r\n"
    "------------------------------------------------------------------------------------\r\n"
    "|00400000|Volumetra.exe|\xCA\xE0\xEB\xE8\xE1\xF0\xEE\xE2\xEA\xE0 |1.2.0.7|123456|2026-12-01 "
    "10:00:00|C:\\Volumetra\\|\r\n"
    "|7B800000|kernel32.dll |Wine core  |5.1    |989184|2026-01-01 00:00:00|C:\\windows\\system32\\|\r\n"
    "------------------------------------------------------------------------------------\r\n"
    "\r\n"
    "Processes Information:\r\n"
    "-----------------------------------------------------------------------------\r\n"
    "|ID  |Name         |Description|Version|Memory|Priority|Threads|Path        |\r\n"
    "-----------------------------------------------------------------------------\r\n"
    "|1234|Volumetra.exe|R&D tool   |1.2.0.7|20480 |Normal  |5      |C:\\Volumetra\\|\r\n"
    "-----------------------------------------------------------------------------\r\n"
    "\r\n";

inline const char kAssembler[] = "Assembler Information:\r\n"
                                 "-------------------------------------------------\r\n"
                                 "; Worker.TWorker.Execute (Line=120 - Offset=4)\r\n"
                                 "; --------------------------------------------\r\n"
                                 "0040A1A8  push ebp\r\n"
                                 "0040A1A9  mov  ebp, esp\r\n"
                                 "0040A1B2  mov  eax, [eax]  ; <-- EXCEPTION\r\n"
                                 "0040A1B4  ret\r\n";

inline const char kCPU[] =
    "Registers:\r\n"
    "-----------------------------\r\n"
    "EAX: 00000000   EDI: 0012FF00\r\n"
    "EBX: 7FFDF000   ESI: 00000001\r\n"
    "ECX: 0012FF88   ESP: 0012FF70\r\n"
    "EDX: 00401000   EIP: 0040A1B2\r\n"
    "\r\n"
    "Stack:               Memory Dump:\r\n"
    "------------------   ---------------------------------------------------------------------------\r\n"
    "0012FF70: 00401234   0040A1B2:  8B 00 C3 90 3C 26 27 22 41 42 43 44 45 46 47 48 ....<&'\"ABCDEFGH\r\n"
    "0012FF74: 0012FFB0   0040A1C2:  55 8B EC 83 C4 F0 53 56 57 89 55 F8 89 45 FC 8B U.....SVW.U..E..\r\n";

// The CPU block of a report whose exception address could not be read: the
// registers, no dump.
inline const char kCPUNoDump[] =
    "Registers:\r\n"
    "-----------------------------\r\n"
    "EAX: 00000010   EDI: 00000000\r\n"
    "EBX: 00000000   ESI: 00000000\r\n"
    "ECX: 00000000   ESP: 0012FF70\r\n"
    "EDX: 00000000   EIP: 00000010\r\n"
    "\r\n"
    "Stack:               Memory Dump:\r\n"
    "------------------   ---------------------------------------------------------------------------\r\n";

inline const char kEntryEnd[] = "\r\n\r\n\r\n";

// A full 6.1 entry with three threads, a listing and a dump: the report text
// (header, CRLF, call stack with modules and processes, assembler caption,
// CRLF, listing, CRLF, CPU).
inline std::string Entry61()
{
    return std::string(kHeader61) + "\r\n" + kCallStack3Threads + kModulesProcesses + kAssembler + "\r\n" + kCPU +
           kEntryEnd;
}

// The same report with the exception address unreadable: no assembler caption
// and no listing, so the CPU caption is the third title after the call stack.
inline std::string EntryUnreadableAddress()
{
    return std::string(kHeader61) + "\r\n" + kCallStack3Threads + kModulesProcesses + "" + "\r\n" + "" + "\r\n" +
           kCPUNoDump + kEntryEnd;
}

// An entry of a 5.x writer: call stack, modules, CPU; no processes, no
// assembler.
inline std::string Entry5x()
{
    return std::string("VexlorLog 5.2.1\r\n"
                       "\r\n"
                       "Exception:\r\n"
                       "-------------------------------\r\n"
                       "  2.2 Address: 00405000\r\n"
                       "  2.6 Message: Old one\r\n"
                       "\r\n"
                       "Call Stack Information:\r\n"
                       "-----------------------------------------------------------\r\n"
                       "|Address |Module  |Unit    |Class |Procedure |Line  |\r\n"
                       "-----------------------------------------------------------\r\n"
                       "|*Exception Thread: ID=77; Priority=0; Class=; [Main Thread]|\r\n"
                       "|---------------------------------------------------------|\r\n"
                       "|00405000|Old.exe |Old.pas |TOld  |Run       |7[1]  |\r\n"
                       "-----------------------------------------------------------\r\n"
                       "\r\n"
                       "Modules Information:\r\n"
                       "-------------------------------------------------------\r\n"
                       "|Handle  |Name    |Description|Version|Size |Path   |\r\n"
                       "-------------------------------------------------------\r\n"
                       "|00400000|Old.exe |Old tool   |5.0    |4096 |C:\\Old\\|\r\n"
                       "-------------------------------------------------------\r\n"
                       "\r\n") +
           kCPU + kEntryEnd;
}

// A 6.1 entry whose call stack holds enciphered names: one row with unit,
// class and procedure enciphered apart, one whose procedure cell holds
// "Class.Procedure" enciphered as one name.
inline constexpr char kSecretPassword[] = "tank-calibration";

inline std::string EncipheredCell(const std::string& name, const std::string& password)
{
    crash::TCipherContext key;
    crash::InitKey(key, password);
    std::string bytes = name;
    crash::Encrypt(key, bytes.data(), bytes.data(), bytes.size());
    return "?" + crash::Base64EncodeString(bytes);
}

struct TSecretCells {
    std::string Unit1, Class1, Procedure1, Unit2, Procedure2;
};

inline TSecretCells SecretCells()
{
    TSecretCells cells;
    cells.Unit1 = "?c" + EncipheredCell("SecretUnit", kSecretPassword).substr(1);
    cells.Class1 = EncipheredCell("TSecret", kSecretPassword);
    cells.Procedure1 = EncipheredCell("Reveal", kSecretPassword);
    cells.Unit2 = "?p" + EncipheredCell("Vault.h", kSecretPassword).substr(1);
    cells.Procedure2 = EncipheredCell("TVault.@Open", kSecretPassword);
    return cells;
}

inline std::string EntryEnciphered()
{
    const TSecretCells c = SecretCells();
    return std::string(kHeader61) + "\r\n" +
           "Call Stack Information:\r\n"
           "--------------------------------------------------------------------------\r\n"
           "|Address |Module       |Unit|Class|Procedure|Line|\r\n"
           "--------------------------------------------------------------------------\r\n"
           "|*Exception Thread: ID=4020; Priority=0; Class=TWorker|\r\n"
           "|------------------------------------------------------------------------|\r\n"
           "|0040A1B2|Volumetra.exe|" +
           c.Unit1 + "|" + c.Class1 + "|" + c.Procedure1 + "|12[3]|\r\n" + "|0040A1C0|Volumetra.exe|" + c.Unit2 + "||" +
           c.Procedure2 + "|40[0]|\r\n" +
           "--------------------------------------------------------------------------\r\n"
           "\r\n" +
           kModulesProcesses + kAssembler + "\r\n" + kCPU + kEntryEnd;
}

}  // namespace xmlfixtures
