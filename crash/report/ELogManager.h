// The report text: TLogItem, which lays out the numbered header sections, the
// report's texts (one set per process, rewritten by every report), and the
// builders that join header, tables, assembler and CPU blocks into the full
// text and insert the later sections.
//
// The layout is the report format that the log, the XML copy and the senders
// read back: the section numbers, the ": " column and the dash rules matter
// byte for byte. Texts are 8-bit, in the process ANSI code page; every line
// ends with CR LF.
//
// Threads and zone: the report thread, inside one report (the pipeline's main
// report lock is held), so the process-wide texts take no lock of their own.
// Everything here allocates. Failure: the text functions raise nothing of
// their own; an exception of a source (a collector, a section builder)
// passes through to the pipeline, which reports it with its stage number.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "crash/engine/EConsts.h"
#include "crash/engine/ETypes.h"
#include "crash/engine/ReportSteps.h"
#include "rtl/System.h"

namespace crash {

class TVexlorModuleOptions;
struct TReportContext;

// ---- Lines ------------------------------------------------------------------

// The text as a list of lines, the way a string list loads it: CR LF, a lone
// CR and a lone LF each end a line; a line break at the very end adds no
// empty line ("a\r\n" is one line, "a\r\n\r\n" two, "" none).
std::vector<std::string> LoadLines(std::string_view text);

// ---- The numbered sections -----------------------------------------------------

// Builds numbered sections: a caption line ("Label:"), a dash rule as long as
// the longest item line, and item lines "  S.n Label<blanks>: value" whose
// ": " stand in one column. Sections without a shown item are left out; a
// hidden item keeps its number, so the next shown one shows the gap.
class TLogItem : public rtl::TObject {
public:
    // The first section gets the number aFirstHeader + 1.
    explicit TLogItem(std::int32_t aFirstHeader);

    // Forgets everything added; the next section is numbered afresh.
    void Clear();
    // Starts a section with the caption aHeader.
    void AddHeader(const std::string& aHeader);
    // Counts the next item of the section and, when add is set, writes it. A
    // value of several lines (CR LF, or a lone CR or LF anywhere) continues
    // under its first character; a line of it that is empty or blank shows as
    // ".", and each ": " in it as ":_", so that the value never ends a section
    // or moves the column.
    void AddItem(const std::string& aItem, const std::string& aValue, bool add);
    // The finished sections, every line followed by CR LF; empty when no
    // section has a shown item. The text added so far stays as it is.
    std::string GetString() const;
    std::string Value() const { return GetString(); }

private:
    std::string FString;  // captions and item lines as added, not yet laid out
    std::int32_t FHeaderNo = 0;
    std::int32_t FItemNo = 0;
    std::int32_t FFirstHeader = 0;
};

// ---- The report's texts ------------------------------------------------------------

// The first line of every report: the library's name and version.
inline constexpr std::string_view kReportBannerText = "VexlorLog 6.1.01 RC 1";

struct TReportTexts {
    std::string ReportHeaderText;     // banner and header sections; grows by inserted sections
    std::string AssemblerHeaderText;  // caption and dash rule of the assembler block
    std::string AssemblerText;        // the assembler listing
    std::string CPUText;              // registers, stack and memory dump
    std::string FullReportText;       // the whole report
    std::string ReportSendText;       // what the senders send (the whole log with sndSendEntireLog)
};

// The texts of the last report (one set per process).
TReportTexts& ReportTexts() noexcept;

// ---- The header --------------------------------------------------------------------

// The value of every header item, at the option that shows it (soAppName:
// item 1.2, ...). soCustomData is not an item of the header.
struct TReportHeaderValues {
    std::array<std::string, kShowOptionCount> Values;
    // The active-controls items (section 4) are shown only when the program is
    // neither a web nor a console application.
    bool ActiveControlsAllowed = true;

