// The crash reporter's level of the start-up list of a program that runs the
// engine alone (its tests); a program with the report layer takes that
// layer's table (crash/report/ReportStartup.cpp).
#include <cstdlib>

#include "crash/engine/startup/LibraryStartup.h"
#include "rtl/Startup.h"

namespace crash {

namespace {

constexpr rtl::TStartupStep kCrashReporterSteps[] = {kECoreStep, kEHookStep, kExceptionLogStep};
const rtl::TStartupRegistration kCrashReporterRegistration(rtl::TStartupLevel::slCrashReporter, kCrashReporterSteps);

}  // namespace

}  // namespace crash

// The symbol a program names (crash_reporter_startup) to link these steps.
extern "C" const char VexlorLogStartupSteps = 1;
