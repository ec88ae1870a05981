// The runtime's exception classes.
#include "rtl/SysUtils.h"

namespace rtl {

void Abort()
{
    throw EAbort("Operation aborted");
}

}  // namespace rtl
