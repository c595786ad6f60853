#include <gtest/gtest.h>
#include "text/KSUB.h"
TEST(Placeholder, Runs) { EXPECT_TRUE(true); }
