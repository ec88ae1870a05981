// The report's texts: the header, the full text in its block order, and the
// sections inserted after the header.
#include <algorithm>
#include <string>
#include <vector>

#include "crash/engine/ECore.h"
#include "crash/engine/EOptions.h"
#include "crash/engine/pipeline/ReportContext.h"
#include "crash/report/ELogManager.h"

namespace crash {

namespace {

constexpr std::string_view kCRLF = "\r\n";

void SetStage(int Stage) noexcept
{
    if (TPipelineState* state = PipelineStateOrNull()) state->Stage = Stage;
}

std::string Trimmed(std::string_view text)
{
    return std::string(rtl::Trim(text));
}

// "Caption:", CR LF and as many dashes as the caption is long plus one.
std::string CaptionAndRule(const std::string& Caption)
{
    return Caption + ":\r\n" + std::string(Caption.size() + 1, '-');
}

}  // namespace

TReportTexts& ReportTexts() noexcept
{
    static TReportTexts texts;
    return texts;
}

std::string ReportHeaderSections(const TReportHeaderValues& Values, const TVexlorModuleOptions& Options)
{
    const TShowOptions shown = Options.ShowOptions();
    TLogItem item(0);
    bool first = true;
    TMessageType section = mtLog_AppHeader;
    for (const TShowOption option : kReportHeaderItems) {
        if (first || ShowOptionSection(option) != section) {
            section = ShowOptionSection(option);
            item.AddHeader(Options.GetCustomizedExpandedTexts(section));
            first = false;
        }
        bool show = shown.Contains(option);
        if (section == mtLog_ActCtrlsHeader) show = show && Values.ActiveControlsAllowed;
        const std::string* value = &Values[option];
        static const std::string kCount = "1", kStatus = "New", kNote;
        if (option == soExcCount) value = &kCount;
        if (option == soExcStatus) value = &kStatus;
        if (option == soExcNote) value = &kNote;
        item.AddItem(Options.GetCustomizedExpandedTexts(ShowOptionLabel(option)), *value, show);
    }
    return item.GetString();
}

std::string InsertTextSectionText(std::int32_t AFirstHeader, const std::string& Caption, const std::string& Text)
{
    if (Text.empty()) return {};
    TLogItem item(AFirstHeader);
    item.AddHeader(Caption);
    item.AddItem(std::string(), Text, true);
    return item.GetString() + std::string(kCRLF);
}

std::string InsertListSectionText(std::int32_t AFirstHeader, const std::string& Caption,
                                  const std::vector<std::string>* Lines)
{
    if (Lines == nullptr || Lines->empty()) return {};
    TLogItem item(AFirstHeader);
    item.AddHeader(Caption);
    for (const std::string& line : *Lines) {
        // Each line's own value: a name that two lines share keeps both.
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) {
            item.AddItem(Trimmed(line), std::string(), true);
        } else {
            item.AddItem(Trimmed(std::string_view(line).substr(0, equals)),
                         Trimmed(std::string_view(line).substr(equals + 1)), true);
        }
    }
    return item.GetString() + std::string(kCRLF);
}

void InsertSection(TReportTexts& Texts, const std::string& SectionText)
{
    if (SectionText.empty()) return;
    const std::size_t headerLength = Texts.ReportHeaderText.size();
    const std::size_t at = std::min(headerLength + kCRLF.size(), Texts.FullReportText.size());
    Texts.FullReportText.insert(at, SectionText);
    Texts.ReportSendText = Texts.FullReportText;
    Texts.ReportHeaderText = Texts.FullReportText.substr(0, headerLength + SectionText.size());
}

void BuildReportHeader(TReportContext& Context)
{
    SetStage(702200);
    TReportHeaderValues values;
    values.ActiveControlsAllowed = !ReportSteps.IsWebApplication() && !ReportSteps.IsConsoleApplication();
    CollectSystemHeaderValues(values);
    ReportTextSources.CollectHeaderValues(Context, values);
    values[soExcID] = ExceptionIdentifier();

    std::string header(kReportBannerText);
    SetCurrentCodePage(header);
    header += kCRLF;
    header += kCRLF;
    header += ReportHeaderSections(values, ReportOptions());
    ReportTexts().ReportHeaderText = std::move(header);
    SetStage(702233);
}

std::string BuildReportText(TReportContext& Context)
{
    SetStage(7021);
    const TVexlorModuleOptions& options = ReportOptions();
    TReportTexts& texts = ReportTexts();
    Context.TopText = options.GetCustomizedExpandedTexts(mtDialog_ErrorMsgCaption) + "\r\n\r\n";
    texts.ReportHeaderText.clear();
    Context.CallStackText.clear();
    texts.CPUText.clear();
    texts.AssemblerText.clear();
    texts.AssemblerHeaderText.clear();

    SetStage(7022);
    BuildReportHeader(Context);

    if (options.LogOptions().Contains(loSaveAssemblerAndCPUSections)) {
        ReportTextSources.BuildAssemblerAndCPU(Context, texts);
    } else {
        // The empty assembler part and the registers table's empty form.
        texts.AssemblerHeaderText = CaptionAndRule(options.GetCustomizedExpandedTexts(mtDialog_AsmHeader));
        texts.CPUText = CaptionAndRule(options.GetCustomizedExpandedTexts(mtCPU_Registers)) + "\r\n\r\n";
    }
    ReportTextSources.BuildCallStackSections(Context);

    std::string full;
    full.reserve(texts.ReportHeaderText.size() + Context.CallStackText.size() + texts.AssemblerHeaderText.size() +
                 texts.AssemblerText.size() + texts.CPUText.size() + 3 * kCRLF.size());
    full += texts.ReportHeaderText;
    full += kCRLF;
    full += Context.CallStackText;
    full += texts.AssemblerHeaderText;
    full += kCRLF;
    full += texts.AssemblerText;
    full += kCRLF;
    full += texts.CPUText;
    texts.FullReportText = std::move(full);
    texts.ReportSendText = texts.FullReportText;
    return texts.FullReportText;
}

void InsertTextSection(std::int32_t AFirstHeader, const std::string& Caption, const std::string& Text)
{
    const std::string section = InsertTextSectionText(AFirstHeader, Caption, Text);
    if (section.empty()) return;
    InsertSection(ReportTexts(), section);
    SetReportText(ReportTexts().FullReportText);
}

void InsertListSection(std::int32_t AFirstHeader, const std::string& Caption, const std::vector<std::string>* Lines)
{
    const std::string section = InsertListSectionText(AFirstHeader, Caption, Lines);
    if (section.empty()) return;
    InsertSection(ReportTexts(), section);
    SetReportText(ReportTexts().FullReportText);
}

void RegisterReportTextSteps() noexcept
{
    ReportSteps.BuildReportText.Set([](TReportContext& Context) {
        SetStage(702);
        return BuildReportText(Context);
    });
    ReportSteps.InsertTextSection.Set([](int FirstHeader, const std::string& Label, const std::string& Text) {
        InsertTextSection(FirstHeader, Label, Text);
    });
    ReportSteps.InsertListSection.Set([](int FirstHeader, const std::string& Label, const TVexlorStrings& List) {
        InsertListSection(FirstHeader, Label, &List.Strings());
    });
}

}  // namespace crash
