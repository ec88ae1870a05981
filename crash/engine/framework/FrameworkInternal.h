// What the framework hooks' sources share; no other folder includes this.
#pragma once

#include "rtl/Classes.h"

namespace crash {

// The raise address of a thrown object (`ours` its TObject, or null): the
// Exception's own, else the calling thread's last raise of the object; null
// when neither knows it.
void* RaiseAddressOf(void* object, const rtl::TObject* ours) noexcept;

}  // namespace crash
