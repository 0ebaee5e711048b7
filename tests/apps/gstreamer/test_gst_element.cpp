// trellinglass, the GStreamer element, in real pipelines: gst-launch-1.0 and
// gst-inspect-1.0 on the command line, and appsrc/appsink pipelines with
// control sources in this process. Every picture is checked sample for sample
// against another host: `trellin pipe`, `trellin render`, the frei0r module
// or a node of the effect driven directly.
// test-labels: external
// test-links: PkgConfig::GSTREAMER_APPS
// test-builds: trellin_gst trellin_frei0r
#include <gst/app/app.h>
#include <gst/controller/controller.h>
#include <gst/gst.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>

#include "node/control_table.h"
#include "support/trellin_cli_support.h"

namespace {

using namespace trellin_test;

const std::string plugin_dir = TRELLIN_LIB_DIR "/gstreamer-1.0";
// One registry for every test of this build tree: GStreamer scans the system's
// plug-ins into it once, and again only for plug-ins that changed.
const std::string registry = TRELLIN_LIB_DIR "/../tests/gstreamer-registry.bin";

using Samples = std::vector<std::uint16_t>;

// GStreamer in this process, with the build's plug-in.
void init_gstreamer()
{
    static const bool done = [] {
        ::unsetenv("TRELLIN_MODULE");
        ::setenv("GST_PLUGIN_PATH", plugin_dir.c_str(), 1);
        ::setenv("GST_REGISTRY", registry.c_str(), 1);
        gst_init(nullptr, nullptr);
        return true;
    }();
    (void)done;
}

// A pipeline from gst-launch syntax, ended and freed with the object.
class Pipeline {
public:
    explicit Pipeline(const std::string& description)
    {
        init_gstreamer();
        GError* error = nullptr;
        pipeline_ = gst_parse_launch(description.c_str(), &error);
        EXPECT_EQ(error, nullptr) << (error != nullptr ? error->message : "");
        if (error != nullptr) g_error_free(error);
    }
    ~Pipeline()
    {
        if (pipeline_ == nullptr) return;
        gst_element_set_state(pipeline_, GST_STATE_NULL);
        gst_object_unref(pipeline_);
    }
    Pipeline(const Pipeline&) = delete;
    Pipeline& operator=(const Pipeline&) = delete;

    // The named element (the pipeline keeps it alive).
    GstElement* operator[](const char* name) const
    {
        GstElement* e = gst_bin_get_by_name(GST_BIN(pipeline_), name);
        gst_object_unref(e);
        return e;
    }
    void play() { EXPECT_NE(gst_element_set_state(pipeline_, GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE); }
    GstElement* get() const { return pipeline_; }

private:
    GstElement* pipeline_ = nullptr;
};

// RGBA64_LE frames pushed through appsrc ! trellinglass ! appsink, 25 a second.
class Stream {
public:
    explicit Stream(const std::string& glass_properties)
        : pipeline_("appsrc name=in format=time ! trellinglass name=glass " + glass_properties +
                    " ! appsink name=out sync=false")
    {
        pipeline_.play();
    }
    GstElement* glass() const { return pipeline_["glass"]; }

