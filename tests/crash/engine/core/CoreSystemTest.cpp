// Interface queries and the user's character set.
#include <gtest/gtest.h>

#include "crash/engine/ECore.h"

namespace crash {
namespace {

TEST(UserCharSet, FollowsTheAnsiCodePage)
{
    ASSERT_EQ(GetACP(), 1251u);
    EXPECT_EQ(UserCharSet(), RUSSIAN_CHARSET);
}

// Answers one interface id; for another it claims success yet gives nothing.
class FakeUnknown : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (IsEqualIID(iid, IID_IUnknown)) {
            *out = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return IsEqualIID(iid, IID_IClassFactory) ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++FReferences; }
    ULONG STDMETHODCALLTYPE Release() override { return --FReferences; }
    ULONG FReferences = 1;
};

TEST(SupportsEx, NeedsAnInterfaceThatIsThere)
{
    FakeUnknown object;
    void* result = &object;
    EXPECT_TRUE(SupportsEx(&object, IID_IUnknown, &result));
    EXPECT_EQ(result, static_cast<IUnknown*>(&object));
    EXPECT_EQ(object.FReferences, 2u);
    object.Release();

    EXPECT_FALSE(SupportsEx(&object, IID_IClassFactory, &result));  // success without an interface
    EXPECT_EQ(result, nullptr);
    EXPECT_FALSE(SupportsEx(&object, IID_IDispatch, &result));
    result = &object;
    EXPECT_FALSE(SupportsEx(nullptr, IID_IUnknown, &result));
    EXPECT_EQ(result, nullptr);
}

}  // namespace
}  // namespace crash
