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

const EXCEPTION_RECORD* SystemRecord(const TReportContext& context)
{
    if (context.Params != nullptr && context.Params->ExceptionRecord != nullptr) return context.Params->ExceptionRecord;
    const TPipelineState* state = PipelineStateOrNull();
    return state != nullptr ? state->Record.Win32ExceptionRecord : nullptr;
}

// An object of no class of ours reaches the report as a stand-in Exception
// that holds its what(): its own type's name is the context's.
bool IsStandIn(const TReportContext& context)
{
    const void* object = context.ExceptionObject;
    return !context.ExceptionClassName.empty() && IsValidObject(object) &&
           context.ExceptionClassName != SafeClassName(object) && !IsObjectOfClassName(object, "TActiveXException");
}

}  // namespace

std::string ApplicationNameText(TReportContext& /*Context*/)
{
    return ApplicationNameText(CallFromCOM());
}

std::string ExceptionAddressText(TReportContext& context)
{
    return ExceptionAddressText(context.ExceptionAddress);
}

std::string ExceptionModuleText(TReportContext& context)
{
    return ExceptionModuleText(context.ExceptionAddress, CallFromCOM(), ReportStackList());
}

std::string ExceptionModuleVersionText(TReportContext& context)
{
    return ExceptionModuleVersionText(context.ExceptionAddress, CallFromCOM(), ReportStackList());
}

std::string ExceptionClassText(TReportContext& context)
{
    if (IsStandIn(context)) {
        collectors::StoreCurrentExceptionClass(context.ExceptionClassName);
        return context.ExceptionClassName;
    }
    return ExceptionClassText(static_cast<const void*>(context.ExceptionObject));
}

std::string ExceptionMessageText(TReportContext& context)
{
    // A thrown object that is no exception at all (an int) has no text of its own.
    const auto* standIn = static_cast<const rtl::Exception*>(context.ExceptionObject);
    if (IsStandIn(context) && IsObjectOfClassName(standIn, "Exception") && standIn->Message().empty()) {
        const std::string text = "Unknown error message.";
        collectors::StoreCurrentExceptionMessage(text);
        return text;
    }
    return ExceptionMessageText(static_cast<const void*>(context.ExceptionObject), SystemRecord(context));
}

std::string ActiveControlClassText(TReportContext& context)
{
    return context.ActiveControlClass;
}

std::string ActiveControlText(TReportContext& context)
{
    return ActiveControlText(context.ActiveControlText);
}

void RegisterHeaderCollectorSteps()
{
    ReportSteps.ExceptionMessageText.Set([](TReportContext& context) { return ExceptionMessageText(context); });
    ReportSteps.ExceptionClassText.Set([](TReportContext& context) { return ExceptionClassText(context); });
    ReportSteps.CleanMessageText.Set([](const std::string& text) { return CleanMessageText(text); });
    ReportSteps.ApplicationNameText.Set([](TReportContext& context) { return ApplicationNameText(context); });
    ReportSteps.ExceptionModuleText.Set([](TReportContext& context) { return ExceptionModuleText(context); });
}

}  // namespace crash
