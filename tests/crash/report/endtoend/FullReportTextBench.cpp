// Times the whole report text as a report builds it, with every unit of the
// report layer registered by the crash reporter's start-up: BuildReportText
// with the default sections for 10 threads of 20 frames, 50 modules and 100
// processes (the running program's own modules and processes, filled up to
// those numbers with records of their shape), and the header's collectors
// alone, and the other blocks alone (after the whole text, so that only its
// first run pays the first lookups; "parts-first" turns the order round).
// Prints the first run and the median of 20 in milliseconds; a figure,
// not a check.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "crash/engine/ExceptionLog.h"
#include "crash/engine/modules/ModuleLists.h"
#include "crash/engine/pipeline/ReportContext.h"
#include "crash/engine/stack/CallStack.h"
#include "crash/report/ELogManager.h"
#include "crash/report/collectors/HeaderCollectors.h"
#include "rtl/Classes.h"
#include "rtl/Startup.h"
#include "rtl/SysUtils.h"

namespace {

using namespace crash;

constexpr int kThreads = 10;
constexpr int kFrames = 20;
constexpr int kModules = 50;
constexpr int kProcesses = 100;

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double TimeOnce(const std::function<void()>& work)
{
    LARGE_INTEGER from;
    LARGE_INTEGER to;
    QueryPerformanceCounter(&from);
    work();
    QueryPerformanceCounter(&to);
    return Milliseconds(from, to);
}

// First run, then the median of the next 20.
void Figure(const char* name, const std::function<void()>& work)
{
    const double first = TimeOnce(work);
    std::vector<double> runs;
    for (int i = 0; i < 20; ++i) runs.push_back(TimeOnce(work));
    std::sort(runs.begin(), runs.end());
    std::printf("%-44s first %9.3f ms, median of 20 %9.3f ms\n", name, first, (runs[9] + runs[10]) / 2);
}

// The call stack of a report of this size: the exception thread first, then
// nine running threads, the first of them the main thread; frames of the
// program with source lines, every fifth one in a system library.
std::unique_ptr<TVexlorStackList> MakeCallStack(TVexlorModuleInfo* program, TVexlorModuleInfo* system)
{
    auto stack = std::make_unique<TVexlorStackList>();
    for (int thread = 0; thread < kThreads; ++thread) {
        const std::uint32_t id = thread == 1 ? rtl::MainThreadID() : 0x1000 + static_cast<std::uint32_t>(thread);
        for (int frame = 0; frame < kFrames; ++frame) {
            auto item = std::make_unique<TVexlorDebugInfo>();
            const bool inSystem = frame % 5 == 4;
            item->DebugDetail = inSystem ? ddProcedure : ddSourceCode;
            item->ModuleInfo = inSystem ? system : program;
            item->ThreadID = id;
            item->RunningThread = true;
            item->ErrorLine = thread == 0;
            item->Addr = (inSystem ? 0x7B400000u : 0x00401000u) + static_cast<std::uint32_t>(frame * 0x40 + thread);
            item->UnitName.Assign(inSystem ? "" : "calibration\\TankTableCalibration.cpp");
            item->ClassName.Assign(frame % 3 == 0 ? "TTankTableCalibrator" : "");
            item->ProcedureName.Assign(inSystem ? "WaitForSingleObject"
                                                : "StepThroughTheTable" + std::to_string(frame));
            item->Line = inSystem ? 0 : 100u + static_cast<std::uint32_t>(frame * 7);
            item->ProcOffsetLine = inSystem ? 0 : static_cast<std::uint32_t>(frame % 4);
            stack->Add(std::move(item));
        }
    }
    return stack;
}

void FillModules()
{
    rtl::TCriticalSectionLock lock(ModulesListLock());
    TVexlorModulesList& modules = *ModulesList();
    for (std::uint32_t i = 0; modules.Count() < kModules; ++i) {
        auto module = std::make_unique<TVexlorModuleInfo>();
        module->Handle = 0x10000000u + i * 0x100000u;
        module->Name = "C:\\Program Files\\Volumetra\\plugins\\TankProfile" + std::to_string(i) + ".dll";
        module->Description = "Tank profile reader " + std::to_string(i);
        module->Version = "2.4." + std::to_string(i) + ".118";
        module->Size = 180224 + i * 4096;
        module->LastModified = 45200.25 + i;
        module->ModuleType = TVexlorModuleType::mtOSLibrary;
        modules.Add(std::move(module));
    }
}

void FillProcesses()
{
    TVexlorProcessesList& processes = *ProcessesList();
    for (std::uint32_t i = 0; processes.Count() < kProcesses; ++i) {
        auto process = std::make_unique<TVexlorProcessInfo>();
        process->ProcessID = 0x4000u + i * 4;
        process->Name = "C:\\windows\\system32\\service" + std::to_string(i) + ".exe";
        process->Description = "Service host " + std::to_string(i);
        process->Version = "6.1.7601." + std::to_string(i);
        process->Priority = i % 7 == 0 ? 128 : 32;
        process->Memory = 4096u * (300 + i);
        process->Threads = 3 + i % 12;
        processes.Add(std::move(process));
    }
}

__attribute__((noinline)) void FaultingPlace(CONTEXT& context)
{
    ::RtlCaptureContext(&context);
}

}  // namespace

