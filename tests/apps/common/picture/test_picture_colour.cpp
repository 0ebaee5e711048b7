// Colour around the node, in process: conversions against values worked out by hand, names
// resolved through an OpenColorIO config the test writes, the shipped video spaces (Rec2020, PQ,
// HLG) against their curves' formulas, the log curve's round trip through the node's own sample
// exchange, and associated alpha divided out and multiplied back.
// test-links: trellin_app_picture
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "apps/common/core/hdr_curve.h"
#include "apps/common/picture/colour_space.h"
#include "apps/common/picture/picture_attributes.h"
#include "apps/common/picture/picture_colour.h"
#include "pixels/image_exchange.h"

namespace {

using namespace trellin_app;
namespace fs = std::filesystem;

// sRGB's transfer by its formula, for the expectations.
double srgb_encode(double x)
{
    return x <= 0.0031308 ? 12.92 * x : 1.055 * std::pow(x, 1 / 2.4) - 0.055;
}

HostPicture one_pixel(float r, float g, float b, float a)
{
    HostPicture p(1, 1, 4);
    const float v[] = {r, g, b, a};
    for (int c = 0; c < 4; ++c) p.data[std::size_t(c)] = static_cast<std::uint16_t>(std::lround(v[c] * 65535.0f));
    return p;
}

TEST(ColourSpaces, BuiltInConversionsMatchTheWorkedValues)
{
    const ColourSpaces spaces;
    // Linear 0.18: 1.055 * 0.18^(1/2.4) - 0.055 = 0.461356 in sRGB. sRGB 128/255: ((128/255 + 0.055) /
    // 1.055)^2.4 = 0.2158605 in linear light.
    float px[] = {0.18f, 1.0f, 0.0f, 0.5f, 128.0f / 255.0f, 0.25f, 0.0031308f, 1.0f};
    spaces.conversion("Linear", "srgb")->apply(px, 1, 4);
    EXPECT_NEAR(px[0], 0.461356, 1e-5);
    EXPECT_NEAR(px[1], 1.0, 1e-6);
    EXPECT_EQ(px[3], 0.5f) << "alpha is not a colour";
    spaces.conversion("sRGB", "linear")->apply(px + 4, 1, 4);
    EXPECT_NEAR(px[4], 0.2158605, 1e-6);
    EXPECT_NEAR(px[5], std::pow((0.25 + 0.055) / 1.055, 2.4), 1e-6);
    EXPECT_NEAR(px[6], 0.0031308 / 12.92, 1e-8) << "the straight segment near black";

    EXPECT_EQ(spaces.conversion("sRGB", "SRGB"), nullptr);
    EXPECT_EQ(spaces.resolve("gamma2.2"), "Gamma2.2");
    EXPECT_EQ(spaces.resolve("ACEScg"), "");  // refused naming the known ones: VideoSpacesMatchTheirCurvesAndRoundTrip
}

// Two spaces and one transform between them: "plate" is "scene" doubled.
std::string write_config(const fs::path& dir)
{
    const fs::path path = dir / "two.ocio";
    std::ofstream(path) << R"(ocio_profile_version: 2
roles:
  default: scene
  scene_linear: scene
  reference: scene
displays:
  sRGB:
    - !<View> {name: Plain, colorspace: plate}
colorspaces:
  - !<ColorSpace>
    name: scene
    aliases: [lin_scene]
  - !<ColorSpace>
    name: plate
    from_scene_reference: !<MatrixTransform> {matrix: [2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1]}
)";
    return path.string();
}

