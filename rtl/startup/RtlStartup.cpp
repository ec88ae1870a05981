// Start-up of the runtime's raise path, linked into every program of the
// build: installs the exception hooks. Which code is our own comes from the
// table the build's post-link step writes into the image.
#include "rtl/ExceptHooks.h"

namespace {

struct RuntimeStartup {
    RuntimeStartup() noexcept { rtl::InstallExceptionHooks(); }
};
const RuntimeStartup kStartup;

}  // namespace
