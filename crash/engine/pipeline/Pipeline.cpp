#include "crash/engine/pipeline/Pipeline.h"

#include <memory>

namespace crash {

namespace {

std::unique_ptr<TPipelineState> GState;

}  // namespace

TPipelineState* PipelineStateOrNull() noexcept
{
    return GState.get();
}

TPipelineState& PipelineState() noexcept
{
    return *GState;
}

void SetReportText(std::string Text)
{
    TPipelineState& state = PipelineState();
    state.ReportText = std::move(Text);
    state.LogTextStore = state.ReportText;
    state.Record.LogText = state.LogTextStore.data();
    state.Record.LogTextLength = static_cast<std::uint32_t>(state.LogTextStore.size());
}

void StartExceptionPipeline()
{
    if (GState) return;
    auto state = std::make_unique<TPipelineState>();
    state->Options = TVexlorModuleOptions::Create(std::string());
    GState = std::move(state);
}

void StopExceptionPipeline() noexcept
{
    GState.reset();
}

bool IsExceptionPipelineStarted() noexcept
{
    return GState != nullptr;
}

bool NotifyException(void*, void*, bool, TVexlorStackList*, bool, TAsynchronousException, HMODULE, TRaiserType,
                     EXCEPTION_RECORD*, CONTEXT*, std::uint32_t, std::uint32_t)
{
    return true;
}

}  // namespace crash
