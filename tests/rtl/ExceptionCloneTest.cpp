// The exception classes of the layers above the runtime copy themselves whole:
// the crash reporter keeps a raised object by Clone, which answers null for a
// class that did not declare itself.
#include <functional>
#include <memory>
#include <typeinfo>

#include <gtest/gtest.h>

#include "crash/delivery/EZlib2.h"
#include "vcl/Controls.h"
#include "vcl/FormDescription.h"
#include "vcl/Grid.h"

namespace {

struct CloneCase {
    const char* name;
    std::function<std::unique_ptr<rtl::Exception>()> make;
    std::size_t size;
};

TEST(ExceptionClone, LibraryExceptionsCopyAsTheirOwnClass)
{
    const CloneCase kCases[] = {
        {"EWindowError", [] { return std::make_unique<vcl::EWindowError>("window"); }, sizeof(vcl::EWindowError)},
        {"EGridError", [] { return std::make_unique<vcl::EGridError>("grid"); }, sizeof(vcl::EGridError)},
        {"EFormDescriptionError", [] { return std::make_unique<vcl::EFormDescriptionError>("form"); },
         sizeof(vcl::EFormDescriptionError)},
        {"EZLibError", [] { return std::make_unique<crash::EZLibError>(-3); }, sizeof(crash::EZLibError)},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        const std::unique_ptr<rtl::Exception> original = c.make();
        EXPECT_EQ(original->InstanceSize(), c.size);
        const std::unique_ptr<rtl::TObject> copy = original->Clone();
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(typeid(*copy), typeid(*original));
        EXPECT_EQ(static_cast<const rtl::Exception&>(*copy).Message(), original->Message());
    }
}

}  // namespace
