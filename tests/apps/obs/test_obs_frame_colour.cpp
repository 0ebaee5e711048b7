// The OBS filter's pieces that need no graphics: the pixels of asynchronous
// frames in every format it takes, and the mapping between OBS settings and
// the node's controls.
// test-links: trellin_obs_host
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "apps/common/core/control_facts.h"
#include "apps/common/core/module_loader.h"
#include "apps/common/core/sample_convert.h"
#include "apps/obs/frame_colour.h"
#include "apps/obs/property_map.h"
#include "support/obs_test_frame.h"

namespace obs_colour_test {

using obs_test::TestFrame;

const video_format yuv_formats[] = {VIDEO_FORMAT_NV12, VIDEO_FORMAT_I420, VIDEO_FORMAT_I444,
                                    VIDEO_FORMAT_YUY2, VIDEO_FORMAT_UYVY, VIDEO_FORMAT_P010};

// Writes a luma sample where OBS's format puts pixel (x, y), by the
// format's own layout; chroma stays neutral.
void put_luma(TestFrame& t, int x, int y, int code8)
{
    obs_source_frame& f = t.frame;
    std::uint8_t* row = f.data[0] + std::size_t(y) * f.linesize[0];
    switch (f.format) {
    case VIDEO_FORMAT_YUY2:  // Y0 U Y1 V
        row[(x / 2) * 4 + (x % 2) * 2] = std::uint8_t(code8);
        row[(x / 2) * 4 + 1] = row[(x / 2) * 4 + 3] = 128;
        break;
    case VIDEO_FORMAT_UYVY:  // U Y0 V Y1
        row[(x / 2) * 4 + 1 + (x % 2) * 2] = std::uint8_t(code8);
        row[(x / 2) * 4] = row[(x / 2) * 4 + 2] = 128;
        break;
    case VIDEO_FORMAT_P010: {  // 10 bits at the top of little-endian words
        const std::uint16_t word = std::uint16_t((code8 * 4) << 6), half = std::uint16_t(512 << 6);
        std::memcpy(row + x * 2, &word, 2);
        std::uint8_t* uv = f.data[1] + std::size_t(y / 2) * f.linesize[1] + std::size_t(x / 2) * 4;
        std::memcpy(uv, &half, 2);
        std::memcpy(uv + 2, &half, 2);
        break;
    }
    case VIDEO_FORMAT_NV12:
        row[x] = std::uint8_t(code8);
        f.data[1][std::size_t(y / 2) * f.linesize[1] + std::size_t(x / 2) * 2] = 128;
        f.data[1][std::size_t(y / 2) * f.linesize[1] + std::size_t(x / 2) * 2 + 1] = 128;
        break;
    case VIDEO_FORMAT_I420:
        row[x] = std::uint8_t(code8);
        f.data[1][std::size_t(y / 2) * f.linesize[1] + std::size_t(x / 2)] = 128;
        f.data[2][std::size_t(y / 2) * f.linesize[2] + std::size_t(x / 2)] = 128;
        break;
    default:  // I444
        row[x] = std::uint8_t(code8);
        f.data[1][std::size_t(y) * f.linesize[1] + std::size_t(x)] = 128;
        f.data[2][std::size_t(y) * f.linesize[2] + std::size_t(x)] = 128;
        break;
    }
}

// Each format's luma lands on its pixel as grey; a flipped frame's picture
// starts at its last row in memory.
TEST(ObsFrameColour, EachFormatsLumaLandsOnItsPixelAsGrey)
{
    const int w = 6, h = 4;
    for (const video_format format : yuv_formats)
        for (const bool flip : {false, true}) {
            SCOPED_TRACE(std::string(get_video_format_name(format)) + (flip ? " flipped" : ""));
            TestFrame t(format, w, h);
            t.frame.flip = flip;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) put_luma(t, x, y, 16 + 9 * (x + w * y));
            trellin_obs::YuvColour colour;
            ASSERT_TRUE(trellin_obs::yuv_colour(t.frame, colour));
            std::vector<float> rgb;
            trellin_obs::read_yuv(t.frame, colour, rgb);
            ASSERT_EQ(rgb.size(), std::size_t(w * h * 3));
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    // Limited range: code 16 is black, 235 white.
                    const float grey = float(9 * (x + w * (flip ? h - 1 - y : y))) / 219.0f;
                    for (int c = 0; c < 3; ++c)
                        ASSERT_NEAR(rgb[std::size_t((y * w + x) * 3 + c)], grey, 2e-3) << x << "," << y << " c" << c;
                }
        }
}

