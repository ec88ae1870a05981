// The program's start-up list and the runtime's own steps.
#include "rtl/Startup.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "rtl/ExceptHooks.h"
#include "rtl/StartupInternal.h"
#include "rtl/SysUtils.h"

namespace rtl {

std::atomic<TStartupErrorProc> StartupErrorProc{nullptr};

namespace {

// The main thread first: the terminate handler and the main-thread calls ask
// for it. The main-thread calls last: their hidden window is the first thing
// a worker needs.
constexpr TStartupStep kRuntimeSteps[] = {
    {"Classes.MainThread", detail::InitMainThread, nullptr},
    {"System.ExceptionHooks", InstallExceptionHooks, nullptr},
    {"Classes.Synchronize", detail::InitSynchronize, detail::DoneSynchronize},
};

constinit TStartupList gProgramStartup{kRuntimeSteps};

std::string ErrorText(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const Exception& e) {
        return e.Message();
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "an exception that is no object of ours";
    }
}

void ReportFailure(const TStartupStep& step, TStartupPhase phase, const std::exception_ptr& error) noexcept
{
    if (const TStartupErrorProc proc = StartupErrorProc.load(std::memory_order_acquire)) {
        proc(step, phase, error);
        return;
    }
    try {
        const std::string text = std::string("rtl: the ") +
                                 (phase == TStartupPhase::spInit ? "start-up" : "shut-down") + " step \"" + step.Name +
                                 "\" failed: " + ErrorText(error) + "\n";
        ::OutputDebugStringA(text.c_str());
        std::fputs(text.c_str(), stderr);
        std::fflush(stderr);
    } catch (...) {
        // No memory for the text: the step stays unreported.
    }
}

// The guard around one step: its exception stops the step, never the list.
bool RunGuarded(const TStartupStep& step, TStartupPhase phase) noexcept
{
    void (*const proc)() = phase == TStartupPhase::spInit ? step.Init : step.Done;
    if (proc == nullptr) return true;
    try {
        proc();
        return true;
    } catch (...) {
        ReportFailure(step, phase, std::current_exception());
        return false;
    }
}

}  // namespace

bool TStartupList::SetSteps(TStartupLevel level, std::span<const TStartupStep> steps) noexcept
{
    std::span<const TStartupStep>& slot = FLevels[static_cast<std::size_t>(level)];
    if (FState != TState::lsIdle || !slot.empty() || steps.size() > kMaxSteps) return false;
    slot = steps;
    return true;
}

void TStartupList::Initialize() noexcept
{
    if (FState != TState::lsIdle) return;
    FState = TState::lsStarting;
    for (std::size_t level = 0; level < kStartupLevelCount; ++level) {
        for (std::size_t index = 0; index < FLevels[level].size(); ++index) {
            if (RunGuarded(FLevels[level][index], TStartupPhase::spInit)) FRunning[level] |= 1u << index;
        }
    }
    FState = TState::lsRunning;
}

void TStartupList::Finalize() noexcept
{
    if (FState != TState::lsRunning) return;
    FState = TState::lsStopping;
    for (std::size_t level = kStartupLevelCount; level-- > 0;) {
        for (std::size_t index = FLevels[level].size(); index-- > 0;) {
            if ((FRunning[level] & (1u << index)) == 0) continue;
            FRunning[level] &= ~(1u << index);
            RunGuarded(FLevels[level][index], TStartupPhase::spDone);
        }
    }
    FState = TState::lsStopped;
}

bool TStartupList::IsRunning(TStartupLevel level, std::size_t index) const noexcept
{
    return index < kMaxSteps && (FRunning[static_cast<std::size_t>(level)] & (1u << index)) != 0;
}

TStartupList& ProgramStartup() noexcept
{
    return gProgramStartup;
}

TStartupRegistration::TStartupRegistration(TStartupLevel level, std::span<const TStartupStep> steps) noexcept
{
    if (!gProgramStartup.SetSteps(level, steps)) {
        // Two tables for one level: a build that links two copies of a layer.
        ::OutputDebugStringA("rtl: a second table of start-up steps for one level is ignored\n");
    }
}

void Halt(int exitCode) noexcept
{
    gProgramStartup.Finalize();
    // Not std::exit: the C runtime's exit runs the static destructors and
    // takes the exception tables away while the program's other threads still
    // run, and a thread that throws then ends the whole process with the
    // abort code. ExitProcess stops the other threads first.
    std::fflush(nullptr);
    ::ExitProcess(static_cast<UINT>(exitCode));
}

}  // namespace rtl
