// Typed controls: the value forms a pull produces and the availability they
// forward to their host controls.
#include <gtest/gtest.h>

#include "framework/control_vx.h"

namespace {

TEST(ControlVx, ColourIsClampedAndScaledTo32767)
{
    const double start[4] = {1.0, 0.5, 0.0, 1.0};
    CColor host("Light", start, true);
    vx::ColourControlVx colour;
    colour.host = &host;

    colour.pull();
    EXPECT_EQ(colour.r, 32767);
    EXPECT_EQ(colour.g, 16383);  // 0.5 x 32767.5 = 16383.75, truncated
    EXPECT_EQ(colour.b, 0);
    EXPECT_EQ(colour.a, 32767);

    const double out_of_range[4] = {1.7, -0.2, 0.25, 1.0};
    host.set_values(out_of_range);
    colour.pull();
    EXPECT_EQ(colour.r, 32767);
    EXPECT_EQ(colour.g, 0);
    EXPECT_EQ(colour.b, 8191);  // 8191.875
    EXPECT_EQ(colour.a, 32767);
}

TEST(ControlVx, NumbersTruncateTowardZeroAndListsCountFromOne)
{
    CNumeric number("n", 0.0, -10.0, 10.0, 1.0, true);
    vx::IntegerControlVx integer;
    vx::FloatControlVx real;
    integer.host = &number;
    real.host = &number;

    number.value = -2.7;
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

TEST(ControlVx, PositionPullsBothAxesAndGreysOutBoth)
{
    CNumeric x("x", 0.2, -5.0, 5.0, 0.001, true);
    CNumeric y("y", 0.8, -5.0, 5.0, 0.001, true);
    vx::PositionControlVx position;
    position.host = &x;
    position.host_y = &y;

    position.pull();
    EXPECT_EQ(position.x, 0.2);
    EXPECT_EQ(position.y, 0.8);

    position.set_disabled(true);
    EXPECT_TRUE(x.is_disabled());
    EXPECT_TRUE(y.is_disabled());
    EXPECT_TRUE(position.disabled);
    position.set_disabled(false);
    EXPECT_FALSE(x.is_disabled());
    EXPECT_FALSE(y.is_disabled());
}

}  // namespace