    // The rendered frame (packed) for `pixels` of w x h at frame number
    // `frame`, sent with rows `stride` bytes apart (0: packed).
    Samples render(const Samples& pixels, int w, int h, int frame, int stride = 0)
    {
        GstVideoInfo info;
        gst_video_info_set_format(&info, GST_VIDEO_FORMAT_RGBA64_LE, guint(w), guint(h));
        GST_VIDEO_INFO_FPS_N(&info) = 25;
        GstCaps* caps = gst_video_info_to_caps(&info);
        gst_app_src_set_caps(GST_APP_SRC(pipeline_["in"]), caps);
        gst_caps_unref(caps);

        const std::size_t row = std::size_t(w) * 8, step = stride != 0 ? std::size_t(stride) : row;
        GstBuffer* buffer = gst_buffer_new_allocate(nullptr, step * std::size_t(h), nullptr);
        GstMapInfo map;
        gst_buffer_map(buffer, &map, GST_MAP_WRITE);
        for (int y = 0; y < h; ++y) std::memcpy(map.data + y * step, pixels.data() + std::size_t(y) * w * 4, row);
        gst_buffer_unmap(buffer, &map);
        gsize offset[GST_VIDEO_MAX_PLANES] = {0};
        gint strides[GST_VIDEO_MAX_PLANES] = {gint(step)};
        gst_buffer_add_video_meta_full(buffer, GST_VIDEO_FRAME_FLAG_NONE, GST_VIDEO_FORMAT_RGBA64_LE, guint(w),
                                       guint(h), 1, offset, strides);
        GST_BUFFER_PTS(buffer) = gst_util_uint64_scale(guint64(frame), GST_SECOND, 25);
        GST_BUFFER_DURATION(buffer) = GST_SECOND / 25;
        EXPECT_EQ(gst_app_src_push_buffer(GST_APP_SRC(pipeline_["in"]), buffer), GST_FLOW_OK);

        Samples out;
        GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(pipeline_["out"]), 60 * GST_SECOND);
        if (sample == nullptr) {
            ADD_FAILURE() << "no frame " << frame << " came out";
            return out;
        }
        GstVideoInfo got;
        gst_video_info_from_caps(&got, gst_sample_get_caps(sample));
        EXPECT_EQ(GST_VIDEO_INFO_WIDTH(&got), w);
        EXPECT_EQ(GST_VIDEO_INFO_HEIGHT(&got), h);
        GstVideoFrame result;
        if (gst_video_frame_map(&result, &got, gst_sample_get_buffer(sample), GST_MAP_READ)) {
            out.resize(std::size_t(w) * h * 4);
            for (int y = 0; y < h; ++y)
                std::memcpy(out.data() + std::size_t(y) * w * 4,
                            static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&result, 0)) +
                                y * GST_VIDEO_FRAME_PLANE_STRIDE(&result, 0),
                            row);
            gst_video_frame_unmap(&result);
        }
        gst_sample_unref(sample);
        return out;
    }

private:
    Pipeline pipeline_;
};

class GlassElement : public TrellinTest {
protected:
    // Runs a shell command in the test's folder with the build's plug-ins
    // (this element and the frei0r module).
    RunResult gst(const std::string& command)
    {
        return testkit::run_program({"sh", "-c", command},
                                    testkit::RunOptions()
                                        .with_env({"GST_PLUGIN_PATH=" + plugin_dir, "GST_REGISTRY=" + registry,
                                                   "FREI0R_PATH=" TRELLIN_LIB_DIR "/frei0r-1", "TRELLIN_MODULE"})
                                        .in(dir.string())
                                        .within(120));
    }
    void sh(const std::string& command)
    {
        const RunResult r = gst(command);
        ASSERT_EQ(r.code, 0) << command << "\n" << r.out << r.err;
    }
};

// A number for gst-launch that reads back as exactly `v`.
std::string exact(double v)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

