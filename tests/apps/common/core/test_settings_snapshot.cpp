// test-links: trellin_app_core
// Settings carried from an edited node to another and compared control by
// control: a value, a key or an option changed shows on that control alone,
// and a snapshot applied gives the other node the same settings.
#include <gtest/gtest.h>

#include "apps/common/core/settings_snapshot.h"
#include "support/node_runner.h"

namespace {

using trellin_app::SettingsSnapshot;

int index_of(const FXNode& node, const std::string& label)
{
    for (int i = 0; i < node.num_controls(); ++i)
        if (node.control(i) == node.find_control(label)) return i;
    ADD_FAILURE() << "no control " << label;
    return -1;
}

TEST(SettingsSnapshot, AChangeShowsOnItsControlAlone)
{
    auto node = testkit::make_node();
    const SettingsSnapshot before = SettingsSnapshot::of(*node);
    const int index = index_of(*node, "Index");
    const int edge = index_of(*node, "Edge");  // saved under its short label
    const int angle = index_of(*node, "Cell Angle");

    static_cast<CNumeric*>(node->control(index))->value = 2.5;
    double wrap = 2.0;
    node->control(edge)->set_values(&wrap);
    const SettingsSnapshot edited = SettingsSnapshot::of(*node);
    for (int i = 0; i < node->num_controls(); ++i) {
        const bool changed = i == index || i == edge;
        EXPECT_EQ(edited.same_control(before, *node, i), !changed) << node->control(i)->label();
    }

    // A key changes the control even where its value stays.
    ControlKey key;
    key.time = 12.0;
    node->control(angle)->set_key(key);
    EXPECT_FALSE(SettingsSnapshot::of(*node).same_control(edited, *node, angle));
    EXPECT_TRUE(SettingsSnapshot::of(*node).same_control(edited, *node, index));
}

TEST(SettingsSnapshot, AppliedItGivesAnotherNodeTheSameSettings)
{
    auto edited = testkit::make_node({{"Index", "3"}, {"Edge", "Black"}});
    ControlKey key;
    key.time = 5.0;
    key.v[0] = 30.0;
    edited->control(index_of(*edited, "Cell Angle"))->set_key(key);
    const SettingsSnapshot snapshot = SettingsSnapshot::of(*edited);

    auto render = testkit::make_node();
    ASSERT_TRUE(snapshot.apply_to(*render));
    const SettingsSnapshot applied = SettingsSnapshot::of(*render);
    for (int i = 0; i < render->num_controls(); ++i)
        EXPECT_TRUE(applied.same_control(snapshot, *render, i)) << render->control(i)->label();
    EXPECT_EQ(applied.settings().doc, snapshot.settings().doc);

    // An empty snapshot holds no control: it matches only another empty one.
    const SettingsSnapshot none;
    EXPECT_FALSE(none.same_control(snapshot, *render, index_of(*render, "Index")));
    EXPECT_TRUE(none.same_control(SettingsSnapshot(), *render, index_of(*render, "Index")));
}

}  // namespace