TEST(ColourSpaces, NamesResolveThroughAConfig)
{
    const fs::path dir = fs::temp_directory_path() / ("trellin-config-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const ColourSpaces spaces(write_config(dir));
    EXPECT_EQ(spaces.resolve("PLATE"), "plate");
    EXPECT_EQ(spaces.resolve("lin_scene"), "scene");
    EXPECT_EQ(spaces.resolve("linear"), "scene") << "the scene_linear role";
    EXPECT_TRUE(spaces.same("linear", "scene"));
    float px[] = {0.25f, 1.5f, -0.5f, 0.75f};
    spaces.conversion("lin_scene", "plate")->apply(px, 1, 4);
    EXPECT_FLOAT_EQ(px[0], 0.5f);
    EXPECT_FLOAT_EQ(px[1], 3.0f);
    EXPECT_FLOAT_EQ(px[2], -1.0f);
    EXPECT_EQ(px[3], 0.75f);
    spaces.display_conversion("scene")->apply(px, 1, 4);
    EXPECT_FLOAT_EQ(px[0], 1.0f) << "through the sRGB display's view";
    EXPECT_THROW(spaces.require("ACEScg", "x"), ColourError);
    EXPECT_THROW(ColourSpaces((dir / "missing.ocio").string()), ColourError);
    fs::remove_all(dir);
}

// The video spaces as the source tree ships them.
std::string shipped_spaces()
{
    return std::string(TRELLIN_SOURCE_DIR) + "/apps/colour/spaces.ocio";
}

// SMPTE ST 2084 of linear light where 1.0 is 100 cd/m2 (so 100.0 is its 10000).
double pq_encode(double linear)
{
    const double m1 = 2610.0 / 16384, m2 = 2523.0 / 4096 * 128, c1 = 3424.0 / 4096, c2 = 2413.0 / 4096 * 32,
                 c3 = 2392.0 / 4096 * 32;
    const double y = std::pow(linear / 100.0, m1);
    return std::pow((c1 + c2 * y) / (1 + c3 * y), m2);
}

// HLG of a grey shown on a 1000 cd/m2 display (system gamma 1.2), 1.0 being 100 cd/m2.
double hlg_encode(double linear)
{
    const double a = 0.17883277, b = 1 - 4 * a, c = 0.5 - a * std::log(4 * a);
    const double e = std::pow(linear / 10.0, 1 / 1.2);
    return e <= 1.0 / 12 ? std::sqrt(3 * e) : a * std::log(12 * e - b) + c;
}

float converted(const ColourSpaces& spaces, const std::string& from, const std::string& to, float v, int channel = 0)
{
    float px[] = {v, v, v};
    if (channel != 0) px[0] = px[1] = px[2] = 0.0f, px[channel - 1] = v;
    if (const ConversionPtr c = spaces.conversion(from, to)) c->apply(px, 1, 3);
    return px[channel == 0 ? 0 : 1];
}

TEST(ColourSpaces, VideoSpacesMatchTheirCurvesAndRoundTrip)
{
    const ColourSpaces spaces("", shipped_spaces());
    EXPECT_EQ(spaces.resolve("rec2020"), "Rec2020");
    EXPECT_EQ(spaces.resolve("Rec.2100-PQ"), "PQ");
    EXPECT_EQ(spaces.resolve("hlg"), "HLG");
    EXPECT_EQ(spaces.resolve("linear"), "linear") << "linear stays OpenImageIO's own";
    EXPECT_TRUE(spaces.hdr_video("pq") && spaces.hdr_video("HLG"));
    EXPECT_FALSE(spaces.hdr_video("Rec2020") || spaces.hdr_video("sRGB"));

    // Worked values: 100 cd/m2 (linear 1.0), PQ's top at linear 100, HLG's at linear 10; a
    // built-in space meets a shipped one in linear (Gamma2.2 0.5 is linear 0.5^2.2).
    for (const float linear : {0.01f, 0.18f, 1.0f, 5.0f, 100.0f})
        EXPECT_NEAR(converted(spaces, "linear", "PQ", linear), pq_encode(linear), 2e-5) << linear;
    for (const float linear : {0.01f, 0.18f, 1.0f, 10.0f})
        EXPECT_NEAR(converted(spaces, "linear", "HLG", linear), hlg_encode(linear), 2e-5) << linear;
    EXPECT_NEAR(converted(spaces, "Gamma2.2", "PQ", 0.5f), pq_encode(std::pow(0.5, 2.2)), 2e-5);
    EXPECT_NEAR(converted(spaces, "linear", "Rec2020", 0.18f), 1.099 * std::pow(0.18, 0.45) - 0.099, 1e-5);
    // Rec.709 red holds 0.0691 of Rec.2020's green.
    EXPECT_NEAR(converted(spaces, "linear", "Rec2020", 1.0f, 1), 1.099 * std::pow(0.0690973, 0.45) - 0.099, 1e-4);

    // In and out of each space, through linear and through the sRGB PQ and HLG are worked in,
    // returns every code within 1e-4. (Through sRGB, colours near grey: OpenImageIO's sRGB curve
    // is good to 1e-5 of the value, and a saturated Rec.2020 colour's weak channel is the small
    // difference of large linear Rec.709 ones.)
    for (const std::string space : {"Rec2020", "PQ", "HLG"})
        for (const std::string via : {"linear", "sRGB"})
            for (const float code : {0.05f, 0.3f, 0.5f, 0.75f, 0.98f}) {
                const bool grey = via == "sRGB";
                float px[] = {code, code * (grey ? 0.9f : 0.5f), grey ? code * 0.8f : 1.0f - code, 0.5f};
                const float want[] = {px[0], px[1], px[2]};
                spaces.conversion(space, via)->apply(px, 1, 4);
                spaces.conversion(via, space)->apply(px, 1, 4);
                for (int c = 0; c < 3; ++c) EXPECT_NEAR(px[c], want[c], 1e-4) << space << " via " << via << " " << code;
                EXPECT_EQ(px[3], 0.5f);
            }

    // Below code 0.03 (under 0.01 cd/m2) OpenColorIO 2.1's HLG comes back within 0.002 only.
    for (const float code : {0.005f, 0.01f, 0.02f}) {
        float px[] = {code, code, code};
        spaces.conversion("HLG", "linear")->apply(px, 1, 3);
        spaces.conversion("linear", "HLG")->apply(px, 1, 3);
        EXPECT_NEAR(px[0], code, 2e-3);
    }

    // The refusal lists them; without the shipped file they are unknown, and nothing else changes.
    try {
        spaces.require("Rec2021", "--colorspace-in");
        FAIL();
    } catch (const ColourError& e) {
        EXPECT_NE(std::string(e.what()).find("Rec709, Rec2020, PQ, HLG and GammaN"), std::string::npos) << e.what();
    }
    const ColourSpaces without("", "/nonexistent/spaces.ocio");
    EXPECT_EQ(without.resolve("PQ"), "");
    EXPECT_FALSE(without.hdr_video("PQ"));
    EXPECT_NEAR(converted(without, "linear", "sRGB", 0.18f), srgb_encode(0.18), 1e-5);
    try {
        without.require("PQ", "--colorspace-out");
        FAIL();
    } catch (const ColourError& e) {
        EXPECT_NE(std::string(e.what()).find("/nonexistent/spaces.ocio is missing"), std::string::npos) << e.what();
    }
}

// v into the node's 16-bit host sample, through the node's own exchange (15 bits inside) and back.
float through_node(float v)
{
    std::uint16_t host[4] = {static_cast<std::uint16_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 65535.0f)), 0, 0,
                             65535};
    _image_str image{1, 1, 4, 0, host};
    vx::ImageVx* record = vx::import_host_image(&image);
    vx::export_to_host_image(record, &image);
    delete record;
    return float(host[0]) / 65535.0f;
}