    std::string& operator[](TShowOption option) { return Values[option]; }
    const std::string& operator[](TShowOption option) const { return Values[option]; }
};

// The items of the header, in the order they stand, by the option that shows
// each (privileges, 3.5, come after company, 3.4, here, though not in the
// enumeration). An option starting a new section is preceded by that
// section's caption.
inline constexpr std::array<TShowOption, kShowOptionCount - 1> kReportHeaderItems = {
    soAppStartDate,
    soAppName,
    soAppVersionNumber,
    soAppParameters,
    soAppCompilationDate,
    soAppUpTime,
    soExcDate,
    soExcAddress,
    soExcModuleName,
    soExcModuleVersion,
    soExcType,
    soExcMessage,
    soExcID,
    soExcCount,
    soExcStatus,
    soExcNote,
    soUserID,
    soUserName,
    soUserEmail,
    soUserCompany,
    soUserPrivileges,
    soActCtlsFormClass,
    soActCtlsFormText,
    soActCtlsControlClass,
    soActCtlsControlText,
    soCmpName,
    soCmpTotalMemory,
    soCmpFreeMemory,
    soCmpTotalDisk,
    soCmpFreeDisk,
    soCmpSysUpTime,
    soCmpProcessor,
    soCmpDisplayMode,
    soCmpDisplayDPI,
    soCmpVideoCard,
    soCmpPrinter,
    soOSType,
    soOSBuildN,
    soOSUpdate,
    soOSLanguage,
    soOSCharset,
    soNetIP,
    soNetSubmask,
    soNetGateway,
    soNetDNS1,
    soNetDNS2,
    soNetDHCP,
};
static_assert(
    [] {
        std::array<int, kShowOptionCount> seen{};
        for (const TShowOption option : kReportHeaderItems) ++seen[option];
        for (std::size_t k = 0; k < kShowOptionCount; ++k)
            if (seen[k] != (k == soCustomData ? 0 : 1)) return false;
        return true;
    }(),
    "every header item is listed once");

// The header sections (without the banner) for the values, labelled with the
// options' texts and shown by their FShowOptions. Items 2.8 to 2.10 have fixed
// values ("1", "New", empty); whatever values holds for them is not used.
std::string ReportHeaderSections(const TReportHeaderValues& values, const TVexlorModuleOptions& options);

// The items whose values come from the engine's system facts: 1.1 start
// date (the process's creation), 1.3 version (the program file's), 1.6 up
// time (to the pipeline's exception time, or now), 2.1 exception date, 3.1
// login, 3.2 registered owner, 5.1 computer name, 5.6 system up time, 6.1
// system type, 6.2 build and 6.3 update.
void CollectSystemHeaderValues(TReportHeaderValues& values);

// ---- Inserted sections -------------------------------------------------------------

// The text of one inserted section: the section of a TLogItem numbered
// aFirstHeader + 1, followed by CR LF. InsertTextSectionText has one item with
// an empty label; InsertListSectionText one item per "name=value" line, each
// with its own name and value, trimmed (a line without "=" is a name with an
// empty value). Empty for an empty text or an absent or empty list.
std::string InsertTextSectionText(std::int32_t aFirstHeader, const std::string& caption, const std::string& text);
std::string InsertListSectionText(std::int32_t aFirstHeader, const std::string& caption,
                                  const std::vector<std::string>* lines);

// Puts an inserted section's text into FullReportText after the header and
// the line break that follows it, so that it stands between the header and
// the call-stack block; the section becomes the end of ReportHeaderText (a
// second one comes after it) and ReportSendText equals FullReportText again.
// An empty section changes nothing; a full text shorter than the header (not
// made from it) gets the section at its end.
void InsertSection(TReportTexts& texts, const std::string& sectionText);

// ---- The report's builders -------------------------------------------------------------

// Where the text takes the parts that other units of the report layer make.
// Start-up fills the slots; an empty one adds nothing (its values stay empty,
// its blocks are left out).
struct TReportTextSources {
    // The value of every header item but 2.7 to 2.10. ActiveControlsAllowed
    // comes preset from the application-kind slots of ReportSteps.
    TReportStep<void(TReportContext& context, TReportHeaderValues& values)> CollectHeaderValues;
    // Appends the call-stack, modules and processes blocks to the context's
    // call-stack text (or their empty tables, as the options say).
    TReportStep<void(TReportContext& context)> BuildCallStackSections;
    // With loSaveAssemblerAndCPUSections: AssemblerHeaderText, AssemblerText
    // and CPUText of Texts. (Without it the text has the empty assembler
    // caption and the empty registers table.)
    TReportStep<void(TReportContext& context, TReportTexts& texts)> BuildAssemblerAndCPU;
};
inline TReportTextSources ReportTextSources;

// ReportTexts().ReportHeaderText := banner, CR LF CR LF and the header
// sections of the values of CollectSystemHeaderValues, then of the sources'
// collectors (which may replace them), the pipeline's exception identifier as
// item 2.7; labels and show options from the report's options
// (ReportOptions()).
void BuildReportHeader(TReportContext& context);

// Builds every text of ReportTexts() and the context's top text and
// call-stack text for the report in progress; answers FullReportText. Needs
// the pipeline's state (StartExceptionPipeline).
std::string BuildReportText(TReportContext& context);

// Insert a section numbered aFirstHeader + 1 after the header (and the
// sections inserted before) into the report's texts and hand the new full
// text to the pipeline (SetReportText), which the current record's log text
// follows. Nothing happens for an empty text or an absent or empty list.
void InsertTextSection(std::int32_t aFirstHeader, const std::string& caption, const std::string& text);
void InsertListSection(std::int32_t aFirstHeader, const std::string& caption, const std::vector<std::string>* lines);

// Fills the pipeline's report-text slots (ReportSteps) with the builders
// above. Called by the crash reporter's start-up; a second call changes
// nothing.
void RegisterReportTextSteps() noexcept;

}  // namespace crash
