// The entry function of every GoogleTest program of the build, in place of
// GoogleTest's own: the program's start-up list runs first, as in every
// program, and is undone when the tests have run.
#include <gtest/gtest.h>

#include "rtl/Startup.h"

int main(int argc, char** argv)
{
    const rtl::TProgramStartup programStartup;
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
