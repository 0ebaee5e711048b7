// The OpenFX bundle in a test host that loads it by the bundle's layout and
// implements the suites it uses (ofx_test_host.h). Its description must
// match `trellin info`, and its frames must equal `trellin render` of the
// same picture with the same settings, whatever form the host hands the
// images in.
// test-links: trellin_gl
// test-builds: trellin_ofx trellin
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <tuple>

#include "apps/common/core/sample_convert.h"
#include "apps/gl/headless_view.h"
#include "support/ofx_agreement_frames.h"
#include "support/ofx_bundle_host.h"
#include "support/trellin_cli_support.h"

namespace {

using namespace trellin_test;
using namespace ofx_bundle;

class OfxPlugin : public TrellinTest {
protected:
    // `trellin render` of `picture` written as `file` with `args`; the result read back.
    FileImage trellin_render(const std::string& file, OIIO::TypeDesc type, const void* picture, int w, int h,
                             const std::vector<std::string>& args, const std::string& out_file, bool associated = false,
                             float pixel_aspect = 1.0f)
    {
        auto out = OIIO::ImageOutput::create(path(file));
        OIIO::ImageSpec spec(w, h, 4, type);
        if (!associated) spec.attribute("oiio:UnassociatedAlpha", 1);
        if (pixel_aspect != 1.0f) spec.attribute("PixelAspectRatio", pixel_aspect);
        EXPECT_TRUE(out && out->open(path(file), spec) && out->write_image(type, picture) && out->close());
        std::vector<std::string> all{"render", path(file), path(out_file)};
        all.insert(all.end(), args.begin(), args.end());
        const RunResult r = run(all);
        EXPECT_EQ(r.code, 0) << r.err;
        return read_file(dir / out_file);
    }

