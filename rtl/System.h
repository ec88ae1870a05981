// The root class of our class hierarchy.
#pragma once
#include <string>

namespace rtl {

// Every class of the system's own design derives from TObject. Objects are
// owned explicitly (std::unique_ptr or an owner component).
class TObject {
public:
    TObject() = default;
    TObject(const TObject&) = default;
    TObject& operator=(const TObject&) = default;
    virtual ~TObject() = default;

    // The unqualified class name, from the C++ type information.
    std::string ClassName() const;
};

}  // namespace rtl