// Properties and a project with keys, in 16-bit: every frame equals `trellin
// pipe` with the same settings, so frame k renders at time k. look= restores
// a named look and the properties beside it change single controls of it,
// whatever their order, as --look then --set.
TEST_F(GlassElement, Rgba64FramesEqualTrellinPipe)
{
    spit(dir / "keys.json", R"({"controls": {"Index": 1.7, "Cell Angle": {"keys": [[0, 0], [2, 60]]}}})");
    sh("gst-launch-1.0 -q videotestsrc num-buffers=3 horizontal-speed=3"
       " ! video/x-raw,format=RGBA64_LE,width=67,height=43,framerate=5/1 ! tee name=t"
       " t. ! queue ! filesink location=in.raw"
       " t. ! queue ! trellinglass project=keys.json cell-shape=hexagon cell-count-x=7 cell-size=0.3 smoothing=1"
       " light-active=true light='<1.0, 0.5, 0.25>' edge=wrap chromatic-ab=2 ! filesink location=out.raw"
       " t. ! queue ! trellinglass cell-count-x=7 look=Lit-Domes index=1.8 ! filesink location=look.raw");
    std::vector<std::string> args{"pipe", "--size", "67x43", "--project", path("keys.json")};
    for (const char* set : {"CellShape=Hexagon", "Cell Count X=7", "CellSize=0.3", "Smoothing=1", "Light Active=on",
                            "Light=1,0.5,0.25", "Edge=Wrap", "ChromaticAb=2"})
        args.insert(args.end(), {"--set", set});
    const RunResult r = run(args, testkit::RunOptions().input(path("in.raw")));
    ASSERT_EQ(r.code, 0) << r.err;
    ASSERT_EQ(r.out.size(), std::size_t(3 * 67 * 43 * 8));
    EXPECT_NE(r.out, slurp(dir / "in.raw"));
    EXPECT_TRUE(slurp(dir / "out.raw") == r.out);

    const RunResult look =
        run({"pipe", "--size", "67x43", "--look", "lit-domes", "--set", "Cell Count X=7", "--set", "Index=1.8"},
            testkit::RunOptions().input(path("in.raw")));
    ASSERT_EQ(look.code, 0) << look.err;
    EXPECT_TRUE(slurp(dir / "look.raw") == look.out);
}

// The 8-bit formats with and without alpha, in every byte order, equal the
// frei0r module's RGBA frames with the same control values.
TEST_F(GlassElement, EightBitFormatsEqualTheFrei0rModule)
{
    // Where red, green, blue and alpha (or the unused byte, set to 255) lie in a pixel.
    struct Format {
        const char* name;
        int place[4];
        bool alpha;
    };
    const Format formats[] = {{"RGBA", {0, 1, 2, 3}, true},
                              {"BGRA", {2, 1, 0, 3}, true},
                              {"ARGB", {1, 2, 3, 0}, true},
                              {"RGBx", {0, 1, 2, 3}, false},
                              {"xBGR", {3, 2, 1, 0}, false}};
    // frei0r spreads 0..1 over a control's range; the element takes the value itself.
    const vx::ControlRow& index = vx::control_table[vx::control_row("Index")];
    const std::string glass =
        "trellinglass cell-shape=pentagon edge=black light-active=true light-red=0.5 cell-count-x=6"
        " index=" +
        exact((1.0 - 0.2) * index.minimum + 0.2 * index.maximum);
    std::string command =
        "gst-launch-1.0 -q videotestsrc num-buffers=2 horizontal-speed=3"
        " ! video/x-raw,format=RGBA,width=67,height=43,framerate=5/1 ! tee name=t"
        " t. ! queue ! frei0r-filter-trellin cellshape=Pentagon edge=Black light-active=true light-r=0.5"
        " cell-count-x=0.05 index=0.2 ! filesink location=frei0r.raw";
    for (const Format& f : formats)
        command += std::string(" t. ! queue ! videoconvert ! video/x-raw,format=") + f.name + " ! " + glass +
                   " ! filesink location=" + f.name + ".raw";
    sh(command);
    const std::string frei0r = slurp(dir / "frei0r.raw");
    ASSERT_EQ(frei0r.size(), std::size_t(2 * 67 * 43 * 4));
    for (const Format& f : formats) {
        const std::string got = slurp(dir / (std::string(f.name) + ".raw"));
        ASSERT_EQ(got.size(), frei0r.size()) << f.name;
        std::string expected(frei0r.size(), '\0');
        for (std::size_t p = 0; p < frei0r.size(); p += 4)
            for (int c = 0; c < 4; ++c) expected[p + f.place[c]] = c < 3 || f.alpha ? frei0r[p + c] : char(255);
        EXPECT_TRUE(got == expected) << f.name;
    }
}

