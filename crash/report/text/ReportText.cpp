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

void SetStage(int stage) noexcept
{
    if (TPipelineState* state = PipelineStateOrNull()) state->Stage = stage;
}

std::string Trimmed(std::string_view text)
{
    return std::string(rtl::Trim(text));
}

// "Caption:", CR LF and as many dashes as the caption is long plus one.
std::string CaptionAndRule(const std::string& caption)
{
    return caption + ":\r\n" + std::string(caption.size() + 1, '-');
}

}  // namespace

TReportTexts& ReportTexts() noexcept
{
    static TReportTexts texts;
    return texts;
}

std::string ReportHeaderSections(const TReportHeaderValues& values, const TVexlorModuleOptions& options)
{
    const TShowOptions shown = options.ShowOptions();
    TLogItem item(0);
    bool first = true;
    TMessageType section = mtLog_AppHeader;
    for (const TShowOption option : kReportHeaderItems) {
        if (first || ShowOptionSection(option) != section) {
            section = ShowOptionSection(option);
            item.AddHeader(options.GetCustomizedExpandedTexts(section));
            first = false;
        }
        bool show = shown.Contains(option);
        if (section == mtLog_ActCtrlsHeader) show = show && values.ActiveControlsAllowed;
        const std::string* value = &values[option];
        static const std::string kCount = "1", kStatus = "New", kNote;
        if (option == soExcCount) value = &kCount;
        if (option == soExcStatus) value = &kStatus;
        if (option == soExcNote) value = &kNote;
        item.AddItem(options.GetCustomizedExpandedTexts(ShowOptionLabel(option)), *value, show);
    }
    return item.GetString();
}

std::string InsertTextSectionText(std::int32_t aFirstHeader, const std::string& caption, const std::string& text)
{
    if (text.empty()) return {};
    TLogItem item(aFirstHeader);
    item.AddHeader(caption);
    item.AddItem(std::string(), text, true);
    return item.GetString() + std::string(kCRLF);
}

std::string InsertListSectionText(std::int32_t aFirstHeader, const std::string& caption,
                                  const std::vector<std::string>* lines)
{
    if (lines == nullptr || lines->empty()) return {};
    TLogItem item(aFirstHeader);
    item.AddHeader(caption);
    for (const std::string& line : *lines) {
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

void InsertSection(TReportTexts& texts, const std::string& sectionText)
{
    if (sectionText.empty()) return;
    const std::size_t headerLength = texts.ReportHeaderText.size();
    const std::size_t at = std::min(headerLength + kCRLF.size(), texts.FullReportText.size());
    texts.FullReportText.insert(at, sectionText);
    texts.ReportSendText = texts.FullReportText;
    texts.ReportHeaderText = texts.FullReportText.substr(0, headerLength + sectionText.size());
}

void BuildReportHeader(TReportContext& context)
{
    SetStage(702200);
    TReportHeaderValues values;
    values.ActiveControlsAllowed = !ReportSteps.IsWebApplication() && !ReportSteps.IsConsoleApplication();
    CollectSystemHeaderValues(values);
    ReportTextSources.CollectHeaderValues(context, values);
    values[soExcID] = ExceptionIdentifier();

    std::string header(kReportBannerText);
    SetCurrentCodePage(header);
    header += kCRLF;
    header += kCRLF;
    header += ReportHeaderSections(values, ReportOptions());
    ReportTexts().ReportHeaderText = std::move(header);
    SetStage(702233);
}

std::string BuildReportText(TReportContext& context)
{
    SetStage(7021);
    const TVexlorModuleOptions& options = ReportOptions();
    TReportTexts& texts = ReportTexts();
    context.TopText = options.GetCustomizedExpandedTexts(mtDialog_ErrorMsgCaption) + "\r\n\r\n";
    texts.ReportHeaderText.clear();
    context.CallStackText.clear();
    texts.CPUText.clear();
    texts.AssemblerText.clear();
    texts.AssemblerHeaderText.clear();

    SetStage(7022);
    BuildReportHeader(context);

    if (options.LogOptions().Contains(loSaveAssemblerAndCPUSections)) {
        ReportTextSources.BuildAssemblerAndCPU(context, texts);
    } else {
        // The empty assembler part and the registers table's empty form.
        texts.AssemblerHeaderText = CaptionAndRule(options.GetCustomizedExpandedTexts(mtDialog_AsmHeader));
        texts.CPUText = CaptionAndRule(options.GetCustomizedExpandedTexts(mtCPU_Registers)) + "\r\n\r\n";
    }
    ReportTextSources.BuildCallStackSections(context);

    std::string full;
    full.reserve(texts.ReportHeaderText.size() + context.CallStackText.size() + texts.AssemblerHeaderText.size() +
                 texts.AssemblerText.size() + texts.CPUText.size() + 3 * kCRLF.size());
    full += texts.ReportHeaderText;
    full += kCRLF;
    full += context.CallStackText;
    full += texts.AssemblerHeaderText;
    full += kCRLF;
    full += texts.AssemblerText;
    full += kCRLF;
    full += texts.CPUText;
    texts.FullReportText = std::move(full);
    texts.ReportSendText = texts.FullReportText;
    return texts.FullReportText;
}

void InsertTextSection(std::int32_t aFirstHeader, const std::string& caption, const std::string& text)
{
    const std::string section = InsertTextSectionText(aFirstHeader, caption, text);
    if (section.empty()) return;
    InsertSection(ReportTexts(), section);
    SetReportText(ReportTexts().FullReportText);
}

void InsertListSection(std::int32_t aFirstHeader, const std::string& caption, const std::vector<std::string>* lines)
{
    const std::string section = InsertListSectionText(aFirstHeader, caption, lines);
    if (section.empty()) return;
    InsertSection(ReportTexts(), section);
    SetReportText(ReportTexts().FullReportText);
}

void RegisterReportTextSteps() noexcept
{
    ReportSteps.BuildReportText.Set([](TReportContext& context) {
        SetStage(702);
        return BuildReportText(context);
    });
    ReportSteps.InsertTextSection.Set([](int firstHeader, const std::string& label, const std::string& text) {
        InsertTextSection(firstHeader, label, text);
    });
    ReportSteps.InsertListSection.Set([](int firstHeader, const std::string& label, const TVexlorStrings& list) {
        InsertListSection(firstHeader, label, &list.Strings());
    });
}

}  // namespace crash