TEST(HdrLog, ValuesComeBackWithinTheStatedPrecision)
{
    EXPECT_NEAR(hdr_log::encode(float(hdr_log::lowest)), 0.0, 1e-5);
    EXPECT_NEAR(hdr_log::encode(float(hdr_log::highest)), 1.0, 1e-6);
    // Continuous where the toe meets the logarithm.
    EXPECT_NEAR(hdr_log::encode(0.125f - 1e-6f), hdr_log::encode(0.125f), 1e-6);
    double worst_stops = 0, worst_toe = 0;
    for (double x = hdr_log::lowest; x <= hdr_log::highest; x = x < 0.125 ? x + 0.0007 : x * 1.0137) {
        const float back = hdr_log::decode(through_node(hdr_log::encode(float(x))));
        if (x >= hdr_log::toe_end)
            worst_stops = std::max(worst_stops, std::abs(std::log2(back / x)));
        else
            worst_toe = std::max(worst_toe, std::abs(back - x));
    }
    EXPECT_LE(worst_stops, hdr_log::stops_error + 1e-6);
    EXPECT_LE(worst_toe, hdr_log::toe_error + 1e-7);
    EXPECT_GT(worst_stops, hdr_log::stops_error / 3) << "the bound is not loose";
}

TEST(PictureColourTest, AssociatedAlphaIsDividedOutAndMultipliedBack)
{
    const ColourSpaces spaces;
    const PictureColour colour({}, &spaces);
    PictureSource exr;
    exr.format = "openexr";
    exr.float_samples = exr.alpha = exr.associated_alpha = true;
    exr.samples = {0.1f, 0.2f, 0.0f, 0.25f};
    const NodeFrame frame = colour.to_node(one_pixel(0, 0, 0, 0), exr, "soft.exr");
    EXPECT_EQ(frame.input_space, "linear");
    EXPECT_EQ(frame.picture.data[0], std::lround(0.4 * 65535)) << "colour divided by alpha 0.25";
    EXPECT_EQ(frame.picture.data[1], std::lround(0.8 * 65535));

    // Back into OpenEXR: multiplied by the input's alpha as read; into PNG: sRGB, left divided.
    const OutputFrame out =
        colour.from_node(frame.picture, frame, "linear", file_output_form("openexr", SampleDepth::automatic));
    EXPECT_NEAR(out.samples[0], 0.1, 1e-5);
    EXPECT_EQ(out.samples[3], 0.25f);
    const OutputFrame png =
        colour.from_node(frame.picture, frame, "sRGB", file_output_form("png", SampleDepth::automatic));
    EXPECT_NEAR(png.samples[1], srgb_encode(0.8), 1e-4);
    EXPECT_EQ(png.picture.attributes->list.get_string("oiio:ColorSpace"), "sRGB");

    // Highlights: kept as parts by default, clipped and counted with --hdr none, kept with --hdr log.
    exr.samples = {4.0f, -0.1f, 0.5f, 1.0f};
    const NodeFrame split = colour.to_node(one_pixel(0, 0, 0, 0), exr, "hot.exr");
    EXPECT_EQ(split.clipped.clipped, 0);
    EXPECT_EQ(split.parts.above_scale, 3.0f);
    EXPECT_FLOAT_EQ(split.parts.below_scale, 0.1f);
    EXPECT_EQ(split.picture.data[0], 65535);
    EXPECT_EQ(split.parts.above.data[0], 65535);
    EXPECT_EQ(split.parts.below.data[1], 65535);
    RenderOptions none;
    none.hdr = HdrMode::none;
    EXPECT_EQ(PictureColour(none, &spaces).to_node(one_pixel(0, 0, 0, 0), exr, "hot.exr").clipped.clipped, 2);
    RenderOptions hdr;
    hdr.hdr = HdrMode::log;
    const PictureColour logged(hdr, &spaces);
    const NodeFrame kept = logged.to_node(one_pixel(0, 0, 0, 0), exr, "hot.exr");
    EXPECT_EQ(kept.clipped.clipped, 0);
    EXPECT_NEAR(
        logged.from_node(kept.picture, kept, "linear", file_output_form("openexr", SampleDepth::automatic)).samples[0],
        4.0, 4.0 * 0.0005);
}

