// The header items whose values the engine's system facts give: the
// application's start and up time and version, the exception's date, the
// user's login and the registered owner, the computer's name and up time,
// and the system's type, build and update.
#include <windows.h>

#include "crash/engine/modules/ModuleLists.h"
#include "crash/engine/pipeline/ReportContext.h"
#include "crash/engine/system/SystemInfo.h"
#include "crash/report/ELogManager.h"
#include "crash/report/collectors/HeaderCollectors.h"
#include "rtl/SysUtils.h"

namespace crash {

void CollectSystemHeaderValues(TReportHeaderValues& values)
{
    // The report's exception time; now when the pipeline has none.
    const TPipelineState* state = PipelineStateOrNull();
    const TDateTime raised = state != nullptr && state->ExceptionTime.wYear != 0
                                 ? DateTimeOfSystemTime(state->ExceptionTime)
                                 : NowDateTime();
    values[soAppStartDate] = StartDateText();
    std::string description, version;
    GetFileDescriptionAndVersion(GetModuleFullFileName(nullptr), description, version);
    values[soAppVersionNumber] = version;
    values[soAppUpTime] = UpTimeText(ApplicationStartTime(), raised);
    values[soExcDate] = MailDateText(raised);
    values[soUserID] = UserLoginText();
    values[soUserName] = RegisteredOwnerText();
    values[soCmpName] = ComputerNameText();
    values[soCmpSysUpTime] = SystemUpTimeText();
    const TWindowsVersion windows = QueryWindowsVersion();
    values[soOSType] = WindowsVersionText(windows);
    values[soOSBuildN] = WindowsBuildText(windows);
    values[soOSUpdate] = std::string(rtl::Trim(windows.ServicePack));
}

}  // namespace crash
