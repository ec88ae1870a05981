// The report's table and listing blocks over the report context.
#include <algorithm>

#include "crash/engine/stack/CallStack.h"
#include "crash/report/sections/ReportSections.h"
#include "rtl/SyncObjs.h"

namespace crash {

namespace {

void PipelineStage(std::int32_t stage) noexcept
{
    if (TPipelineState* state = PipelineStateOrNull()) state->Stage = stage;
}

template <std::size_t N>
void CopyWidths(std::array<std::int32_t, N>& to, const std::int32_t (&from)[N])
{
    std::copy(std::begin(from), std::end(from), to.begin());
}

}  // namespace

void BuildCallStackSections(TReportContext& context, const TVexlorStackList* stack, int threadCount,
                            const TVexlorModuleOptions& options)
{
    TCallStackTable calls = BuildCallStackBlock(stack, threadCount, options, PipelineStage);
    CopyWidths(context.CallStackWidths, calls.Widths);
    context.CallStackDashRule = std::move(calls.DashRule);
    context.CallStackText += calls.Text;
    if (!options.LogOptions().Contains(loSaveModulesAndProcessesSections)) {
        context.CallStackText += EmptyTableText(options.GetCustomizedExpandedTexts(mtDialog_ModulesHeader)) +
                                 EmptyTableText(options.GetCustomizedExpandedTexts(mtDialog_ProcessesHeader));
        return;
    }
    TModulesTable modules;
    if (TVexlorModulesList* list = ModulesList()) {
        rtl::TCriticalSectionLock lock(ModulesListLock());
        modules = BuildModulesBlock(*list, options);
    } else {
        modules = BuildModulesBlock(TVexlorModulesList(), options);
    }
    CopyWidths(context.ModulesWidths, modules.Widths);
    context.ModulesDashRule = std::move(modules.DashRule);
    context.CallStackText += modules.Text;
    TVexlorProcessesList none;
    TVexlorProcessesList* processList = ProcessesList();
    TProcessesTable processes = BuildProcessesBlock(processList ? *processList : none, options);
    CopyWidths(context.ProcessesWidths, processes.Widths);
    context.ProcessesDashRule = std::move(processes.DashRule);
    context.CallStackText += processes.Text;
}

void BuildAssemblerAndCPUSections(const TReportContext& context, const TVexlorModuleOptions& options,
                                  std::string& assemblerHeaderText, std::string& assemblerText, std::string& cpuText)
{
    if (!options.LogOptions().Contains(loSaveAssemblerAndCPUSections)) {
        const std::string caption = options.GetCustomizedExpandedTexts(mtDialog_AsmHeader);
        assemblerHeaderText = caption + ":\r\n" + std::string(caption.size() + 1, '-');
        assemblerText.clear();
        cpuText = EmptyTableText(options.GetCustomizedExpandedTexts(mtCPU_Registers));
        return;
    }
    const auto address = reinterpret_cast<std::uintptr_t>(context.ExceptionAddress);
    assemblerText = BuildAssemblerListing(address, options, assemblerHeaderText);
    cpuText = BuildCPUText(context.Context, context.StackPoint, address, options);
}

}  // namespace crash