int main(int argc, char** argv)
{
    const rtl::TProgramStartup programStartup;
    if (PipelineStateOrNull() == nullptr || !PipelineState().Installed) {
        std::printf("the crash reporter is not in force: no data block\n");
        return 1;
    }
    // The lists as a report refreshes them, then filled up.
    RefreshModulesList();
    RefreshProcessesList();
    FillModules();
    FillProcesses();
    TVexlorModuleInfo* program = ModuleInfoByHandle(::GetModuleHandleW(nullptr));
    TVexlorModuleInfo* system = ModuleInfoByHandle(::GetModuleHandleW(L"kernel32.dll"));
    const std::unique_ptr<TVexlorStackList> stack = MakeCallStack(program, system);

    const rtl::Exception error("Tank table row 7 is out of order");
    CONTEXT cpu{};
    FaultingPlace(cpu);
    TPipelineState& state = PipelineState();
    state.ExceptionIdentifier = "4F2A";
    state.ExceptionThreadID = ::GetCurrentThreadId();
    state.Record.CallStack = stack.get();
    state.Record.CurrentModuleOptions = state.Options.get();
    state.Record.Win32Context = &cpu;
    ::GetLocalTime(&state.ExceptionTime);
    auto report = [&](TReportContext& context) {
        context.ExceptionObject = const_cast<rtl::Exception*>(&error);
        context.ExceptionClassName = "Exception";
        context.ExceptionAddress = reinterpret_cast<void*>(cpu.Eip);
        context.Context = &cpu;
        context.NativeException = true;
        context.RaiserType = rtLocal;
        context.ModuleHandle = ::GetModuleHandleW(nullptr);
    };

    std::size_t length = 0;
    std::printf("report of %d threads x %d frames, %d modules, %d processes, default sections\n", kThreads, kFrames,
                ModulesList()->Count(), ProcessesList()->Count());
    // "parts-first": the parts before the whole text, so that their first
    // runs pay the first lookups.
    const bool partsFirst = argc > 1 && std::string(argv[1]) == "parts-first";
    auto whole = [&] {
        Figure("BuildReportText", [&] {
            TReportContext context;
            report(context);
            length = BuildReportText(context).size();
        });
        std::printf("  (%u bytes of text)\n", static_cast<unsigned>(length));
    };
    auto parts = [&] {
        Figure("header collectors (CollectHeaderValues)", [&] {
            TReportContext context;
            report(context);
            THeaderValues values;
            CollectHeaderValues(context, values);
        });
        Figure("header with its layout (BuildReportHeader)", [&] {
            TReportContext context;
            report(context);
            BuildReportHeader(context);
        });
        Figure("call-stack, modules and processes blocks", [&] {
            TReportContext context;
            report(context);
            ReportTextSources.BuildCallStackSections(context);
        });
        Figure("assembler and CPU blocks", [&] {
            TReportContext context;
            report(context);
            TReportTexts texts;
            ReportTextSources.BuildAssemblerAndCPU(context, texts);
        });
    };
    if (partsFirst) {
        parts();
        whole();
    } else {
        whole();
        parts();
    }
    state.Record = TVexlorExceptionRecord{};
    return 0;
}