    // Whether the instance's last output equals `trellin render` with `args` of `in`, the picture its
    // source was given, written as `file` (with associated alpha when the source is premultiplied, and
    // the source's pixel aspect): bit for bit, floats rendered with --depth float and 8-bit outputs as
    // the rendered samples brought to 8 bits.
    template <class T>
    bool renders_as_trellin(Effect& e, const std::vector<T>& in, std::vector<std::string> args,
                            const std::string& file = "in.png")
    {
        const ImageLayout& l = e.clips[kOfxImageEffectSimpleSourceClipName]->layout;
        const OIIO::TypeDesc type = sizeof(T) == 1   ? OIIO::TypeDesc::UINT8
                                    : sizeof(T) == 2 ? OIIO::TypeDesc::UINT16
                                                     : OIIO::TypeDesc::FLOAT;
        if (sizeof(T) == 4) args.insert(args.end(), {"--depth", "float"});
        const FileImage ref = trellin_render(file, type, in.data(), l.width(), l.height(), args, "out-" + file,
                                             l.premultiplication == kOfxImagePreMultiplied, float(l.pixel_aspect));
        const std::vector<T> out = output_picture<T>(e);
        if constexpr (sizeof(T) == 4) {
            return out.size() == ref.f32.size() &&
                   std::memcmp(out.data(), ref.f32.data(), out.size() * sizeof(float)) == 0;
        } else {
            std::vector<T> expected(ref.u16.size());
            for (std::size_t i = 0; i < expected.size(); ++i)
                expected[i] = sizeof(T) == 1 ? T(trellin_app::to_8bit(ref.u16[i])) : T(ref.u16[i]);
            return out == expected;
        }
    }
};

// Splits a `trellin info` control line at the columns its header starts.
std::map<std::string, std::string> info_row(const std::string& header, const std::string& line)
{
    static const char* names[] = {"#", "label", "kind", "column", "row", "default", "step", "meaning", "range"};
    std::vector<std::size_t> at;
    for (const char* n : names) at.push_back(header.find(std::string(" ") + n + " ") + 1);
    at.back() = header.find(" range") + 1;
    std::map<std::string, std::string> row;
    for (std::size_t k = 0; k < at.size(); ++k) {
        std::string cell =
            at[k] < line.size() ? line.substr(at[k], k + 1 < at.size() ? at[k + 1] - at[k] : std::string::npos) : "";
        while (!cell.empty() && cell.back() == ' ') cell.pop_back();
        row[names[k]] = cell;
    }
    return row;
}

TEST_F(OfxPlugin, DescribesEveryControlAsTrellinInfoShowsIt)
{
    ofxtest::TestHost& h = host();
    ASSERT_NE(h.plugin, nullptr);
    EXPECT_STREQ(h.plugin->pluginApi, "OfxImageEffectPluginAPI");
    EXPECT_EQ(h.plugin->apiVersion, 1);
    const ofxtest::PropertySet& d = h.descriptor.props;
    EXPECT_EQ(d.string(kOfxPropLabel), "Trellin Glass");
    EXPECT_EQ(d.strings(kOfxImageEffectPropSupportedContexts),
              (std::vector<std::string>{kOfxImageEffectContextFilter, kOfxImageEffectContextGeneral}));
    EXPECT_EQ(d.strings(kOfxImageEffectPropSupportedPixelDepths),
              (std::vector<std::string>{kOfxBitDepthByte, kOfxBitDepthShort, kOfxBitDepthFloat}));
    EXPECT_EQ(d.ints(kOfxImageEffectPropSupportsTiles), std::vector<int>{0});
    EXPECT_EQ(d.ints(kOfxImageEffectPropSupportsMultiResolution), std::vector<int>{0});
    EXPECT_NE(d.pointer(kOfxImageEffectPluginPropOverlayInteractV1), nullptr);
    EXPECT_TRUE(fs::exists(bundle + "/Contents/Resources/" + d.string(kOfxPropIcon, 1)));
    ASSERT_TRUE(h.descriptor.clips.count("Source") && h.descriptor.clips.count("Output"));

    const RunResult info = run({"info"});
    ASSERT_EQ(info.code, 0) << info.err;
    std::istringstream lines(info.out);
    std::string line, header;
    int checked = 0;
    while (std::getline(lines, line)) {
        if (line.rfind("  #   label", 0) == 0) {
            header = line;
            continue;
        }
        if (header.empty() || line.size() < 4) continue;
        auto row = info_row(header, line);
        const std::string& label = row["label"];
        const std::string& kind = row["kind"];
        if (kind == "label") {
            // Panel labels are the groups.
            bool found = false;
            for (const auto& p : h.descriptor.params.params)
                found |= p->type == kOfxParamTypeGroup && p->props.string(kOfxPropLabel) == label;
            EXPECT_TRUE(found) << label;
            continue;
        }
        // Crosshair controls are one 2D parameter: "Light_X" is the x of "Light Position".
        const bool is_x = label.size() > 2 && label.substr(label.size() - 2) == "_X";
        const bool is_y = label.size() > 2 && label.substr(label.size() - 2) == "_Y";
        const std::string base = is_x || is_y ? label.substr(0, label.size() - 2) : label;
        // Parameters are named by the control's label, its letters and
        // digits run together; the panel shows a readable title.
        std::string name;
        for (std::size_t i = 0; i < base.size(); ++i)
            if (std::isalnum(static_cast<unsigned char>(base[i])) != 0)
                name += i == 0 || base[i - 1] == ' ' ? static_cast<char>(std::toupper(base[i])) : base[i];
        const Param* param = nullptr;
        for (const auto& p : h.descriptor.params.params) {
            const bool pair = p->type == kOfxParamTypeDouble2D;
            if (p->type != kOfxParamTypeGroup && pair == (is_x || is_y) &&
                (p->name == name || p->name == name + "Position"))
                param = p.get();
        }
        ASSERT_NE(param, nullptr) << label;
        const std::string title = param->props.string(kOfxPropLabel);
        const bool words = title.find(' ') != std::string::npos;
        const bool one_word = title.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ", 1) == std::string::npos;
        EXPECT_TRUE(title.find('_') == std::string::npos && (words || one_word))
            << label << ": \"" << title << "\" is not a readable title";
        EXPECT_FALSE(param->props.string(kOfxParamPropHint).empty()) << label;
        const int k = is_y ? 1 : 0;
        if (kind == "numeric") {
            const bool whole = row["step"] == "1" && param->type == kOfxParamTypeInteger;
            if (is_x || is_y)
                EXPECT_EQ(param->type, kOfxParamTypeDouble2D) << label;
            else
                EXPECT_TRUE(whole || param->type == kOfxParamTypeDouble) << label << " " << param->type;
            double lo = 0, hi = 0;
            ASSERT_EQ(std::sscanf(row["range"].c_str(), "%lf to %lf", &lo, &hi), 2) << row["range"];
            const double fallback = std::stod(row["default"]);
            if (is_x || is_y) {
                // A position on the picture in the host's coordinates (y up),
                // its default given as fractions for the host to place.
                EXPECT_EQ(param->props.string(kOfxParamPropDoubleType), kOfxParamDoubleTypeXYAbsolute) << label;
                EXPECT_EQ(param->props.string(kOfxParamPropDefaultCoordinateSystem), kOfxParamCoordinatesNormalised)
                    << label;
                EXPECT_EQ(param->props.doubles(kOfxParamPropDefault).at(std::size_t(k)),
                          is_y ? 1.0 - fallback : fallback)
                    << label;
                EXPECT_LE(param->props.doubles(kOfxParamPropMin).at(std::size_t(k)), -1e6) << label;
                EXPECT_GE(param->props.doubles(kOfxParamPropMax).at(std::size_t(k)), 1e6) << label;
            } else if (param->is_double()) {
                EXPECT_EQ(param->props.doubles(kOfxParamPropMin).at(std::size_t(k)), lo) << label;
                EXPECT_EQ(param->props.doubles(kOfxParamPropMax).at(std::size_t(k)), hi) << label;
                EXPECT_EQ(param->props.doubles(kOfxParamPropDefault).at(std::size_t(k)), fallback) << label;
                EXPECT_EQ(param->props.doubles(kOfxParamPropIncrement).at(0) <= std::stod(row["step"]), true) << label;
                // A slider spans the whole range, or the part of it a hand uses.
                const double shown_lo = param->props.doubles(kOfxParamPropDisplayMin).at(std::size_t(k));
                const double shown_hi = param->props.doubles(kOfxParamPropDisplayMax).at(std::size_t(k));
                EXPECT_TRUE(lo <= shown_lo && shown_lo < shown_hi && shown_hi <= hi) << label;
                if (label == "Gloss") {
                    EXPECT_LE(shown_hi, 200.0);
                }
            } else {
                EXPECT_EQ(param->props.ints(kOfxParamPropMin).at(0), lo) << label;
                EXPECT_EQ(param->props.ints(kOfxParamPropMax).at(0), hi) << label;
                EXPECT_EQ(param->props.ints(kOfxParamPropDefault).at(0), fallback) << label;
            }
        } else if (kind == "boolean") {
            EXPECT_EQ(param->type, kOfxParamTypeBoolean) << label;
            EXPECT_EQ(param->props.ints(kOfxParamPropDefault).at(0), row["default"] == "on" ? 1 : 0) << label;
        } else if (kind == "option") {
            EXPECT_EQ(param->type, kOfxParamTypeChoice) << label;
            std::string items;
            for (const std::string& item : param->props.strings(kOfxParamPropChoiceOption))
                items += (items.empty() ? "" : ", ") + item;
            EXPECT_EQ(items, row["range"]) << label;
            const auto options = param->props.strings(kOfxParamPropChoiceOption);
            EXPECT_EQ(options.at(std::size_t(param->props.ints(kOfxParamPropDefault).at(0))), row["default"]);
        } else if (kind == "colour") {
            EXPECT_EQ(param->type, kOfxParamTypeRGBA) << label;
            EXPECT_EQ(param->props.doubles(kOfxParamPropDefault), (std::vector<double>{1, 1, 1, 1})) << label;
            EXPECT_EQ(param->props.doubles(kOfxParamPropMin), (std::vector<double>{0, 0, 0, 0})) << label;
            EXPECT_EQ(param->props.doubles(kOfxParamPropMax), (std::vector<double>{1, 1, 1, 1})) << label;
        }
        ++checked;
    }
    EXPECT_EQ(checked, 26);
    // The Look choice lists the bundle's looks after "(none)".
    const Param* look = h.descriptor.params.find("Look");
    ASSERT_NE(look, nullptr);
    const auto looks = look->props.strings(kOfxParamPropChoiceOption);
    ASSERT_GE(looks.size(), 2u);
    EXPECT_EQ(looks[0], "(none)");
    EXPECT_NE(std::find(looks.begin(), looks.end(), "pebbles"), looks.end());
}

// 16-bit frames with padded rows and bounds away from 0, 8-bit frames with
// reversed rows, float frames with values outside 0..1: each equals
// `trellin render` of the same picture.
TEST_F(OfxPlugin, RendersEveryDepthAndLayoutAsTrellinRender)
{
    ofxtest::TestHost& h = host();
    const int w = 61, ht = 37;
    const std::vector<std::string> sets{"--set", "CellShape=Hexagon", "--set", "ChromaticAb=12",
                                        "--set", "Light Active=on",   "--set", "Cell Count X=7"};
    // An instance of layout `l` with those settings, its source `in`, rendered at time 0.
    const auto rendered = [&](const ImageLayout& l, const auto& in) {
        auto e = h.create(l);
        if (!e) return e;
        set_param(*e, "CellShape", {3});
        set_param(*e, "ChromaticAb", {12});
        set_param(*e, "LightActive", {1});
        set_param(*e, "CellCountX", {7});
        give_picture(*e, in);
        EXPECT_EQ(h.render(*e, 0.0), kOfxStatOK);
        return e;
    };

    // 16 bits, bounds starting at (-20, 13), bit for bit: padded rows (copied
    // for the node), and packed rows upwards and downwards (read where the
    // host keeps them), each as the padded rows render.
    const auto in16 = pattern<std::uint16_t>(w, ht, 4, 7, 65535);
    std::vector<std::uint16_t> padded;
    for (const auto& [padding, reversed] : {std::pair{24, false}, std::pair{0, false}, std::pair{0, true}}) {
        SCOPED_TRACE("padding " + std::to_string(padding) + (reversed ? ", rows top first" : ""));
        ImageLayout l = layout_of(w, ht, kOfxBitDepthShort, -20, 13);
        l.row_padding = padding;
        l.reversed = reversed;
        auto e = rendered(l, in16);
        ASSERT_TRUE(e);
        if (padding != 0) {
            EXPECT_TRUE(renders_as_trellin(*e, in16, sets, "in16.png"));
            padded = output_picture<std::uint16_t>(*e);
        } else {
            EXPECT_TRUE(output_picture<std::uint16_t>(*e) == padded);
        }
        h.destroy(e);
    }
    {  // 8 bits, rows stored top first (negative row bytes), padded
        ImageLayout l = layout_of(w, ht, kOfxBitDepthByte, 5, -9);
        l.row_padding = 3;
        l.reversed = true;
        const auto in = pattern<std::uint8_t>(w, ht, 4, 9, 255);
        auto e = rendered(l, in);
        ASSERT_TRUE(e);
        EXPECT_TRUE(renders_as_trellin(*e, in, sets, "in8.png"));
        h.destroy(e);
    }
    {  // floats from -0.5 to 2.5, opaque
        ImageLayout l = layout_of(w, ht, kOfxBitDepthFloat);
        l.row_padding = 16;
        std::vector<float> in(std::size_t(w) * ht * 4);
        for (std::size_t i = 0; i < in.size(); ++i)
            in[i] = i % 4 == 3 ? 1.0f : -0.5f + 3.0f * float((i * 37) % 101) / 100.0f;
        auto e = rendered(l, in);
        ASSERT_TRUE(e);
        EXPECT_TRUE(renders_as_trellin(*e, in, sets, "inf.exr"));
        h.destroy(e);
    }
    {  // premultiplied floats with alpha from 0 to 1: divided on the way in, multiplied on the way out
        ImageLayout l = layout_of(w, ht, kOfxBitDepthFloat, 3, 4);
        l.premultiplication = kOfxImagePreMultiplied;
        std::vector<float> in(std::size_t(w) * ht * 4);
        for (std::size_t p = 0; p < in.size() / 4; ++p) {
            const float a = float(p % 11) / 10.0f;
            for (int c = 0; c < 3; ++c) in[p * 4 + std::size_t(c)] = a * float((p * (7 + c)) % 13) / 12.0f;
            in[p * 4 + 3] = a;
        }
        auto e = rendered(l, in);
        ASSERT_TRUE(e);
        PropertySet prefs;
        ASSERT_EQ(h.act(*e, kOfxImageEffectActionGetClipPreferences, nullptr, &prefs), kOfxStatOK);
        EXPECT_EQ(prefs.string(kOfxImageEffectPropPreMultiplication), kOfxImagePreMultiplied);
        EXPECT_TRUE(renders_as_trellin(*e, in, sets, "inp.exr"));
        h.destroy(e);
    }
    for (const auto& [premultiplied, binary] :
         {std::pair{false, false}, std::pair{true, false}, std::pair{true, true}}) {
        // Floats within 0..1 with alpha (colour within alpha when
        // premultiplied), on rows 3 bytes longer than their pixels, so that
        // they are not aligned for floats: the frame goes in and out in one
        // pass each, with the same samples as the whole colour handling,
        // bit for bit. `binary`: alpha 0 or 1 on most rows (given back by
        // the node), -0 on one and 0.25 on another (given back as read).
        SCOPED_TRACE(std::string(premultiplied ? "premultiplied" : "straight") + (binary ? ", alpha 0 or 1" : ""));
        ImageLayout l = layout_of(w, ht, kOfxBitDepthFloat, -7, 2);
        l.row_padding = 3;
        if (premultiplied) l.premultiplication = kOfxImagePreMultiplied;
        std::vector<float> in(std::size_t(w) * ht * 4);
        for (std::size_t p = 0; p < in.size() / 4; ++p) {
            const std::size_t row = p / std::size_t(w);
            float a = float(p % 9) / 8.0f;
            if (binary) a = row == 5 ? -0.0f : row == 7 && p % 3 == 0 ? 0.25f : float(p % 2);
            for (int c = 0; c < 3; ++c) {
                const float v = float((p * (5 + c)) % 14) / 13.0f;
                in[p * 4 + std::size_t(c)] = premultiplied ? a * v * (12.0f / 13.0f) : v;
            }
            in[p * 4 + 3] = a;
        }
        auto e = rendered(l, in);
        ASSERT_TRUE(e);
        // Straight floats are float TIFFs to trellin render (OpenEXR's are premultiplied).
        EXPECT_TRUE(renders_as_trellin(*e, in, sets, premultiplied ? "inu.exr" : "inu.tif"));
        h.destroy(e);
    }
}

// The source's pixel aspect is the aspect the effect is told: wide pixels
// give the picture trellin render makes of a PNG that says it has them.
TEST_F(OfxPlugin, TellsTheEffectThePixelAspect)
{
    ofxtest::TestHost& h = host();
    const int w = 40, ht = 50;
    ImageLayout l = layout_of(w, ht);
    l.pixel_aspect = 2.0;
    auto e = h.create(l);
    ASSERT_TRUE(e);
    set_param(*e, "CellShape", {3});
    const auto in = pattern<std::uint16_t>(w, ht, 4, 21, 65535);
    give_picture(*e, in);
    ASSERT_EQ(h.render(*e, 0.0), kOfxStatOK);
    EXPECT_TRUE(renders_as_trellin(*e, in, {"--set", "CellShape=Hexagon"}));
    h.destroy(e);
}

// A parameter the host animates renders, at each time, as its value then.
TEST_F(OfxPlugin, RendersAnimatedParametersAtTheFrameTime)
{
    ofxtest::TestHost& h = host();
    const int w = 48, ht = 32;
    auto e = h.create(layout_of(w, ht));
    ASSERT_TRUE(e);
    const auto in = pattern<std::uint16_t>(w, ht, 4, 3, 65535);
    give_picture(*e, in);
    Param* size = e->params.find("CellSize");
    ASSERT_NE(size, nullptr);
    size->keys = {{0.0, {0.1}}, {10.0, {0.3}}};
    // The light in the host's coordinates, y up from the bottom: from
    // (12, 8), the node's (0.25, 0.75), to (36, 40), the node's (0.75, -0.25).
    Param* light = e->params.find("LightPosition");
    ASSERT_NE(light, nullptr);
    light->keys = {{0.0, {12.0, 8.0}}, {10.0, {36.0, 40.0}}};
    set_param(*e, "LightActive", {1});
    ASSERT_EQ(h.render(*e, 5.0), kOfxStatOK);
    EXPECT_TRUE(renders_as_trellin(
        *e, in,
        {"--set", "CellSize=0.2", "--set", "Light Active=on", "--set", "Light_X=0.5", "--set", "Light_Y=0.25"}));
    h.destroy(e);
}

// A Look set without the change event (a batch or scripted host) renders the
// look, with the parameters that were changed over it; a parameter the user
// edits by hand sends the Look back to "(none)", and the parameters alone
// rule from then on. Choosing a look sets every parameter (the hand-edited
// one too) in one undoable edit, and renders as --look.
TEST_F(OfxPlugin, LookChoiceAndParametersRenderAsLookAndSet)
{
    ofxtest::TestHost& h = host();
    const int w = 40, ht = 30;
    auto e = h.create(layout_of(w, ht));
    ASSERT_TRUE(e);
    const auto looks = e->params.find("Look")->props.strings(kOfxParamPropChoiceOption);
    const auto item = [&](const std::string& look) {
        return double(std::find(looks.begin(), looks.end(), look) - looks.begin());
    };
    ASSERT_LT(std::size_t(item("lit-domes")), looks.size());
    const auto in = pattern<std::uint16_t>(w, ht, 4, 9, 65535);
    give_picture(*e, in);
    const auto render_as = [&](double time, const std::vector<std::string>& options) {
        EXPECT_EQ(h.render(*e, time), kOfxStatOK);
        return renders_as_trellin(*e, in, options);
    };

    set_param(*e, "Look", {item("lit-domes")});
    EXPECT_TRUE(render_as(0.0, {"--look", "lit-domes"}));
    set_param(*e, "CellSize", {0.2});
    EXPECT_TRUE(render_as(0.0, {"--look", "lit-domes", "--set", "CellSize=0.2"}));
    ASSERT_EQ(h.user_sets(*e, "CellSize", {0.25}), kOfxStatOK);
    EXPECT_EQ(e->params.find("Look")->value.at(0), 0.0);
    EXPECT_TRUE(render_as(0.0, {"--set", "CellSize=0.25"}));

    for (const std::string look : {"pebbles", "turning-grid"}) {
        e->params.edits.clear();
        e->params.sets_outside_edits = 0;
        ASSERT_EQ(h.user_sets(*e, "Look", {item(look)}), kOfxStatOK) << look;
        ASSERT_EQ(e->params.edits.size(), 1u) << look;
        EXPECT_EQ(e->params.edits[0].first, "Look " + look);
        EXPECT_GT(e->params.edits[0].second, 20);
        EXPECT_EQ(e->params.sets_outside_edits, 0);
        EXPECT_TRUE(render_as(60.0, {"--look", look, "--frames", "60"})) << look;
    }
    h.destroy(e);
}

// Float alpha from -2 to 3, straight and premultiplied: clipped into 0..1
// as trellin render and the Python module clip it, so colour is never
// scaled by it.
TEST_F(OfxPlugin, FloatAlphaOutsideZeroToOneIsClippedAsEveryHostClipsIt)
{
    ofxtest::TestHost& h = host();
    const int w = 24, ht = 16;
    for (const char* premultiplication : {kOfxImageUnPreMultiplied, kOfxImagePreMultiplied}) {
        SCOPED_TRACE(premultiplication);
        ImageLayout l = layout_of(w, ht, kOfxBitDepthFloat);
        l.premultiplication = premultiplication;
        auto e = h.create(l);
        ASSERT_TRUE(e);
        std::vector<float> in(std::size_t(w) * ht * 4);
        const std::size_t pixels = in.size() / 4;
        for (std::size_t p = 0; p < pixels; ++p) {
            const float a = float(-2.0 + 5.0 * double(p) / double(pixels - 1));
            for (std::size_t c = 0; c < 3; ++c) in[p * 4 + c] = 0.5f * std::clamp(a, 0.0f, 1.0f);
            in[p * 4 + 3] = a;
        }
        give_picture(*e, in);
        ASSERT_EQ(h.render(*e, 0.0), kOfxStatOK);
        const auto out = output_picture<float>(*e);
        ASSERT_EQ(out.size(), in.size());
        for (std::size_t i = 0; i < out.size(); ++i)
            ASSERT_TRUE(out[i] >= -0.01f && out[i] <= (i % 4 == 3 ? 1.0f : 2.0f)) << "sample " << i << ": " << out[i];
        h.destroy(e);
    }
}

// A frame the plug-in cannot take fails with a message, and so does a host
// image it cannot read; nothing crashes.
TEST_F(OfxPlugin, FailedFramesSayWhy)
{
    ofxtest::TestHost& h = host();
    auto e = h.create(layout_of(20, 10, "OfxBitDepthHalf"));
    ASSERT_TRUE(e);
    const std::size_t before = h.messages().size();
    EXPECT_EQ(h.render(*e, 0.0), kOfxStatFailed);
    const auto messages = h.messages();
    ASSERT_EQ(messages.size(), before + 1);
    EXPECT_NE(messages.back().find("OfxMessageError: Trellin: output: "), std::string::npos) << messages.back();
    h.destroy(e);
    // One pixel past the widest side the effect renders: the limit is named.
    auto wide = h.create(layout_of(16385, 1, "OfxBitDepthFloat"));
    ASSERT_TRUE(wide);
    EXPECT_EQ(h.render(*wide, 0.0), kOfxStatFailed);
    EXPECT_NE(h.messages().back().find("16385x1 is too large (at most 16384 pixels on a side)"), std::string::npos)
        << h.messages().back();
    h.destroy(wide);
}

// The effect declares one depth for source and output. A host that hands
// integers in and wants floats out (or the other way) is refused with a
// message naming both, the output left as the host gave it; between 8 and
// 16 bits the samples are only widened or narrowed, so such frames render
// as the source's samples at the output's depth would.
TEST_F(OfxPlugin, SourceAndOutputDepthsOfDifferentKindsAreRefused)
{
    ofxtest::TestHost& h = host();
    const int w = 24, ht = 16;
    for (const auto& [in_depth, out_depth, named] :
         {std::tuple{kOfxBitDepthByte, kOfxBitDepthFloat, "the source is 8-bit and the output 32-bit float"},
          std::tuple{kOfxBitDepthFloat, kOfxBitDepthShort, "the source is 32-bit float and the output 16-bit"}}) {
        SCOPED_TRACE(named);
        auto e = h.create(layout_of(w, ht, out_depth));
        ASSERT_TRUE(e);
        e->clips[kOfxImageEffectSimpleSourceClipName]->layout.depth = in_depth;
        if (std::string(in_depth) == kOfxBitDepthFloat)
            give_picture(*e, std::vector<float>(std::size_t(w) * ht * 4, 0.5f));
        else
            give_picture(*e, std::vector<std::uint8_t>(std::size_t(w) * ht * 4, 200));
        EXPECT_EQ(h.render(*e, 0.0), kOfxStatErrImageFormat);
        EXPECT_NE(h.messages().back().find(named), std::string::npos) << h.messages().back();
        const auto& out = e->clips[kOfxImageEffectOutputClipName]->last->storage;
        EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](unsigned char b) { return b == 0; }));
        h.destroy(e);
    }

    const auto in8 = pattern<std::uint8_t>(w, ht, 4, 3, 255);
    std::vector<std::uint16_t> in16(in8.size());
    trellin_app::from_8bit_samples(in8.data(), in16.data(), in8.size());
    std::vector<std::uint16_t> outputs[2];
    for (int k = 0; k < 2; ++k) {
        auto e = h.create(layout_of(w, ht, kOfxBitDepthShort));
        ASSERT_TRUE(e);
        set_param(*e, "ChromaticAb", {9});
        if (k == 0) {
            e->clips[kOfxImageEffectSimpleSourceClipName]->layout.depth = kOfxBitDepthByte;
            give_picture(*e, in8);
        } else {
            give_picture(*e, in16);
        }
        ASSERT_EQ(h.render(*e, 0.0), kOfxStatOK);
        outputs[k] = output_picture<std::uint16_t>(*e);
        h.destroy(e);
    }
    EXPECT_TRUE(outputs[0] == outputs[1]);
}

