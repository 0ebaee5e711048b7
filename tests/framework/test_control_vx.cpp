// Typed controls: the value forms a pull produces from the host controls.
#include <gtest/gtest.h>

#include <vector>

#include "framework/control_vx.h"

namespace {

TEST(ControlVx, ColourIsClampedAndScaledTo32767)
{
    const double start[4] = {1.0, 0.5, 0.0, 1.0}, out_of_range[4] = {1.7, -0.2, 0.25, 1.0};
    CColor host("Light", start, true);
    vx::ColourControlVx colour;
    colour.host = &host;
    colour.pull();
    EXPECT_EQ(std::vector<int>({colour.r, colour.g, colour.b, colour.a}),
              std::vector<int>({32767, 16383, 0, 32767}));  // 0.5 x 32767.5 = 16383.75, truncated
    host.set_values(out_of_range);
    colour.pull();
    EXPECT_EQ(std::vector<int>({colour.r, colour.g, colour.b, colour.a}),
              std::vector<int>({32767, 0, 8191, 32767}));  // 8191.875
}

TEST(ControlVx, NumbersTruncateTowardZeroAndListsCountFromOne)
{
    CNumeric number("n", -2.7, -10.0, 10.0, 1.0, true);
    vx::IntegerControlVx integer;
    vx::FloatControlVx real;
    integer.host = real.host = &number;
    integer.pull();
    real.pull();
    EXPECT_EQ(integer.value, -2);
    EXPECT_EQ(real.value, -2.7);
    number.value = 3.9;
    integer.pull();
    EXPECT_EQ(integer.value, 3);

    COption option("Edge: %s", "Duplicate,Black,Wrap", 0);
    vx::ListControlVx list;
    list.host = &option;
    list.pull();
    EXPECT_EQ(list.value, 1);
    option.index = 2;
    list.pull();
    EXPECT_EQ(list.value, 3);
}

}  // namespace
