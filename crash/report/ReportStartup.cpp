// The crash reporter's level of the start-up list of a program that carries
// the report layer: the engine's unit steps, with the report layer's steps
// filled before the pipeline starts, so that no report runs without them.
#include "crash/engine/startup/LibraryStartup.h"
#include "crash/report/ReportLayer.h"
#include "rtl/Startup.h"

namespace crash {

namespace {

constexpr rtl::TStartupStep kCrashReporterSteps[] = {
    kECoreStep,
    kEHookStep,
    {"ELogManager.Init", RegisterReportLayerSteps, nullptr},
    kExceptionLogStep,
};
const rtl::TStartupRegistration kCrashReporterRegistration(rtl::TStartupLevel::slCrashReporter, kCrashReporterSteps);

}  // namespace

}  // namespace crash

// The symbol a program names (crash_reporter_program) to link these steps.
extern "C" const char VexlorLogReportStartupSteps = 1;