// A double and an int property animated by interpolation control sources over
// frames 0 to 24, beside keys from a project, equal `trellin render --key` at
// frames 0, 12 and 24: the project's keys follow the buffers' frame numbers.
TEST_F(GlassElement, ControlSourcesAnimateAsRenderKeys)
{
    const int w = 48, h = 32;
    const Samples picture = pattern<std::uint16_t>(w, h, 4, 7, 65535);
    write_file(dir / "in.png", w, h, 4, OIIO::TypeDesc::UINT16, picture);
    spit(dir / "tweak.json", R"({"controls": {"Tweak_X": {"keys": [[0, 0.3], [24, 0.7]]}}})");
    Stream stream("project=" + path("tweak.json") + " cell-shape=square");
    GstObject* glass = GST_OBJECT(stream.glass());
    const std::pair<const char*, std::pair<double, double>> animated[] = {{"cell-angle", {0, 90}},
                                                                          {"cell-count-x", {4, 28}}};
    for (const auto& [name, ends] : animated) {
        GstControlSource* source = gst_interpolation_control_source_new();
        g_object_set(source, "mode", GST_INTERPOLATION_MODE_LINEAR, nullptr);
        gst_timed_value_control_source_set(GST_TIMED_VALUE_CONTROL_SOURCE(source), 0, ends.first);
        gst_timed_value_control_source_set(GST_TIMED_VALUE_CONTROL_SOURCE(source), 24 * GST_SECOND / 25, ends.second);
        ASSERT_TRUE(
            gst_object_add_control_binding(glass, gst_direct_control_binding_new_absolute(glass, name, source)));
        gst_object_unref(source);
    }
    for (const int frame : {0, 12, 24}) {
        const Samples got = stream.render(picture, w, h, frame);
        const RunResult r =
            run({"render", path("in.png"), path("out.png"), "--frames", std::to_string(frame), "--project",
                 path("tweak.json"), "--set", "CellShape=Square", "--key", "Cell Angle@0=0", "--key",
                 "Cell Angle@24=90", "--key", "Cell Count X@0=4", "--key", "Cell Count X@24=28"});
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_TRUE(got == read_file(dir / "out.png").u16) << "frame " << frame;
    }
}

// A property changed while streaming takes effect from the next frame; a
// caps change renders the new size, here from rows with padding.
TEST_F(GlassElement, ChangesWhileStreamingReachTheNextFrame)
{
    Stream stream("cell-shape=square index=2");
    ReferenceNode node;
    node.set("CellShape", 1);
    node.set("Index", 2);
    const Samples a = pattern<std::uint16_t>(40, 30, 4, 3, 65535), b = pattern<std::uint16_t>(23, 17, 4, 4, 65535);
    EXPECT_TRUE(stream.render(a, 40, 30, 0) == node.render(a, 40, 30, 4, 0));
    g_object_set(stream.glass(), "cell-shape", 4, "light-active", TRUE, "light-x", 0.7, nullptr);
    node.set("CellShape", 4);
    node.set("Light Active", 1);
    node.set("Light_X", 0.7);
    EXPECT_TRUE(stream.render(a, 40, 30, 1) == node.render(a, 40, 30, 4, 1));
    EXPECT_TRUE(stream.render(b, 23, 17, 2, 23 * 8 + 24) == node.render(b, 23, 17, 4, 2));
}

// In a live pipeline the element adds one frame to the latency.
TEST_F(GlassElement, LiveLatencyGrowsByOneFrame)
{
    GstClockTime latency[2] = {0, 0};
    for (const bool with_glass : {false, true}) {
        Pipeline p(
            std::string("videotestsrc is-live=true ! video/x-raw,format=RGBA,width=16,height=16,framerate=25/1") +
            (with_glass ? " ! trellinglass name=last" : " ! identity name=last") + " ! fakesink");
        p.play();
        // Asked of the last element's output once the frames flow.
        GstPad* pad = gst_element_get_static_pad(p["last"], "src");
        for (int wait = 0; wait < 300 && !gst_pad_has_current_caps(pad); ++wait) g_usleep(10000);
        GstQuery* q = gst_query_new_latency();
        EXPECT_TRUE(gst_pad_query(pad, q));
        gboolean live = FALSE;
        gst_query_parse_latency(q, &live, &latency[with_glass], nullptr);
        EXPECT_TRUE(live);
        gst_query_unref(q);
        gst_object_unref(pad);
    }
    EXPECT_EQ(latency[1] - latency[0], GST_SECOND / 25);
}

