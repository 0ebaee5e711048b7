// The "did you mean" helper: the closest known name, only when it is close.
// test-links: trellin_app_core
#include <gtest/gtest.h>

#include "apps/common/core/nearest_name.h"

namespace {

using trellin_app::nearest_name;

TEST(NearestName, SuggestsOnlyCloseNamesAndPrefersTheEarlierOnATie)
{
    const std::vector<std::string> labels{"Cell Count X", "Cell Count Y", "Index", "Edge", "Light", "LightZ", "Gloss"};
    const std::pair<std::string, std::string> cases[] = {
        {"indx", "Index"},               // a letter dropped, any case
        {"Idnex", "Index"},              // neighbours swapped
        {"Cell Count", "Cell Count X"},  // two letters short of two names: the first
        {"cell count y", "Cell Count Y"},
        {"Egde", "Edge"},
        {"LightX", "Light"},  // one edit from both: the first
        {"Sparkle", ""},      // nothing near
        {"x", ""},
        {"", ""},
    };
    for (const auto& [given, expected] : cases) EXPECT_EQ(nearest_name(given, labels), expected) << given;
    EXPECT_EQ(nearest_name("rendr", {"render", "info", "demo", "overlay", "pipe", "farm"}), "render");
    EXPECT_EQ(nearest_name("--frame", {"--help", "--frames", "--set"}), "--frames");
    EXPECT_EQ(nearest_name(std::string(100000, 'a'), labels), "");
    EXPECT_EQ(trellin_app::did_you_mean("Hexagn", {"Square", "Hexagon"}), " (did you mean \"Hexagon\"?)");
}

}  // namespace
