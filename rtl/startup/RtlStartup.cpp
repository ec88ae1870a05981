// Start-up of the runtime's raise path, linked into every program of the
// build: installs the exception hooks with the bounds of our own code, which
// the marker objects around the program's objects and libraries give.
#include "rtl/ExceptHooks.h"

extern "C" const char rtl_own_code_begin[];
extern "C" const char rtl_own_code_end[];

namespace {

struct RuntimeStartup {
    RuntimeStartup() noexcept { rtl::InstallExceptionHooks(rtl_own_code_begin, rtl_own_code_end); }
};
const RuntimeStartup kStartup;

}  // namespace
