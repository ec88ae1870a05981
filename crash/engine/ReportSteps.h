// The report steps: the exception pipeline's calls into the layers above the
// engine.
//
// The pipeline runs in the engine, but the steps it runs for a report (the
// report's text, the dialogs, the log, the delivery) belong to crash/report
// and crash/delivery, which rest on the engine. So the engine never calls
// them by name: each step is a slot of ReportSteps that its layer fills at
// start-up (a step of the crash reporter's level of the program's start-up
// list, rtl/Startup.h), and the pipeline skips a slot that is still empty. No
// layer then depends on one above it; the program links all three.
//
// A slot is set once, at start-up, before any report; setting it is an atomic
// store, so a report running meanwhile on another thread sees the old or the
// new step, never a torn one.
#pragma once
#include <atomic>
#include <type_traits>
#include <utility>

namespace crash {

template <class TSignature>
class TReportStep;

// One slot: a function of the given signature, or nothing.
template <class TResult, class... TArgs>
class TReportStep<TResult(TArgs...)> {
public:
    using TProc = TResult (*)(TArgs...);

    constexpr TReportStep() noexcept = default;
    TReportStep(const TReportStep&) = delete;
    TReportStep& operator=(const TReportStep&) = delete;

    void Set(TProc proc) noexcept { FProc.store(proc, std::memory_order_release); }
    TProc Get() const noexcept { return FProc.load(std::memory_order_acquire); }
    explicit operator bool() const noexcept { return Get() != nullptr; }

    // Runs the step. An empty slot is skipped and answers an empty result
    // (TResult{}): a layer that is not there adds nothing to the report.
    TResult operator()(TArgs... args) const
    {
        if (const TProc proc = Get()) return proc(std::forward<TArgs>(args)...);
        if constexpr (!std::is_void_v<TResult>) return TResult{};
    }

private:
    std::atomic<TProc> FProc{nullptr};
};

// The slots the pipeline calls, one TReportStep each. They come with the
// pipeline, each with the signature its step needs.
struct TReportSteps {
    // Computes the current report's duplicate flag again; with Increment it
    // also counts the repetition in the log. After every main-thread call it
    // runs without counting.
    TReportStep<void(bool Increment)> CountDuplicateError;
};

inline TReportSteps ReportSteps;

}  // namespace crash
