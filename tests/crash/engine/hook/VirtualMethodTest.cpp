// Virtual-method slot hooks on a class of this program.
#include <gtest/gtest.h>

#include <vector>

#include "crash/engine/EHook.h"

// Outside the unnamed namespace: a class local to this file would let the
// optimiser prove there is no override and call Value directly.
namespace hook_test {
struct TSample {
    virtual int Value() const;
    virtual ~TSample();
};
int TSample::Value() const
{
    return 1;
}
TSample::~TSample() = default;
}  // namespace hook_test

namespace {

using hook_test::TSample;

__attribute__((thiscall)) int ReplacementValue(const TSample*)
{
    return 99;
}

// The object's type is hidden from the optimiser, so the call goes through
// the method table.
__attribute__((noinline)) int CallValue(const TSample* sample)
{
    asm volatile("" ::: "memory");
    return sample->Value();
}

void* const* MethodTable(const TSample& sample)
{
    return *reinterpret_cast<void* const* const*>(&sample);
}

class VirtualMethod : public ::testing::Test {
protected:
    void TearDown() override { crash::EHookDone(); }
    void* Replacement() const { return reinterpret_cast<void*>(&ReplacementValue); }
    TSample FSample;
};

TEST_F(VirtualMethod, HookAndUnhookASlot)
{
    void* const* vmt = MethodTable(FSample);
    void* original = vmt[0];
    EXPECT_EQ(crash::HookVirtualMethod(vmt, 0, Replacement()), original);
    EXPECT_EQ(CallValue(&FSample), 99);
    // Hooking with the method the slot holds answers the saved one.
    EXPECT_EQ(crash::HookVirtualMethod(vmt, 0, Replacement()), original);
    EXPECT_TRUE(crash::UnhookVirtualMethod(vmt, 0));
    EXPECT_EQ(vmt[0], original);
    EXPECT_EQ(CallValue(&FSample), 1);
    EXPECT_FALSE(crash::UnhookVirtualMethod(vmt, 0));
}

TEST_F(VirtualMethod, ShutDownRestoresTheSlot)
{
    void* const* vmt = MethodTable(FSample);
    void* original = vmt[0];
    crash::HookVirtualMethod(vmt, 0, Replacement());
    crash::EHookDone();
    EXPECT_EQ(vmt[0], original);
    EXPECT_EQ(CallValue(&FSample), 1);
}

TEST_F(VirtualMethod, TableOutsideAnyModuleIsLeftAlone)
{
    std::vector<void*> table = {reinterpret_cast<void*>(0x1234)};
    EXPECT_EQ(crash::HookVirtualMethod(table.data(), 0, Replacement()), nullptr);
    EXPECT_EQ(table[0], reinterpret_cast<void*>(0x1234));
    EXPECT_FALSE(crash::UnhookVirtualMethod(table.data(), 0));
}

}  // namespace
