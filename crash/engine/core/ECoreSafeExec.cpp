// The guard of the crash reporter's unit steps.
#include <cstdio>
#include <exception>

#include "crash/engine/ECore.h"

namespace crash {

TCriticalErrorProc CriticalError = nullptr;

namespace {

// Runs inside the catch block, so that the critical-error handler still sees
// the failing step's exception as the one being handled.
[[noreturn]] void StepFailed(TProc proc, const std::string& name, const std::string& message)
{
    if (CriticalError) {
        char address[16];
        std::snprintf(address, sizeof address, "%08X", static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(proc)));
        CriticalError(name + " (Address: " + address + ")");
        rtl::Abort();
    }
    throw rtl::Exception("Critical error at: \"" + name + "\"\r\nError: \"" + message + "\".");
}

constexpr const char kGeneralError[] = "General internal error.";

}  // namespace

void SafeExec(TProc proc, const std::string& name)
{
    if (!proc) return;
    try {
        proc();
    } catch (const EIgnoreException&) {
        throw;
    } catch (const rtl::Exception& e) {
        StepFailed(proc, name, e.Message());
    } catch (const rtl::TObject&) {
        StepFailed(proc, name, kGeneralError);
    } catch (const std::exception& e) {
        // The standard library's exceptions carry their text as the runtime's do.
        StepFailed(proc, name, e.what());
    }
    // Anything else (a thrown number, a foreign object) is no object of ours and
    // goes on unchanged.
}

}  // namespace crash