// RGB whose chroma is the same over each 2 x 2 block survives every format
// within its quantisation, and reading what was written gives the samples
// back exactly.
TEST(ObsFrameColour, RgbRoundTripsThroughEveryYuvFormat)
{
    const int w = 10, h = 6;
    for (const video_range_type range : {VIDEO_RANGE_PARTIAL, VIDEO_RANGE_FULL})
        for (const video_format format : yuv_formats) {
            SCOPED_TRACE(std::string(get_video_format_name(format)) + (range == VIDEO_RANGE_FULL ? " full" : ""));
            TestFrame t(format, w, h, VIDEO_CS_601, range);
            t.frame.flip = range == VIDEO_RANGE_FULL;  // flipped: written where reading takes it from
            trellin_obs::YuvColour colour;
            ASSERT_TRUE(trellin_obs::yuv_colour(t.frame, colour));
            std::vector<float> rgb(std::size_t(w * h * 3));
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const float lift = 0.05f * float((x % 2) + (y % 2));  // grey differs per pixel
                    const int bx = x / 2, by = y / 2;
                    float* p = &rgb[std::size_t((y * w + x) * 3)];
                    p[0] = 0.2f + 0.1f * float(bx) + lift;
                    p[1] = 0.3f + 0.15f * float(by) + lift;
                    p[2] = 0.6f - 0.1f * float(bx) + lift;
                }
            trellin_obs::write_yuv(rgb, colour, t.frame);
            std::vector<float> back;
            trellin_obs::read_yuv(t.frame, colour, back);
            const double tolerance = format == VIDEO_FORMAT_P010 ? 3e-3 : 1.2e-2;
            for (std::size_t i = 0; i < rgb.size(); ++i) ASSERT_NEAR(back[i], rgb[i], tolerance) << i;

            const std::vector<std::uint8_t> written[3] = {t.planes[0], t.planes[1], t.planes[2]};
            trellin_obs::write_yuv(back, colour, t.frame);
            for (int p = 0; p < 3; ++p) EXPECT_EQ(t.planes[p], written[p]) << "plane " << p;
        }
}

// The node's samples straight from and to a frame (NV12's rows in vectors,
// the others per pixel) are the float conversions' samples, through
// from_unit_float and to_unit_float, at widths and heights that leave
// vectors and chroma blocks part full.
TEST(ObsFrameColour, SamplesStraightFromFramesEqualTheFloatConversions)
{
    for (const video_format format : yuv_formats)
        for (const bool flip : {false, true}) {
            SCOPED_TRACE(std::string(get_video_format_name(format)) + (flip ? " flipped" : ""));
            const int w = 45, h = 7;
            TestFrame t(format, w, h);
            t.frame.flip = flip;
            for (int p = 0; p < 3; ++p)
                for (std::size_t i = 0; i < t.planes[p].size(); ++i)
                    t.planes[p][i] = std::uint8_t((i * 97 + std::size_t(p) * 31) % 256);
            trellin_obs::YuvColour colour;
            ASSERT_TRUE(trellin_obs::yuv_colour(t.frame, colour));
            std::vector<float> rgb;
            trellin_obs::read_yuv(t.frame, colour, rgb);
            trellin_app::HostPicture words;
            trellin_obs::read_yuv(t.frame, colour, words);
            ASSERT_EQ(words.data.size(), rgb.size());
            for (std::size_t i = 0; i < rgb.size(); ++i)
                ASSERT_EQ(words.data[i], trellin_app::from_unit_float(rgb[i])) << i;

            for (std::size_t i = 0; i < rgb.size(); ++i) rgb[i] = trellin_app::to_unit_float(words.data[i]);
            TestFrame from_floats(format, w, h), from_words(format, w, h);
            from_floats.frame.flip = from_words.frame.flip = flip;
            trellin_obs::write_yuv(rgb, colour, from_floats.frame);
            trellin_obs::write_yuv(words, colour, from_words.frame);
            for (int p = 0; p < 3; ++p) EXPECT_EQ(from_words.planes[p], from_floats.planes[p]) << "plane " << p;
        }
}

TEST(ObsFrameColour, PackedFramesKeepOrderAlphaAndPadding)
{
    TestFrame bgra(VIDEO_FORMAT_BGRA, 2, 1);
    const std::uint8_t pixel[8] = {10, 20, 30, 40, 50, 60, 70, 80};
    std::memcpy(bgra.frame.data[0], pixel, 8);
    trellin_app::HostPicture picture;
    trellin_obs::read_packed(bgra.frame, picture);
    ASSERT_EQ(picture.samples, 4);
    EXPECT_EQ(picture.at(0, 0, 0), 30 * 257);  // red
    EXPECT_EQ(picture.at(0, 0, 2), 10 * 257);  // blue
    EXPECT_EQ(picture.at(1, 0, 3), 80 * 257);  // alpha
    std::memset(bgra.frame.data[0], 0, 8);
    trellin_obs::write_packed(picture, bgra.frame);
    EXPECT_EQ(0, std::memcmp(bgra.frame.data[0], pixel, 8));

    TestFrame bgrx(VIDEO_FORMAT_BGRX, 2, 1);
    std::memcpy(bgrx.frame.data[0], pixel, 8);
    trellin_obs::read_packed(bgrx.frame, picture);
    ASSERT_EQ(picture.samples, 3);
    EXPECT_EQ(picture.at(1, 0, 0), 70 * 257);
    trellin_obs::write_packed(picture, bgrx.frame);
    EXPECT_EQ(bgrx.frame.data[0][3], 255);
    EXPECT_EQ(bgrx.frame.data[0][7], 255);
    EXPECT_EQ(bgrx.frame.data[0][4], 50);
}

