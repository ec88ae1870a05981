#include "crash/report/ReportLayer.h"

#include <set>
#include <string>
#include <vector>

#include "crash/engine/pipeline/ReportContext.h"
#include "crash/engine/stack/CallStack.h"
#include "crash/report/ELogManager.h"
#include "crash/report/appkind/ApplicationKind.h"
#include "crash/report/collectors/HeaderCollectors.h"
#include "crash/report/events/ReportEvents.h"
#include "crash/report/files/ReportFiles.h"
#include "crash/report/log/LogFile.h"
#include "crash/report/sections/ReportSections.h"
#include "crash/report/web/WebErrorPage.h"
#include "crash/report/xml/LogXML.h"

namespace crash {

namespace {

// The threads the report's call stack holds: the rows the call-stack table
// reserves for their headers.
int ThreadsInStack(const TVexlorStackList* stack)
{
    if (stack == nullptr) return 0;
    std::set<std::uint32_t> threads;
    for (int i = 0; i < stack->Count(); ++i) threads.insert(stack->GetItem(i)->ThreadID);
    return static_cast<int>(threads.size());
}

void CallStackSections(TReportContext& context)
{
    const TVexlorStackList* stack = PipelineState().Record.CallStack;
    BuildCallStackSections(context, stack, ThreadsInStack(stack), ReportOptions());
}

void AssemblerAndCPU(TReportContext& context, TReportTexts& texts)
{
    BuildAssemblerAndCPUSections(context, ReportOptions(), texts.AssemblerHeaderText, texts.AssemblerText,
                                 texts.CPUText);
}

std::string XMLCopyOfLog(const TLogFile& log)
{
    std::vector<std::string> entries;
    entries.reserve(static_cast<std::size_t>(log.Count()));
    for (int i = 0; i < log.Count(); ++i) entries.push_back(log.GetItem(i));
    return logxml::GetXML(entries, log.Password());
}

void HeaderValues(TReportContext& context, TReportHeaderValues& values)
{
    CollectHeaderValues(context, values.Values);
}

// The server a web program answers: an ISAPI library's control block comes
// from the framework's hooks, which record the request being served.
TWebServerTarget WebServerTarget()
{
    TWebServerTarget target;
    if (IsISAPIApplication()) {
        target.Kind = wakISAPI;
    } else if (IsCGIApplication()) {
        target.Kind = wakCGI;
    } else if (std::string output = WinCGIOutputFile(); !output.empty()) {
        target.Kind = wakWinCGI;
        target.WinCGIOutputFile = std::move(output);
    }
    return target;
}

}  // namespace

void RegisterReportLayerSteps()
{
    RegisterApplicationKindSteps();
    RegisterHeaderCollectorSteps();
    RegisterReportTextSteps();
    RegisterReportEventSteps();
    RegisterReportFilesSteps();
    RegisterWebErrorPageSteps();
    WebServerTargetStep.Set(&WebServerTarget);
    ReportTextSources.CollectHeaderValues.Set(&HeaderValues);
    ReportTextSources.BuildCallStackSections.Set(&CallStackSections);
    ReportTextSources.BuildAssemblerAndCPU.Set(&AssemblerAndCPU);
    LogFileSteps.XMLCopy.Set(&XMLCopyOfLog);
}

}  // namespace crash
