// Redirecting a component's event by its name.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "crash/engine/ExceptionLog.h"

namespace {

// A component with two events that others may redirect by name.
class TFiringComponent : public rtl::TComponent {
public:
    using THandler = void (*)(void* data, TFiringComponent& sender);

    rtl::TMethod* EventProperty(std::string_view name) noexcept override
    {
        if (name == "OnFire") return &FOnFire;
        if (name == "OnDone") return &FOnDone;
        return nullptr;
    }
    void Fire()
    {
        if (FOnFire.Code != nullptr) reinterpret_cast<THandler>(FOnFire.Code)(FOnFire.Data, *this);
    }

    rtl::TMethod FOnFire;
    rtl::TMethod FOnDone;
};

struct THandlerLog {
    std::string FCalls;
};

void FirstHandler(void* data, TFiringComponent&)
{
    static_cast<THandlerLog*>(data)->FCalls += "first ";
}

void SecondHandler(void* data, TFiringComponent&)
{
    static_cast<THandlerLog*>(data)->FCalls += "second ";
}

void* CodeOf(TFiringComponent::THandler handler)
{
    return reinterpret_cast<void*>(handler);
}

TEST(ReplaceMethodProperty, SwapsTheCodeAndKeepsTheData)
{
    THandlerLog log;
    TFiringComponent component;
    component.FOnFire = {CodeOf(FirstHandler), &log};
    void* old = nullptr;
    ASSERT_TRUE(crash::ReplaceMethodProperty(&component, "OnFire", CodeOf(SecondHandler), old));
    EXPECT_EQ(old, CodeOf(FirstHandler));
    EXPECT_EQ(component.FOnFire.Data, &log);
    component.Fire();
    EXPECT_EQ(log.FCalls, "second ");
    // An event without a handler is redirected too: its old code is none.
    EXPECT_TRUE(crash::ReplaceMethodProperty(&component, "OnDone", CodeOf(SecondHandler), old));
    EXPECT_EQ(old, nullptr);
    EXPECT_EQ(component.FOnDone.Code, CodeOf(SecondHandler));
}

TEST(ReplaceMethodProperty, NothingChangesWithoutSuchAnEventOrANewCode)
{
    TFiringComponent component;
    component.FOnFire.Code = CodeOf(FirstHandler);
    rtl::TComponent plain;
    rtl::TObject notAComponent;
    static const struct {
        const char* what;
        rtl::TObject* object;
        const char* event;
    } kCases[] = {
        {"the code it has already", &component, "OnFire"},
        {"an event the class does not name", &component, "OnClick"},
        {"a component without events", &plain, "OnFire"},
        {"an object that is no component", &notAComponent, "OnFire"},
        {"null", nullptr, "OnFire"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        void* old = CodeOf(SecondHandler);
        EXPECT_FALSE(crash::ReplaceMethodProperty(c.object, c.event, CodeOf(FirstHandler), old));
        EXPECT_EQ(old, nullptr);
    }
    EXPECT_EQ(component.FOnFire.Code, CodeOf(FirstHandler));
    EXPECT_EQ(component.FOnDone.Code, nullptr);
}

}  // namespace
