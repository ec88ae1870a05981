// The pipeline's own steps for the slots that must not stay empty: the text
// of a report without the report layer, the identifier's texts, and a system
// message box, so that no exception ever goes unseen.
#include "crash/engine/ECore.h"
#include "crash/engine/system/SystemInfo.h"
#include "crash/engine/modules/ModuleLists.h"
#include "crash/engine/pipeline/PipelineInternal.h"
#include "rtl/SysUtils.h"

namespace crash::pipeline {
namespace {

std::string FileNameOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string DefaultExceptionClassText(TReportContext& context)
{
    return context.ExceptionClassName.empty() ? rtl::SafeClassName(context.ExceptionObject)
                                              : context.ExceptionClassName;
}

std::string DefaultExceptionMessageText(TReportContext& context)
{
    const rtl::TObject* object = rtl::AsValidTObject(context.ExceptionObject);
    const auto* exception = object != nullptr ? dynamic_cast<const rtl::Exception*>(object) : nullptr;
    return exception != nullptr ? exception->Message() : std::string();
}

std::string DefaultCleanMessageText(const std::string& text)
{
    std::string clean = text;
    for (char& c : clean)
        if (static_cast<unsigned char>(c) < 32 && c != '\r' && c != '\n') c = ' ';
    return clean;
}

std::string DefaultApplicationNameText(TReportContext&)
{
    return FileNameOf(GetModuleFullFileName(::GetModuleHandleW(nullptr)));
}

std::string DefaultExceptionModuleText(TReportContext& context)
{
    return FileNameOf(GetModuleFullFileName(ModuleHandleByAddr(context.ExceptionAddress)));
}

std::string DefaultReportText(TReportContext& context)
{
    return DefaultExceptionClassText(context) + ": " + DefaultExceptionMessageText(context);
}

void DefaultShowExceptionBox(TReportContext&, bool)
{
    TPipelineState& state = PipelineState();
    state.CrashDialogUp = true;
    ::MessageBoxA(nullptr, state.ReportText.c_str(), "Error", MB_OK | MB_ICONERROR | MB_TASKMODAL | MB_TOPMOST);
    state.CrashDialogUp = false;
    state.DialogKind = edtNone;
}

}  // namespace crash::pipeline