// gst-inspect-1.0 lists a property for every value control, with the
// control's range and default (and the colour as an array and channels).
TEST_F(GlassElement, InspectListsEveryPropertyWithItsRange)
{
    const RunResult r = gst("gst-inspect-1.0 trellinglass");
    ASSERT_EQ(r.code, 0) << r.err;
    // Each property's lines, by name.
    std::map<std::string, std::string> listed;
    std::string name;
    std::istringstream lines(r.out.substr(r.out.find("Element Properties:")));
    for (std::string line; std::getline(lines, line);) {
        // "  cell-count-x        : ..." begins a property; its other lines are indented further.
        const std::size_t gap = line.find(' ', 2), colon = line.find_first_not_of(' ', gap);
        if (line.rfind("  ", 0) == 0 && line[2] != ' ' && colon != std::string::npos &&
            line.compare(colon, 2, ": ") == 0)
            name = line.substr(2, gap - 2);
        if (!name.empty()) listed[name] += line + "\n";
    }
    const std::map<std::string, std::string> names = {{"Black Height", "black-height"},
                                                      {"White Height", "white-height"},
                                                      {"Index", "index"},
                                                      {"Invert map", "invert-map"},
                                                      {"Edge: %s", "edge"},
                                                      {"Smoothing", "smoothing"},
                                                      {"ChromaticAb", "chromatic-ab"},
                                                      {"Light Active", "light-active"},
                                                      {"Brightness", "brightness"},
                                                      {"Light_X", "light-x"},
                                                      {"Light_Y", "light-y"},
                                                      {"LightZ", "light-z"},
                                                      {"Gloss", "gloss"},
                                                      {"Back Bright", "back-bright"},
                                                      {"Light", "light"},
                                                      {"CellCurve", "cell-curve"},
                                                      {"CellSize", "cell-size"},
                                                      {"Cell Angle", "cell-angle"},
                                                      {"Angle Centre_X", "angle-centre-x"},
                                                      {"Angle Centre_Y", "angle-centre-y"},
                                                      {"Tweak_X", "tweak-x"},
                                                      {"Tweak_Y", "tweak-y"},
                                                      {"ShowMap", "show-map"},
                                                      {"CellShape: %s", "cell-shape"},
                                                      {"Cell Count X", "cell-count-x"},
                                                      {"Cell Count Y", "cell-count-y"}};
    auto number = [](const std::string& text, const char* before) {
        const std::size_t at = text.find(before);
        return at == std::string::npos ? std::nan("") : std::strtod(text.c_str() + at + std::strlen(before), nullptr);
    };
    for (const vx::ControlRow& row : vx::control_table) {
        if (row.kind == ControlKind::label) continue;
        ASSERT_EQ(names.count(row.label), 1u) << row.label;
        const std::string& text = listed[names.at(row.label)];
        ASSERT_FALSE(text.empty()) << row.label;
        EXPECT_EQ(text.find("controllable") != std::string::npos, row.kind != ControlKind::color) << text;
        if (row.kind == ControlKind::numeric) {
            EXPECT_EQ(number(text, "Range:"), row.minimum) << text;
            EXPECT_EQ(number(text.substr(text.find("Range:")), " - "), row.maximum) << text;
            EXPECT_EQ(number(text, "Default:"), row.value[0]) << text;
            EXPECT_NE(text.find(row.step == 1.0 ? "Integer." : "Double."), std::string::npos) << text;
        } else if (row.kind == ControlKind::option) {
            std::stringstream items(row.items);
            for (std::string item; std::getline(items, item, ',');)
                EXPECT_NE(text.find("- " + item + "\n"), std::string::npos) << text;
        } else if (row.kind == ControlKind::color) {
            EXPECT_NE(text.find("< (double)1, (double)1, (double)1, (double)1 >"), std::string::npos) << text;
            for (const char* channel : {"red", "green", "blue", "alpha"}) {
                const std::string& part = listed["light-" + std::string(channel)];
                EXPECT_EQ(number(part, "Range:"), 0.0) << part;
                EXPECT_EQ(number(part, " - "), 1.0) << part;
            }
        }
    }
    EXPECT_NE(listed["project"].find("String."), std::string::npos);
    EXPECT_NE(listed["look"].find("String."), std::string::npos);
    // Descriptions say what the control does, not only its name.
    EXPECT_NE(listed["cell-size"].find("Cell radius = 0.2 x CellSize x picture width"), std::string::npos)
        << listed["cell-size"];
    EXPECT_EQ(r.out.find("The effect's"), std::string::npos) << r.out;
}

