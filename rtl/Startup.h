// The program's start-up and shut-down: one list of named steps, run by the
// program's entry point before anything else and undone before it returns.
//
// The list has three levels, always in this order: the runtime's own steps
// (this folder), then the crash reporter's, then the class library's. Each
// level is one table, set by the layer it belongs to; the runtime's is set
// here. Initialize runs every step's Init, level by level and in each table's
// order; Finalize runs the Done of every step whose Init came through, in the
// reverse order. Each step is guarded: a step that raises is reported (see
// StartupErrorProc) and the list goes on with the next one.
//
// Static initialisers order nothing across libraries, so nothing of start-up
// is left to them: a layer's only static initialiser is a TStartupRegistration,
// which stores a pointer into the list (constant-initialised, so ready before
// any static initialiser runs) and calls nothing. A DLL does not run the list.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <span>

namespace rtl {

enum class TStartupLevel : std::uint8_t {
    slRuntime,        // the runtime: main thread, raise path, main-thread calls
    slCrashReporter,  // the crash reporter's steps, after the runtime they hook into
    slClassLibrary,   // the class library: the application object
};
inline constexpr std::size_t kStartupLevelCount = 3;

struct TStartupStep {
    // "Unit.What", the name a failure is reported under.
    const char* Name;
    // May raise: the failure is reported and the step counts as not started.
    void (*Init)();
    // Undoes Init; null when there is nothing to undo. Runs only for a step
    // whose Init came through, and may raise like Init.
    void (*Done)();
};

enum class TStartupPhase : std::uint8_t { spInit, spDone };

// Called with every failing step; empty until the crash reporter sets it, and
// then the failure goes to the debugger output and the standard error.
using TStartupErrorProc = void (*)(const TStartupStep& step, TStartupPhase phase,
                                   const std::exception_ptr& error) noexcept;
extern std::atomic<TStartupErrorProc> StartupErrorProc;

// One list of levels. The program has one (ProgramStartup); tests make their own.
// Main thread only: the tables are set at static initialisation, the list is
// run by the entry point and undone before the program ends.
class TStartupList {
public:
    static constexpr std::size_t kMaxSteps = 32;  // per level

    constexpr TStartupList() = default;
    constexpr explicit TStartupList(std::span<const TStartupStep> runtimeSteps) noexcept
    {
        FLevels[static_cast<std::size_t>(TStartupLevel::slRuntime)] = runtimeSteps;
    }
    TStartupList(const TStartupList&) = delete;
    TStartupList& operator=(const TStartupList&) = delete;

    // Sets the table of a level; the table must live as long as the list (a
    // constant of the layer). False, and nothing changes, when the level has a
    // table already, the table has more than kMaxSteps steps, or the list has
    // started.
    bool SetSteps(TStartupLevel level, std::span<const TStartupStep> steps) noexcept;
    std::span<const TStartupStep> Steps(TStartupLevel level) const noexcept
    {
        return FLevels[static_cast<std::size_t>(level)];
    }

    // Runs the Init of every step, once: a second call does nothing.
    void Initialize() noexcept;
    // Runs the Done of the started steps in reverse, once, and only after
    // Initialize; a call from inside a step's Done does nothing.
    void Finalize() noexcept;

    // Whether the step's Init came through and its Done has not run yet.
    bool IsRunning(TStartupLevel level, std::size_t index) const noexcept;

private:
    enum class TState : std::uint8_t { lsIdle, lsStarting, lsRunning, lsStopping, lsStopped };

    std::span<const TStartupStep> FLevels[kStartupLevelCount]{};
    std::uint32_t FRunning[kStartupLevelCount]{};  // a bit per step
    TState FState = TState::lsIdle;
};

// The program's list, with the runtime's level set.
TStartupList& ProgramStartup() noexcept;

// A layer's table in the program's list: a namespace-scope constant of the
// layer's code that is linked whenever the layer is used.
class TStartupRegistration {
public:
    TStartupRegistration(TStartupLevel level, std::span<const TStartupStep> steps) noexcept;
};

// The first statement of every program's entry function (wWinMain, main, the
// tests' main): runs the program's list, and undoes it when the entry
// function returns, so that the forms, the application object and the
// threads they wait for are gone before static destruction begins.
class TProgramStartup {
public:
    TProgramStartup() noexcept { ProgramStartup().Initialize(); }
    ~TProgramStartup() { ProgramStartup().Finalize(); }
    TProgramStartup(const TProgramStartup&) = delete;
    TProgramStartup& operator=(const TProgramStartup&) = delete;
};

// Ends the program with the exit code after the program's list is undone:
// the standard streams are flushed and the process ends at once, its other
// threads stopped before anything of the program is taken down (no static
// destructor runs). The runtime's terminate handler ends the main thread this
// way, and so does the entry function of a program whose threads may still
// run when it ends.
[[noreturn]] void Halt(int exitCode) noexcept;

}  // namespace rtl
