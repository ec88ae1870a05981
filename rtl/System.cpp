// The root class.
#include "rtl/System.h"

#include <cxxabi.h>

#include <cstdlib>
#include <typeinfo>

namespace rtl {

std::string TObject::ClassName() const
{
    const char* mangled = typeid(*this).name();
    int status = 0;
    char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    std::string name = status == 0 && demangled ? demangled : mangled;
    std::free(demangled);
    // Namespaces are ours, not the class's: "rtl::Exception" is "Exception".
    const size_t colon = name.rfind("::");
    return colon == std::string::npos ? name : name.substr(colon + 2);
}

}  // namespace rtl
