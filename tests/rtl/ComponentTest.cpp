// Components: owners free what they own, names find the owned ones.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "rtl/Classes.h"

namespace {

// Tells its end into a shared trace.
class TracedComponent : public rtl::TComponent {
public:
    TracedComponent(rtl::TComponent* owner, std::string name, std::vector<std::string>& trace)
        : TComponent(owner), FTrace(trace)
    {
        SetName(std::move(name));
    }
    ~TracedComponent() override { FTrace.push_back(Name()); }

private:
    std::vector<std::string>& FTrace;
};

TEST(Component, TheOwnerFreesWhatItOwnsTheLastAddedFirst)
{
    std::vector<std::string> trace;
    {
        TracedComponent owner(nullptr, "owner", trace);
        auto* panel = new TracedComponent(&owner, "panel", trace);
        new TracedComponent(panel, "label", trace);  // owned by the panel
        owner.InsertComponent(std::make_unique<TracedComponent>(nullptr, "timer", trace));
        ASSERT_EQ(owner.Components().size(), 2u);
        EXPECT_EQ(owner.FindComponent("timer")->Owner(), &owner);
        EXPECT_EQ(owner.FindComponent("panel"), panel);
        EXPECT_EQ(owner.FindComponent("label"), nullptr);  // the panel's, not the owner's
        EXPECT_EQ(owner.FindComponent("Panel"), nullptr);
    }
    // A component's own destructor runs first, then the components it owns go.
    const std::vector<std::string> expected = {"owner", "timer", "panel", "label"};
    EXPECT_EQ(trace, expected);
}

TEST(Component, OneFreedOnItsOwnLeavesItsOwner)
{
    std::vector<std::string> trace;
    TracedComponent owner(nullptr, "owner", trace);
    auto* first = new TracedComponent(&owner, "first", trace);
    new TracedComponent(&owner, "second", trace);
    delete first;
    ASSERT_EQ(owner.Components().size(), 1u);
    EXPECT_EQ(owner.Components()[0]->Name(), "second");
    owner.DestroyComponents();
    EXPECT_TRUE(owner.Components().empty());
    const std::vector<std::string> expected = {"first", "second"};
    EXPECT_EQ(trace, expected);
}

TEST(Component, InsertTakesOnlyAComponentWithoutOwner)
{
    std::vector<std::string> trace;
    TracedComponent owner(nullptr, "owner", trace);
    TracedComponent other(nullptr, "other", trace);
    auto owned = std::make_unique<TracedComponent>(&other, "owned", trace);
    EXPECT_THROW(owner.InsertComponent(std::move(owned)), rtl::Exception);
    // The refused component is freed with the pointer that held it, and has
    // left the owner it named.
    EXPECT_TRUE(other.Components().empty());
    EXPECT_TRUE(owner.Components().empty());
    EXPECT_THROW(owner.InsertComponent(nullptr), rtl::Exception);
}

}  // namespace
