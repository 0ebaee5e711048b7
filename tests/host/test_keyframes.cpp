// Controls and their animation: keyframe evaluation, clamping float
// assignment, option items and lookup by label.
#include <gtest/gtest.h>

#include "node/host_api.h"

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
    ASSERT_EQ(node.size->keys().size(), 3u);
    EXPECT_EQ(node.size->keys()[0].time, 0.0);

    node.light->set_key(key(0.0, 0.0, 1.0, 0.2, 1.0));
    node.light->set_key(key(3.0, 1.0, 0.0, 0.7, 1.0));

    ASSERT_TRUE(node.evaluate_controls(2.5, false));
    EXPECT_EQ(node.size->value, 3.0 + (1.0 - 3.0) * ((2.5 - 0.0) / (10.0 - 0.0)));
    double r, g, b, a;
    node.light->get_value(r, g, b, a);
    const double f = 2.5 / 3.0;
    EXPECT_EQ(r, 0.0 + (1.0 - 0.0) * f);
    EXPECT_EQ(g, 1.0 + (0.0 - 1.0) * f);
    EXPECT_EQ(b, 0.2 + (0.7 - 0.2) * f);
    EXPECT_EQ(a, 1.0);

    node.evaluate_controls(17.0, false);
    EXPECT_EQ(node.size->value, 1.0 + (7.0 - 1.0) * ((17.0 - 10.0) / (30.0 - 10.0)));
    node.evaluate_controls(10.0, false);
    EXPECT_EQ(node.size->value, 1.0);
}

TEST(Keyframes, BooleanAndOptionHoldTheEarlierKey)
{
    SampleNode node;
    node.active->set_key(key(0.0, 0.0));
    node.active->set_key(key(10.0, 1.0));
    node.edge->set_key(key(0.0, 2.0));
    node.edge->set_key(key(10.0, 1.0));

    node.evaluate_controls(9.999, false);
    EXPECT_FALSE(node.active->state);
    EXPECT_EQ(node.edge->index, 2);
    node.evaluate_controls(10.0, false);
    EXPECT_TRUE(node.active->state);
    EXPECT_EQ(node.edge->index, 1);
}

TEST(Keyframes, OutsideTheKeysHoldsTheNearestAndNoKeysKeepsTheValue)
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

    // A frame's values do not depend on the frames evaluated before it.
    node.evaluate_controls(6.5, false);
    const double at_6_5 = node.size->value;
    node.evaluate_controls(100.0, false);
    node.evaluate_controls(6.5, false);
    EXPECT_EQ(node.size->value, at_6_5);

    node.size->clear_keys();
    node.size->value = 9.0;
    node.evaluate_controls(6.5, false);
    EXPECT_EQ(node.size->value, 9.0);
}

TEST(Keyframes, MinusOneLeavesEveryControlAsItIs)
{
    SampleNode node;
    node.size->set_key(key(0.0, 1.0));
    node.size->set_key(key(10.0, 2.0));
    node.edge->set_key(key(0.0, 1.0));
    node.size->value = 7.25;
    node.edge->index = 2;
    EXPECT_TRUE(node.evaluate_controls(-1.0, true));
    EXPECT_EQ(node.size->value, 7.25);
    EXPECT_EQ(node.edge->index, 2);
}

TEST(Controls, FloatAssignmentClampsIntoTheRange)
{
    SampleNode node;
    *node.size = 3.5f;
    EXPECT_EQ(node.size->value, 3.5);
    *node.size = 0.1f;
    EXPECT_EQ(node.size->value, static_cast<double>(0.1f));
    *node.size = -4.0f;
    EXPECT_EQ(node.size->value, 0.0);
    *node.size = 1e30f;
    EXPECT_EQ(node.size->value, 10.0);
}

TEST(Controls, OptionItemsAndLookupByLabel)
{
    SampleNode node;
    EXPECT_EQ(node.edge->items(), (std::vector<std::string>{"Duplicate", "Black", "Wrap"}));
    EXPECT_EQ(node.edge->short_label(), "Edge");
    double bad = 7.0;
    node.edge->set_values(&bad);
    EXPECT_EQ(node.edge->index, 2);  // an index always names an item

    EXPECT_EQ(node.num_controls(), 5);
    EXPECT_EQ(node.control(4)->kind(), ControlKind::label);
    EXPECT_EQ(node.control(5), nullptr);
    EXPECT_EQ(node.find_control("edge"), node.edge);
    EXPECT_EQ(node.find_control("EDGE: %s"), node.edge);
    EXPECT_EQ(node.find_control("cell size"), node.size);
    EXPECT_EQ(node.find_control("Cell"), nullptr);

    node.size->hide();
    node.size->disable();
    EXPECT_TRUE(node.size->is_hidden() && node.size->is_disabled());
    node.size->show();
    node.size->enable();
    EXPECT_FALSE(node.size->is_hidden() || node.size->is_disabled());
}

TEST(Controls, DeletingThroughEitherBaseDestroysTheNode)
{
    static int destroyed = 0;
    struct Counted : SampleNode {
        ~Counted() override { ++destroyed; }
    };
    RegIO* io = new Counted;
    delete io;
    FXNode* fx = new Counted;
    fx->Destroy();
    EXPECT_EQ(destroyed, 2);
}

}  // namespace
