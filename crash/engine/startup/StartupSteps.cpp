// The crash reporter's level of the program's start-up list.
#include <cstdlib>

#include "crash/engine/startup/LibraryStartup.h"
#include "rtl/Startup.h"

namespace crash {

namespace {

constexpr rtl::TStartupStep kCrashReporterSteps[] = {
    {"ECore.Init", ECoreUnitInit, ECoreUnitDone},
    {"EHook.Init", EHookUnitInit, EHookUnitDone},
    {"ExceptionLog.Init", ExceptionLogUnitInit, ExceptionLogUnitDone},
};
const rtl::TStartupRegistration kCrashReporterRegistration(rtl::TStartupLevel::slCrashReporter, kCrashReporterSteps);

}  // namespace

}  // namespace crash

// The symbol a program names (crash_reporter_startup) to link these steps.
extern "C" const char VexlorLogStartupSteps = 1;
