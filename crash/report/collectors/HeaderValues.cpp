// All the collectors' items of one report header at once.
#include "crash/engine/ExceptionLog.h"
#include "crash/engine/pipeline/ReportContext.h"
#include "crash/report/collectors/HeaderCollectors.h"

namespace crash {

void CollectHeaderValues(TReportContext& Context, THeaderValues& Values, const TShowOptions& Shown)
{
    auto put = [&](TShowOption Option, auto&& Collect) {
        if (Shown.Contains(Option)) Values[Option] = Collect();
    };
    put(soAppName, [&] { return ApplicationNameText(Context); });
    put(soAppParameters, [] { return CommandLineParametersText(); });
    put(soAppCompilationDate, [] { return CompilationDateText(); });
    put(soExcAddress, [&] { return ExceptionAddressText(Context); });
    put(soExcModuleName, [&] { return ExceptionModuleText(Context); });
    put(soExcModuleVersion, [&] { return ExceptionModuleVersionText(Context); });
    Values[soExcType] = ExceptionClassText(Context);
    Values[soExcMessage] = ExceptionMessageText(Context);
    put(soUserEmail, [] { return UserEmailText(); });
    put(soUserCompany, [] { return UserCompanyText(); });
    put(soUserPrivileges, [] { return UserPrivilegesText(); });
    put(soActCtlsFormClass, [] { return ForegroundFormClassText(); });
    put(soActCtlsFormText, [] { return ForegroundFormText(); });
    put(soActCtlsControlClass, [&] { return ActiveControlClassText(Context); });
    put(soActCtlsControlText, [&] { return ActiveControlText(Context); });
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
    for (const TShowOption option : kNetwork) networkShown = networkShown || Shown.Contains(option);
    if (networkShown) {
        const TNetworkTexts network = NetworkInfoTexts();
        for (std::size_t i = 0; i < std::size(kNetwork); ++i)
            if (Shown.Contains(kNetwork[i])) Values[kNetwork[i]] = network[kNetworkItems[i]];
    }
}

void CollectHeaderValues(TReportContext& Context, THeaderValues& Values)
{
    const TPipelineState* state = PipelineStateOrNull();
    CollectHeaderValues(Context, Values,
                        state != nullptr && state->Options ? state->Options->ShowOptions() : TShowOptions::All());
}

}  // namespace crash