// A PQ picture within SDR's range reaches the node as the same picture in sRGB does, so the
// look is the SDR look; light above SDR's white is split off and comes back.
TEST(PictureColourTest, PqIsWorkedOnInSrgbWithItsHighlightsSplit)
{
    const ColourSpaces spaces("", shipped_spaces());
    const PictureColour colour({}, &spaces);
    const float sdr[] = {0.05f, 0.5f, 0.9f, 1.0f, 0.25f, 0.0f, 1.0f, 0.75f};
    HostPicture srgb(2, 1, 4), pq(2, 1, 4);
    for (std::size_t p = 0; p < 2; ++p) {
        float v[4];
        std::copy(sdr + 4 * p, sdr + 4 * p + 4, v);
        spaces.conversion("sRGB", "PQ")->apply(v, 1, 4);
        for (std::size_t c = 0; c < 4; ++c) {
            srgb.data[4 * p + c] = static_cast<std::uint16_t>(std::lround(sdr[4 * p + c] * 65535.0f));
            pq.data[4 * p + c] = static_cast<std::uint16_t>(std::lround(v[c] * 65535.0f));
        }
    }
    PictureSource png, video;
    png.alpha = video.alpha = true;
    video.format = "video";
    video.metadata_space = "PQ";
    video.metadata_origin = "its colour tags";
    const NodeFrame a = colour.to_node(srgb, png, "sdr.png");
    const NodeFrame b = colour.to_node(pq, video, "pq.mov");
    EXPECT_EQ(b.input_space, "PQ");
    EXPECT_EQ(b.working_space, "sRGB");
    EXPECT_EQ(b.hdr, HdrMode::split);
    EXPECT_TRUE(b.notes.empty());
    for (std::size_t i = 0; i < 8; ++i) EXPECT_NEAR(b.picture.data[i], a.picture.data[i], 3) << "sample " << i;
    EXPECT_TRUE(b.parts.empty());

    // 1000 cd/m2 (linear 10) is 2.73 in sRGB: split off, and back in PQ as it came.
    const float hot = float(pq_encode(10.0));
    for (std::size_t i = 0; i < 3; ++i) pq.data[i] = static_cast<std::uint16_t>(std::lround(hot * 65535.0f));
    const NodeFrame c = colour.to_node(pq, video, "pq.mov");
    EXPECT_EQ(c.picture.data[0], 65535);
    EXPECT_NEAR(c.parts.above_scale, 1.055 * std::pow(10.0, 1 / 2.4) - 0.055 - 1.0, 1e-3);
    const OutputFrame out =
        colour.from_node(c.picture, c, "PQ", file_output_form("png", SampleDepth::automatic), &c.parts);
    EXPECT_NEAR(out.samples[0], hot, 1e-4);
    EXPECT_NEAR(out.samples[5], pq.data[5] / 65535.0, 1e-4);
    EXPECT_EQ(out.clipped.clipped, 0);
}

TEST(PictureColourTest, TheDisplayShowsTheWorkingSpaceAsSrgb)
{
    const ColourSpaces spaces;
    RenderOptions options;
    options.working_space = "linear";
    const PictureColour colour(options, &spaces);
    PictureSource png;
    png.format = "png";
    const NodeFrame frame = colour.to_node(one_pixel(0.5f, 0.5f, 0.5f, 1.0f), png, "grey.png");
    EXPECT_NEAR(frame.picture.data[0] / 65535.0, std::pow((0.5 + 0.055) / 1.055, 2.4), 1e-4) << "in linear light";
    EXPECT_NEAR(colour.for_display(frame.picture, frame).data[0] / 65535.0, 0.5, 1e-4) << "shown as it looks";
}

}  // namespace
