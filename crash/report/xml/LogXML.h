// The log's XML copy: each entry's report text cut into its sections (header,
// call stack, modules, processes, assembler, CPU, steps to reproduce) and
// written as elements with TXMLItem.
//
// The functions take an entry's text as the log stores it (the report text,
// with or without the three line breaks the log keeps after it) and never fail
// on a text they cannot cut: a section that is not found is empty, and its
// element is written empty ("<Processes/>"). The log file's methods of the same
// names pass their entry's text and the log's password on to these.
//
// Threads: none shared; any thread. Failure: std::bad_alloc, and the file
// errors of SaveXMLCopy (rtl::EFCreateError / rtl::EWriteError).
#pragma once
#include <string>
#include <vector>

namespace crash::logxml {

// The entry's version text: its first line from the 11th character on
// ("6.1.01 RC 1" of "VexlorLog 6.1.01 RC 1").
std::string EntryVersion(const std::string& entry);

// ---- Sections of one entry ----
// The header sections, from the banner to the call-stack caption, without the
// line breaks and blanks at their end; empty without a call-stack table.
std::string GetItem_Generals(const std::string& entry);
// The call-stack table from the dash rule above its header row to its
// closing rule.
std::string GetItem_CallStack(const std::string& entry);
// The modules table (rules included); empty when the section has no table.
std::string GetItem_Modules(const std::string& entry);
// The processes table; empty for entries of versions below "6.0".
std::string GetItem_Processes(const std::string& entry);
// The listing lines of the assembler section: only a titled section that
// stands between the processes table and the CPU block counts, so an entry
// without a listing (an unreadable exception address) has none. Empty for
// versions below "6.0".
std::string GetItem_Assembler(const std::string& entry);
// The CPU block, found by its shape: a caption line, its dash rule and a line
// beginning "EAX: "; from the caption to the end of the memory dump.
std::string GetItem_CPU(const std::string& entry);
// The steps-to-reproduce text of old entries.
std::string GetItem_Reproduce(const std::string& entry);

// ---- Elements of one entry (XML text, lines ending with CRLF) ----
std::string GetItem_GeneralsXML(const std::string& entry);
// Enciphered unit, class and procedure names are read with password when it
// is not empty.
std::string GetItem_CallStackXML(const std::string& entry, const std::string& password);
std::string GetItem_ModulesXML(const std::string& entry);
std::string GetItem_ProcessesXML(const std::string& entry);
std::string GetItem_AssemblerXML(const std::string& entry);
std::string GetItem_CPUXML(const std::string& entry);
// "<HoToReproduce Text=.../>" for entries of versions below "5.0"; empty
// (no element) for later ones.
std::string GetItem_ReproduceXML(const std::string& entry);

// The "Log" element of one entry, its sections in order; it ends with
// "</Log>" without a line break.
std::string GetItem_XML(const std::string& entry, const std::string& password);

// ---- The whole log ----
// "<Doc>", the "Log" element of every entry from the oldest to the newest
// indented by two blanks, "</Doc>".
std::string GetXML(const std::vector<std::string>& entries, const std::string& password);
// GetXML into the file, every line ending with CRLF (no XML declaration; the
// text is plain ASCII, every other byte being a character reference).
void SaveXMLCopy(const std::vector<std::string>& entries, const std::string& password, const std::string& fileName);

}  // namespace crash::logxml
