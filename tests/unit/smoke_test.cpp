#include <gtest/gtest.h>
#include "driver/run.h"
#include "support/simulated_os.h"
TEST(Smoke, Runs) { zv::test::SimulatedOs os; EXPECT_EQ(zv::RunZelvantorix(os), -4); }