TEST(ObsFrameColour, FramesWithoutAColourDescriptionAreRefused)
{
    TestFrame t(VIDEO_FORMAT_NV12, 2, 2);
    std::memset(t.frame.color_matrix, 0, sizeof(t.frame.color_matrix));
    trellin_obs::YuvColour colour;
    EXPECT_FALSE(trellin_obs::yuv_colour(t.frame, colour));
    EXPECT_EQ(trellin_obs::frame_kind(VIDEO_FORMAT_Y800), trellin_obs::FrameKind::unsupported);
}

// The settings against a node of the effect.
class ObsSettings : public ::testing::Test {
protected:
    void SetUp() override
    {
        node = module.create_node();
        facts = trellin_app::control_facts(*node);
        settings = obs_data_create();
        trellin_obs::set_defaults(settings, facts);
    }
    void TearDown() override { obs_data_release(settings); }

    CWidget& control(const std::string& label) { return *node->control(facts.find(label)->control); }

    trellin_app::NodeModule module = trellin_app::NodeModule::open(TRELLIN_BIN_DIR "/TrellinVx.node");
    trellin_app::NodePtr node;
    trellin_app::ControlFacts facts;
    obs_data_t* settings = nullptr;
};

TEST_F(ObsSettings, ChangedControlsLoseTheirKeysAndTheOthersKeepThem)
{
    const double v[4] = {0.2, 0, 0, 0};
    control("CellSize").set_key({10.0, {0.4, 0, 0, 0}});
    control("CellSize").set_values(v);
    control("Index").set_key({10.0, {1.9, 0, 0, 0}});
    trellin_obs::write_settings(*node, facts, settings);
    obs_data_set_double(settings, "Index", 1.25);
    obs_data_set_string(settings, "Edge", "no such item");
    double before[4] = {};
    control("Edge").get_values(before);

    trellin_obs::read_settings(settings, facts, *node);
    EXPECT_EQ(control("CellSize").keys().size(), 1u);
    EXPECT_TRUE(control("Index").keys().empty());
    double got[4] = {};
    control("Index").get_values(got);
    EXPECT_EQ(got[0], 1.25);
    control("Edge").get_values(got);
    EXPECT_EQ(got[0], before[0]);
}

TEST_F(ObsSettings, ColoursAndChoicesTravelAsOBSKeepsThem)
{
    const double orange[4] = {1.0, 0.5, 0.0, 1.0};
    EXPECT_EQ(trellin_obs::obs_colour(orange), 0xff0080ffLL);
    double back[4] = {};
    trellin_obs::colour_channels(0xff0080ffLL, back);
    EXPECT_EQ(trellin_obs::obs_colour(back), 0xff0080ffLL);

    const trellin_app::ControlFact* shape = facts.find("CellShape");
    ASSERT_NE(shape, nullptr);
    obs_data_set_string(settings, shape->label.c_str(), "Triangle");
    trellin_obs::read_settings(settings, facts, *node);
    double got[4] = {};
    node->control(shape->control)->get_values(got);
    EXPECT_EQ(shape->items[std::size_t(got[0])], "Triangle");
}

TEST_F(ObsSettings, PropertiesCarryTitlesTooltipsGroupsAndPairs)
{
    obs_properties_t* props = obs_properties_create();
    const std::vector<trellin_app::LookEntry> looks{{"lit-domes", "", "/nowhere/lit-domes.json"}};
    trellin_obs::add_properties(props, facts, looks, trellin_obs::LookTexts{});
    for (const trellin_app::ControlFact& f : facts.controls) {
        obs_property_t* p = obs_properties_get(props, f.label.c_str());
        ASSERT_NE(p, nullptr) << f.label;
        EXPECT_EQ(std::string(obs_property_description(p)), f.title);
        EXPECT_EQ(std::string(obs_property_long_description(p)), f.meaning) << f.label;
        if (f.is_position_x()) {
            obs_property_t* next = p;
            ASSERT_TRUE(obs_property_next(&next));
            EXPECT_EQ(std::string(obs_property_name(next)), facts.controls[std::size_t(f.partner)].label);
        }
    }
    EXPECT_EQ(obs_property_get_type(obs_properties_get(props, "Light")), OBS_PROPERTY_COLOR_ALPHA);
    obs_property_t* look = obs_properties_get(props, trellin_obs::look_setting);
    ASSERT_EQ(obs_property_list_item_count(look), 2u);
    EXPECT_EQ(std::string(obs_property_list_item_string(look, 1)), "lit-domes");
    obs_properties_destroy(props);
}

}  // namespace obs_colour_test