// The frames the Windows bundle rendered under Wine (the Windows build's
// OfxBuildsAgree test names their folder in TRELLIN_WINDOWS_OFX_FRAMES)
// equal trellin render of the same sources here, at 8, 16 and 32 bits.
TEST_F(OfxPlugin, WindowsBundleFramesEqualTrellinRender)
{
    const char* folder = std::getenv("TRELLIN_WINDOWS_OFX_FRAMES");
    if (folder == nullptr || *folder == '\0') GTEST_SKIP() << "run by the Windows build's OfxBuildsAgree";
    namespace agree = ofx_agreement;
    std::vector<std::string> sets;
    for (const agree::Setting& s : agree::settings) sets.insert(sets.end(), {"--set", s.set});
    const auto read_raw = [&](const char* kind, const agree::Depth& depth) {
        std::ifstream in(fs::path(folder) / agree::file_name(kind, depth), std::ios::binary);
        std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(bytes.size(), std::size_t(agree::width) * agree::height * 4 * std::size_t(depth.bytes))
            << kind << " " << depth.name;
        return bytes;
    };
    for (const agree::Depth& depth : agree::depths) {
        SCOPED_TRACE(std::string(depth.name) + " bits");
        const std::vector<unsigned char> in = read_raw("in", depth), out = read_raw("out", depth);
        ASSERT_EQ(in, agree::source_picture(depth));
        ASSERT_EQ(out.size(), in.size());
        const std::string name = std::string("windows") + depth.name;
        if (depth.bytes == 4) {
            std::vector<std::string> with_float = sets;
            with_float.insert(with_float.end(), {"--depth", "float"});
            const FileImage ref = trellin_render(name + ".exr", OIIO::TypeDesc::FLOAT, in.data(), agree::width,
                                                 agree::height, with_float, name + "-out.exr");
            ASSERT_EQ(ref.f32.size() * 4, out.size());
            EXPECT_EQ(std::memcmp(out.data(), ref.f32.data(), out.size()), 0);
        } else {
            const FileImage ref =
                trellin_render(name + ".png", depth.bytes == 1 ? OIIO::TypeDesc::UINT8 : OIIO::TypeDesc::UINT16,
                               in.data(), agree::width, agree::height, sets, name + "-out.png");
            ASSERT_EQ(ref.u16.size() * std::size_t(depth.bytes), out.size());
            if (depth.bytes == 1) {
                std::vector<unsigned char> expected(ref.u16.size());
                for (std::size_t i = 0; i < expected.size(); ++i) expected[i] = trellin_app::to_8bit(ref.u16[i]);
                EXPECT_TRUE(out == expected);
            } else {
                EXPECT_EQ(std::memcmp(out.data(), ref.u16.data(), out.size()), 0);
            }
        }
    }
}

