// The language unit's character set. This file includes the unit's header
// alone: its callers need nothing more to get UserCharSet.
#include "crash/engine/ELang.h"

#include <gtest/gtest.h>

namespace crash {
namespace {

TEST(LangCharSet, FollowsTheAnsiCodePage)
{
    ASSERT_EQ(GetACP(), 1251u);
    EXPECT_EQ(UserCharSet(), RUSSIAN_CHARSET);
}

}  // namespace
}  // namespace crash
