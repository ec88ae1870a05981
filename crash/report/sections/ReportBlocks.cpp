// The report's table and listing blocks over the report context.
#include <algorithm>

#include "crash/engine/stack/CallStack.h"
#include "crash/report/sections/ReportSections.h"
#include "rtl/SyncObjs.h"

namespace crash {

namespace {

void PipelineStage(std::int32_t Stage) noexcept
{
    if (TPipelineState* state = PipelineStateOrNull()) state->Stage = Stage;
}

template <std::size_t N>
void CopyWidths(std::array<std::int32_t, N>& To, const std::int32_t (&From)[N])
{
    std::copy(std::begin(From), std::end(From), To.begin());
}

}  // namespace

void BuildCallStackSections(TReportContext& Context, const TVexlorStackList* Stack, int ThreadCount,
                            const TVexlorModuleOptions& Options)
{
    TCallStackTable calls = BuildCallStackBlock(Stack, ThreadCount, Options, PipelineStage);
    CopyWidths(Context.CallStackWidths, calls.Widths);
    Context.CallStackDashRule = std::move(calls.DashRule);
    Context.CallStackText += calls.Text;
    if (!Options.LogOptions().Contains(loSaveModulesAndProcessesSections)) {
        Context.CallStackText += EmptyTableText(Options.GetCustomizedExpandedTexts(mtDialog_ModulesHeader)) +
                                 EmptyTableText(Options.GetCustomizedExpandedTexts(mtDialog_ProcessesHeader));
        return;
    }
    TModulesTable modules;
    if (TVexlorModulesList* list = ModulesList()) {
        rtl::TCriticalSectionLock lock(ModulesListLock());
        modules = BuildModulesBlock(*list, Options);
    } else {
        modules = BuildModulesBlock(TVexlorModulesList(), Options);
    }
    CopyWidths(Context.ModulesWidths, modules.Widths);
    Context.ModulesDashRule = std::move(modules.DashRule);
    Context.CallStackText += modules.Text;
    TVexlorProcessesList none;
    TVexlorProcessesList* processList = ProcessesList();
    TProcessesTable processes = BuildProcessesBlock(processList ? *processList : none, Options);
    CopyWidths(Context.ProcessesWidths, processes.Widths);
    Context.ProcessesDashRule = std::move(processes.DashRule);
    Context.CallStackText += processes.Text;
}

void BuildAssemblerAndCPUSections(const TReportContext& Context, const TVexlorModuleOptions& Options,
                                  std::string& AssemblerHeaderText, std::string& AssemblerText, std::string& CPUText)
{
    if (!Options.LogOptions().Contains(loSaveAssemblerAndCPUSections)) {
        const std::string caption = Options.GetCustomizedExpandedTexts(mtDialog_AsmHeader);
        AssemblerHeaderText = caption + ":\r\n" + std::string(caption.size() + 1, '-');
        AssemblerText.clear();
        CPUText = EmptyTableText(Options.GetCustomizedExpandedTexts(mtCPU_Registers));
        return;
    }
    const auto address = reinterpret_cast<std::uintptr_t>(Context.ExceptionAddress);
    AssemblerText = BuildAssemblerListing(address, Options, AssemblerHeaderText);
    CPUText = BuildCPUText(Context.Context, Context.StackPoint, address, Options);
}

}  // namespace crash