// Values GStreamer cannot take are refused with its usual messages and leave
// the property as it was; a project or look that cannot be used stops the
// pipeline with the fault named (an empty look's name as --look '' is, not
// taken as no look); settings of the environment the module cannot use are
// warned of, and the pipeline runs.
TEST_F(GlassElement, BadValuesAreRefused)
{
    spit(dir / "unknown.json", R"({"controls": {"Sparkle": 1}})");
    const struct {
        const char* property;
        bool runs;
        const char* message;
    } cases[] = {{"cell-shape=circle", false, "could not set property \"cell-shape\""},
                 {"cell-count-x=0", true, "out of range for property 'cell-count-x'"},
                 {"light='<1.0, 0.5>'", true, "property 'light' not set: expected <red, green, blue, alpha>"},
                 {"light='<1.0, 0.5, 2.0>'", true, "out of range for property 'light'"},
                 {"project=missing.json", false, "missing.json: cannot read"},
                 {"project=unknown.json", false, "unknown control \"Sparkle\""},
                 {"look=lit-dome", false, "did you mean \"lit-domes\""},
                 {"'look=\"\"'", false, "look's name"}};
    for (const auto& c : cases) {
        const RunResult r = gst(std::string("gst-launch-1.0 -q videotestsrc num-buffers=1 ! trellinglass ") +
                                c.property + " ! fakesink");
        EXPECT_EQ(r.code == 0, c.runs) << c.property << "\n" << r.err;
        EXPECT_NE((r.out + r.err).find(c.message), std::string::npos) << c.property << "\n" << r.out << r.err;
    }
    const RunResult threads =
        gst("TRELLIN_THREADS=abc gst-launch-1.0 videotestsrc num-buffers=1 ! trellinglass ! fakesink");
    EXPECT_EQ(threads.code, 0) << threads.err;
    EXPECT_NE((threads.out + threads.err).find("TRELLIN_THREADS=abc: not a processor count"), std::string::npos)
        << threads.out << threads.err;

    Stream stream("index=2 light=\"<0.5, 0.5, 0.5, 1.0>\"");
    g_object_set(stream.glass(), "index", 20.0, nullptr);
    g_object_set(stream.glass(), "index", std::nan(""), nullptr);
    double index = 0.0;
    g_object_get(stream.glass(), "index", &index, nullptr);
    EXPECT_EQ(index, 2.0);
    GValue light = G_VALUE_INIT;
    g_value_init(&light, GST_TYPE_ARRAY);
    ASSERT_TRUE(gst_value_deserialize_with_pspec(
        &light, "<1.0, 0.5>", g_object_class_find_property(G_OBJECT_GET_CLASS(stream.glass()), "light")));
    g_object_set_property(G_OBJECT(stream.glass()), "light", &light);
    g_value_unset(&light);
    double red = 0.0;
    g_object_get(stream.glass(), "light-red", &red, nullptr);
    EXPECT_EQ(red, 0.5);
}

}  // namespace
