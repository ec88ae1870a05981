// The child of the debugger-line test: a warning, or a failing unit step that
// reaches the internal-error hook through SafeExec as inside the development
// environment. The driver runs it under WINEDEBUG=+debugstr and reads its
// debugger lines from Wine's standard error.
//
// usage: ErrorsChild.exe warning|error RESULT-FILE
#include <windows.h>

#include <cstdio>
#include <string>

#include "crash/engine/ECore.h"
#include "crash/engine/EDebugData.h"
#include "crash/engine/errors/ErrorsInternal.h"
#include "crash/engine/errors/InternalErrors.h"
#include "crash/engine/modules/ModuleLists.h"
#include "rtl/Startup.h"
#include "rtl/SysUtils.h"

namespace {

void BrokenStep()
{
    throw rtl::Exception("broken \"step\"");
}

}  // namespace

int main(int argc, char** argv)
{
    const rtl::TProgramStartup programStartup;
    if (argc < 3) return 2;
    const std::string mode = argv[1];
    crash::CreateModuleLists();
    crash::InstallModuleDataReader();
    // No one is there to answer a box.
    crash::errors::MessageBoxProc = [](const std::string&, const char*, UINT) noexcept { return IDNO; };
    std::string result = "unknown mode";
    if (mode == "warning") {
        crash::SetLastVexlorLogError(crash::eeLogError, "Cannot write \"C:\\Logs\\x.log\".");
        result = "warned";
    } else if (mode == "error") {
        crash::IntoIDE = true;
        crash::CriticalError = &crash::InternalErrorHook;
        try {
            crash::SafeExec(&BrokenStep, "ErrorsChild.Step");
            result = "not aborted";
        } catch (const rtl::EAbort&) {
            result = "aborted";
        }
    }
    if (FILE* file = std::fopen(argv[2], "wb")) {
        std::fputs(result.c_str(), file);
        std::fclose(file);
    }
    return 0;
}