// The bundle in the build tree carries the module and the host library just
// built, not the ones of an earlier build.
TEST_F(OfxPlugin, CarriesTheModuleAndLibraryAsBuilt)
{
    const auto bytes = [](const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const fs::path carried = fs::path(bundle) / "Contents/Linux-x86-64";
    const fs::path built[] = {fs::path(TRELLIN_BIN_DIR) / "TrellinVx.node",
                              fs::path(TRELLIN_LIB_DIR) / "libtrellinhost.so"};
    for (const fs::path& file : built)
        EXPECT_TRUE(bytes(carried / file.filename()) == bytes(file))
            << file.filename() << " in the bundle is not " << file;
}

// A bundle without its node module loads, but describe fails with a message
// that names the module; the host goes on.
TEST_F(OfxPlugin, MissingModuleFailsDescribeWithAMessage)
{
    const fs::path copy = dir / "Trellin.ofx.bundle";
    fs::copy(bundle, copy, fs::copy_options::recursive);
    fs::remove(copy / "Contents/Linux-x86-64/TrellinVx.node");
    // The plug-in looks for its libraries in its own folder only.
    const RunResult ldd = testkit::run_program({"ldd", (copy / "Contents/Linux-x86-64/Trellin.ofx").string()});
    EXPECT_NE(ldd.out.find((copy / "Contents/Linux-x86-64/libtrellinhost.so").string()), std::string::npos) << ldd.out;

    ofxtest::TestHost other;
    std::string error;
    EXPECT_FALSE(other.load(copy.string(), error));
    EXPECT_NE(error.find("describe returned 1"), std::string::npos) << error;
    EXPECT_NE(error.find("TrellinVx.node"), std::string::npos) << error;
}

// The overlay draws the handles where `trellin overlay` draws them, in the
// host's canonical coordinates; a pen drag moves the parameters as the
// viewer's drag moves the controls, as one undoable edit.
TEST_F(OfxPlugin, OverlayDrawsAndDragsAsTrellinOverlay)
{
    ofxtest::TestHost& h = host();
    const int w = 96, ht = 64;

    const std::vector<std::uint8_t> black = [&] {
        std::vector<std::uint8_t> v(std::size_t(w) * ht * 4, 0);
        for (std::size_t i = 3; i < v.size(); i += 4) v[i] = 255;
        return v;
    }();
    write_file(dir / "black.png", w, ht, 4, OIIO::TypeDesc::UINT8, black);
    RunResult r = run({"overlay", path("black.png"), path("handles.png")});
    ASSERT_EQ(r.code, 0) << r.err;
    r = run({"overlay", path("black.png"), path("moved.png"), "--drag", "48,32:20,10", "--print-controls"});
    ASSERT_EQ(r.code, 0) << r.err;
    std::map<std::string, std::string> printed;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);)
        if (const auto eq = line.find('='); eq != std::string::npos) printed[line.substr(0, eq)] = line.substr(eq + 1);

    ImageLayout l = layout_of(w, ht);
    auto e = h.create(l);
    ASSERT_TRUE(e);
    auto* entry =
        reinterpret_cast<OfxPluginEntryPoint*>(h.descriptor.props.pointer(kOfxImageEffectPluginPropOverlayInteractV1));
    ASSERT_NE(entry, nullptr);
    ofxtest::Interact interact;
    interact.props.set_pointer(kOfxPropEffectInstance, e->handle());
    ASSERT_EQ(entry(kOfxActionCreateInstance, &interact, nullptr, nullptr), kOfxStatOK);

    // Draws the interact at `pixel` canonical units a screen pixel into a view
    // of the picture at that scale (the host's projection: canonical
    // coordinates, y up), and counts the pixels that differ from `trellin
    // overlay`'s picture `file`, and those lit in it.
    const auto draw_against = [&](ofxtest::Interact& on, ofxtest::PropertySet& args, double pixel,
                                  const std::string& file) -> std::pair<std::size_t, std::size_t> {
        const int vw = int(w / pixel), vh = int(ht / pixel);
        std::string error;
        auto view = trellin_gl::HeadlessView::create(vw, vh, error);
        EXPECT_TRUE(view) << error;
        if (!view) return {std::size_t(-1), 0};
        view->make_current();
        view->clear(0.0f, 0.0f, 0.0f, 1.0f);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0.0, w, 0.0, ht, -1.0, 1.0);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        args.set_double(kOfxInteractPropPixelScale, pixel, 0);
        args.set_double(kOfxInteractPropPixelScale, pixel, 1);
        EXPECT_EQ(entry(kOfxInteractActionDraw, &on, args.handle(), nullptr), kOfxStatOK);
        const std::vector<std::uint8_t> drawn = view->read_rgba8();
        const FileImage expected = read_file(dir / file);
        EXPECT_EQ(expected.spec.nchannels, 3);
        std::size_t differ = 0, lit = 0;
        for (std::size_t p = 0; p < std::size_t(vw) * std::size_t(vh) && expected.spec.nchannels == 3; ++p) {
            bool same = true;
            for (int c = 0; c < 3; ++c)
                same &= drawn[p * 4 + std::size_t(c)] == expected.u16[p * 3 + std::size_t(c)] / 257;
            differ += same ? 0 : 1;
            lit += expected.u16[p * 3] + expected.u16[p * 3 + 1] + expected.u16[p * 3 + 2] > 0 ? 1 : 0;
        }
        return {differ, lit};
    };
    ofxtest::PropertySet in;
    in.set_pointer(kOfxPropEffectInstance, e->handle());
    in.set_double(kOfxPropTime, 0.0);
    const auto [differ, lit] = draw_against(interact, in, 1.0, "handles.png");
    EXPECT_GT(lit, 50u);
    EXPECT_EQ(differ, 0u);

    // A press 8 units above the centre's handles (their hits reach 5 screen
    // pixels): at full size it takes nothing. With the host's viewer zoomed
    // out to half size (two canonical units a screen pixel) the handles keep
    // their size on the screen, as `trellin overlay` draws them over a picture
    // of half the size, and the same press, 4 screen pixels off, takes one.
    // (Each press follows a draw at its scale, as in a host's viewer.)
    const auto press_at_scale = [&](double pixel, double above = 8.0) {
        in.set_double(kOfxInteractPropPixelScale, pixel, 0);
        in.set_double(kOfxInteractPropPixelScale, pixel, 1);
        in.set_double(kOfxInteractPropPenPressure, 1.0);
        in.set_double(kOfxInteractPropPenPosition, w / 2, 0);
        in.set_double(kOfxInteractPropPenPosition, ht / 2 + above, 1);
        const OfxStatus down = entry(kOfxInteractActionPenDown, &interact, in.handle(), nullptr);
        in.set_double(kOfxInteractPropPenPressure, 0.0);
        EXPECT_EQ(entry(kOfxInteractActionPenUp, &interact, in.handle(), nullptr), down) << pixel;
        return down;
    };
    EXPECT_EQ(press_at_scale(1.0), kOfxStatReplyDefault);
    const std::vector<std::uint8_t> half(black.begin(), black.begin() + std::ptrdiff_t(w / 2) * (ht / 2) * 4);
    write_file(dir / "black_half.png", w / 2, ht / 2, 4, OIIO::TypeDesc::UINT8, half);
    r = run({"overlay", path("black_half.png"), path("handles_half.png")});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto [differ_half, lit_half] = draw_against(interact, in, 2.0, "handles_half.png");
    EXPECT_GT(lit_half, 20u);
    EXPECT_EQ(differ_half, 0u);
    EXPECT_EQ(press_at_scale(2.0), kOfxStatOK);
    // A press from a viewer at full size straight after that draw (a second
    // viewer, or a zoom not yet redrawn) is tested against the handles as
    // drawn: on the centre it takes one.
    EXPECT_EQ(press_at_scale(1.0, 0.0), kOfxStatOK);
    // Back at full size the handles are where they were: the press moved nothing.
    EXPECT_EQ(draw_against(interact, in, 1.0, "handles.png").first, 0u);

    // A drag from the picture's centre (y up in the host) to (20, 10) from the
    // top left; the parameters take the positions in the host's coordinates.
    e->params.edits.clear();
    e->params.sets_outside_edits = 0;
    in.set_double(kOfxInteractPropPenPressure, 1.0);
    in.set_double(kOfxInteractPropPenPosition, 48.0, 0);
    in.set_double(kOfxInteractPropPenPosition, ht - 32.0, 1);
    EXPECT_EQ(entry(kOfxInteractActionPenDown, &interact, in.handle(), nullptr), kOfxStatOK);
    in.set_double(kOfxInteractPropPenPosition, 20.0, 0);
    in.set_double(kOfxInteractPropPenPosition, ht - 10.0, 1);
    EXPECT_EQ(entry(kOfxInteractActionPenMotion, &interact, in.handle(), nullptr), kOfxStatOK);
    in.set_double(kOfxInteractPropPenPressure, 0.0);
    EXPECT_EQ(entry(kOfxInteractActionPenUp, &interact, in.handle(), nullptr), kOfxStatOK);
    ASSERT_EQ(e->params.edits.size(), 1u);
    EXPECT_EQ(e->params.edits[0].first, "Drag handle");
    EXPECT_EQ(e->params.sets_outside_edits, 0);
    for (const auto& [name, label] :
         {std::pair{"AngleCentre", "Angle Centre"}, {"Tweak", "Tweak"}, {"LightPosition", "Light"}}) {
        const Param* p = e->params.find(name);
        ASSERT_NE(p, nullptr) << name;
        EXPECT_NEAR(p->value[0], w * std::stod(printed[std::string(label) + "_X"]), 1e-4) << name;
        EXPECT_NEAR(p->value[1], ht - ht * std::stod(printed[std::string(label) + "_Y"]), 1e-4) << name;
    }
    EXPECT_GT(interact.redraws, 0);
    EXPECT_EQ(entry(kOfxActionDestroyInstance, &interact, nullptr, nullptr), kOfxStatOK);
    h.destroy(e);
}

}  // namespace
