// The core utilities' warnings, until the crash reporter's warning store exists.
#include "crash/engine/core/ECoreInternal.h"

namespace crash::core {

void CoreWarning(const std::string& message) noexcept
{
    // The failures reported here are the log and working files' own, hence the
    // code; with no exception being handled the address is zero.
    try {
        const std::string line =
            "[WARNING] - Code: eeLogError - Address: 00000000 - Message: \"" + message + "\"";
        ::OutputDebugStringA(line.c_str());
    } catch (...) {
        // Out of memory: a warning is not worth a failure of its own.
    }
}

}  // namespace crash::core
