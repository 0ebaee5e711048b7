// test-links: trellin_pictures
// The tables behind the control reference and `trellin info`: every control
// of the node has a one-line meaning and a strip, and every value a strip
// shows is one the node takes.
#include <gtest/gtest.h>

#include <set>

#include "apps/trellin/pictures/control_gallery.h"
#include "apps/common/core/control_facts.h"
#include "apps/common/core/control_text.h"
#include "node/trellin_node.h"

namespace {

using namespace trellin_app;

TEST(ControlReference, EveryControlHasAMeaningAndAStripOfValuesItTakes)
{
    FXNode* node = vx::TrellinNode::make();
    double values[4];
    const auto takes = [&](const Setting& s) {
        SCOPED_TRACE(s.label + "=" + s.value);
        EXPECT_NO_THROW(setting_values(setting_control(*node, s), s, values));
    };
    for (const Setting& s : gallery_base()) takes(s);
    std::set<std::string> shown;
    for (const GalleryStrip& strip : gallery_strips()) {
        for (const std::string& value : strip.values) takes({strip.control, value});
        for (const Setting& s : strip.extra) takes(s);
        EXPECT_TRUE(shown.insert(setting_label(setting_control(*node, {strip.control, ""}))).second) << strip.control;
    }
    int value_controls = 0;
    for (int i = 0; i < node->num_controls(); ++i) {
        const CWidget& c = *node->control(i);
        if (c.kind() == ControlKind::label) continue;
        ++value_controls;
        EXPECT_FALSE(control_meaning(c.label()).empty()) << c.label();
        EXPECT_EQ(shown.count(setting_label(c)), 1u) << c.label();
    }
    EXPECT_EQ(value_controls, 26);
    EXPECT_EQ(shown.size(), 26u);
    EXPECT_EQ(gallery_file_stem("Angle Centre_X"), "angle-centre-x");
    node->Destroy();
}

}  // namespace
