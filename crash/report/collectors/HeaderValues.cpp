// All the collectors' items of one report header at once.
#include "crash/engine/ExceptionLog.h"
#include "crash/engine/pipeline/ReportContext.h"
#include "crash/report/collectors/HeaderCollectors.h"

namespace crash {

void CollectHeaderValues(TReportContext& context, THeaderValues& values, const TShowOptions& shown)
{
    auto put = [&](TShowOption option, auto&& collect) {
        if (shown.Contains(option)) values[option] = collect();
    };
    put(soAppName, [&] { return ApplicationNameText(context); });
    put(soAppParameters, [] { return CommandLineParametersText(); });
    put(soAppCompilationDate, [] { return CompilationDateText(); });
    put(soExcAddress, [&] { return ExceptionAddressText(context); });
    put(soExcModuleName, [&] { return ExceptionModuleText(context); });
    put(soExcModuleVersion, [&] { return ExceptionModuleVersionText(context); });
    values[soExcType] = ExceptionClassText(context);
    values[soExcMessage] = ExceptionMessageText(context);
    put(soUserEmail, [] { return UserEmailText(); });
    put(soUserCompany, [] { return UserCompanyText(); });
    put(soUserPrivileges, [] { return UserPrivilegesText(); });
    put(soActCtlsFormClass, [] { return ForegroundFormClassText(); });
    put(soActCtlsFormText, [] { return ForegroundFormText(); });
    put(soActCtlsControlClass, [&] { return ActiveControlClassText(context); });
    put(soActCtlsControlText, [&] { return ActiveControlText(context); });
    put(soCmpTotalMemory, [] { return TotalMemoryText(); });
    put(soCmpFreeMemory, [] { return FreeMemoryText(); });
    put(soCmpTotalDisk, [] { return TotalDiskText(); });
    put(soCmpFreeDisk, [] { return FreeDiskText(); });
    put(soCmpProcessor, [] { return ProcessorText(); });
    put(soCmpDisplayMode, [] { return DisplayModeText(); });
    put(soCmpDisplayDPI, [] { return DisplayDPIText(); });
    put(soCmpVideoCard, [] { return VideoCardText(); });
    put(soCmpPrinter, [] { return PrinterText(); });
    put(soOSLanguage, [] { return SystemLanguageText(); });
    put(soOSCharset, [] { return CharsetText(); });
    static constexpr TShowOption kNetwork[] = {soNetIP, soNetSubmask, soNetGateway, soNetDNS1, soNetDNS2, soNetDHCP};
    static constexpr TNetworkItem kNetworkItems[] = {niIP, niMask, niGateway, niDNS1, niDNS2, niDHCP};
    bool networkShown = false;
    for (const TShowOption option : kNetwork) networkShown = networkShown || shown.Contains(option);
    if (networkShown) {
        const TNetworkTexts network = NetworkInfoTexts();
        for (std::size_t i = 0; i < std::size(kNetwork); ++i)
            if (shown.Contains(kNetwork[i])) values[kNetwork[i]] = network[kNetworkItems[i]];
    }
}

void CollectHeaderValues(TReportContext& context, THeaderValues& values)
{
    const TPipelineState* state = PipelineStateOrNull();
    CollectHeaderValues(context, values,
                        state != nullptr && state->Options ? state->Options->ShowOptions() : TShowOptions::All());
}

}  // namespace crash
