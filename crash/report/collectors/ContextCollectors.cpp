// The exception's collectors over the report in progress, and the pipeline
// slots they fill.
#include "crash/engine/ExceptionLog.h"
#include "crash/engine/ReportSteps.h"
#include "crash/engine/pipeline/ReportContext.h"
#include "crash/report/collectors/CollectorsInternal.h"

namespace crash {

namespace {

bool CallFromCOM()
{
    const TPipelineState* state = PipelineStateOrNull();
    return state != nullptr && state->CallFromCOMObject;
}

const TVexlorStackList* ReportStackList()
{
    const TPipelineState* state = PipelineStateOrNull();
    return state != nullptr ? state->Record.CallStack : nullptr;
}

const EXCEPTION_RECORD* SystemRecord(const TReportContext& Context)
{
    if (Context.Params != nullptr && Context.Params->ExceptionRecord != nullptr) return Context.Params->ExceptionRecord;
    const TPipelineState* state = PipelineStateOrNull();
    return state != nullptr ? state->Record.Win32ExceptionRecord : nullptr;
}

// An object of no class of ours reaches the report as a stand-in Exception
// that holds its what(): its own type's name is the context's.
bool IsStandIn(const TReportContext& Context)
{
    const void* object = Context.ExceptionObject;
    return !Context.ExceptionClassName.empty() && IsValidObject(object) &&
           Context.ExceptionClassName != SafeClassName(object) && !IsObjectOfClassName(object, "TActiveXException");
}

}  // namespace

std::string ApplicationNameText(TReportContext& /*Context*/)
{
    return ApplicationNameText(CallFromCOM());
}

std::string ExceptionAddressText(TReportContext& Context)
{
    return ExceptionAddressText(Context.ExceptionAddress);
}

std::string ExceptionModuleText(TReportContext& Context)
{
    return ExceptionModuleText(Context.ExceptionAddress, CallFromCOM(), ReportStackList());
}

std::string ExceptionModuleVersionText(TReportContext& Context)
{
    return ExceptionModuleVersionText(Context.ExceptionAddress, CallFromCOM(), ReportStackList());
}

std::string ExceptionClassText(TReportContext& Context)
{
    if (IsStandIn(Context)) {
        collectors::StoreCurrentExceptionClass(Context.ExceptionClassName);
        return Context.ExceptionClassName;
    }
    return ExceptionClassText(static_cast<const void*>(Context.ExceptionObject));
}

std::string ExceptionMessageText(TReportContext& Context)
{
    // A thrown object that is no exception at all (an int) has no text of its own.
    const auto* standIn = static_cast<const rtl::Exception*>(Context.ExceptionObject);
    if (IsStandIn(Context) && IsObjectOfClassName(standIn, "Exception") && standIn->Message().empty()) {
        const std::string text = "Unknown error message.";
        collectors::StoreCurrentExceptionMessage(text);
        return text;
    }
    return ExceptionMessageText(static_cast<const void*>(Context.ExceptionObject), SystemRecord(Context));
}

std::string ActiveControlClassText(TReportContext& Context)
{
    return Context.ActiveControlClass;
}

std::string ActiveControlText(TReportContext& Context)
{
    return ActiveControlText(Context.ActiveControlText);
}

void RegisterHeaderCollectorSteps()
{
    ReportSteps.ExceptionMessageText.Set([](TReportContext& Context) { return ExceptionMessageText(Context); });
    ReportSteps.ExceptionClassText.Set([](TReportContext& Context) { return ExceptionClassText(Context); });
    ReportSteps.CleanMessageText.Set([](const std::string& Text) { return CleanMessageText(Text); });
    ReportSteps.ApplicationNameText.Set([](TReportContext& Context) { return ApplicationNameText(Context); });
    ReportSteps.ExceptionModuleText.Set([](TReportContext& Context) { return ExceptionModuleText(Context); });
}

}  // namespace crash
