// Controls and their animation: keyframe evaluation, clamping float
// assignment, option items and lookup by label.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "contract/host_api.h"

namespace {

class SampleNode : public FXNode {
public:
    SampleNode()
    {
        const double white[4] = {1.0, 1.0, 1.0, 1.0};
        size = Numeric("Cell Size", 0.5, 0.0, 10.0, 0.01, true);
        active = Boolean("Light Active", false, false);
        edge = Option("Edge: %s", "Duplicate,Black,Wrap", 0);
        light = Color("Light", white, true);
        Label("Surface");
    }
    CNumeric* size;
    CBoolean* active;
    COption* edge;
    CColor* light;
};

ControlKey key(double time, double a, double b = 0.0, double c = 0.0, double d = 0.0)
{
    return ControlKey{time, {a, b, c, d}};
}

TEST(Keyframes, NumericAndColourInterpolateLinearly)
{
    SampleNode node;
    node.size->set_key(key(10.0, 1.0));
    node.size->set_key(key(0.0, 3.0));  // out of order: kept sorted
    node.size->set_key(key(30.0, 7.0));
    node.light->set_key(key(0.0, 0.0, 1.0, 0.25, 1.0));
    node.light->set_key(key(4.0, 1.0, 0.0, 0.75, 1.0));

    ASSERT_TRUE(node.evaluate_controls(2.5, false));
    EXPECT_EQ(node.size->value, 2.5);
    double rgba[4];
    node.light->get_value(rgba[0], rgba[1], rgba[2], rgba[3]);
    EXPECT_EQ(std::vector<double>(rgba, rgba + 4), (std::vector<double>{0.625, 0.375, 0.5625, 1.0}));
    node.evaluate_controls(25.0, false);
    EXPECT_EQ(node.size->value, 5.5);
}

TEST(Keyframes, BooleanAndOptionHoldTheEarlierKey)
{
    SampleNode node;
    node.active->set_key(key(0.0, 0.0));
    node.active->set_key(key(10.0, 1.0));
    node.edge->set_key(key(0.0, 2.0));
    node.edge->set_key(key(10.0, 1.0));
    for (auto [time, active, edge] : {std::tuple{9.999, false, 2}, {10.0, true, 1}}) {
        node.evaluate_controls(time, false);
        EXPECT_EQ(node.active->state, active) << time;
        EXPECT_EQ(node.edge->index, edge) << time;
    }
}

TEST(Keyframes, OutsideTheKeysHoldsTheNearestAndMinusOneOrNoKeysKeepTheValue)
{
    SampleNode node;
    node.size->set_key(key(5.0, 2.0));
    node.size->set_key(key(8.0, 4.0));
    node.size->set_key(key(8.0, 6.0));  // same time replaces
    EXPECT_EQ(node.size->keys().size(), 2u);
    node.active->state = true;
    node.evaluate_controls(-100.0, false);
    EXPECT_EQ(node.size->value, 2.0);
    node.evaluate_controls(1e9, false);
    EXPECT_EQ(node.size->value, 6.0);
    EXPECT_TRUE(node.active->state);  // no keys

    // -1 means "now": every control stays as it is.
    node.size->value = 7.25;
    node.edge->set_key(key(0.0, 1.0));
    node.edge->index = 2;
    EXPECT_TRUE(node.evaluate_controls(-1.0, true));
    EXPECT_EQ(node.size->value, 7.25);
    EXPECT_EQ(node.edge->index, 2);
}

TEST(Controls, FloatAssignmentClampsAndLookupIgnoresCaseAndFormat)
{
    SampleNode node;
    *node.size = 0.1f;
    EXPECT_EQ(node.size->value, static_cast<double>(0.1f));
    *node.size = 1e30f;
    EXPECT_EQ(node.size->value, 10.0);

    double bad = 7.0;
    node.edge->set_values(&bad);
    EXPECT_EQ(node.edge->index, 2);  // an index always names an item

    EXPECT_EQ(node.control(5), nullptr);
    EXPECT_EQ(node.find_control("edge"), node.edge);
    EXPECT_EQ(node.find_control("EDGE: %s"), node.edge);
    EXPECT_EQ(node.find_control("Cell"), nullptr);
}

}  // namespace
