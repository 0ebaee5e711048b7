// "Trellin Glass" in a real OBS: libobs in this process with its OpenGL
// renderer on an X server of the test's own (Xvfb), the built module loaded
// from the build tree as OBS loads a plug-in, and frames compared with
// `trellin render --depth 8` of the same picture.
//
// Synchronous sources are checked on OBS's own image source through the
// program's output (raw BGRA frames). Asynchronous frames come from a source
// of the test's own, and a probe filter after "Trellin Glass" copies every
// frame the glass hands on, so the frames are compared as they leave it,
// before OBS's shaders turn them into RGB.
//
// The suite ends by shutting OBS down, which unloads the module: OBS's own
// count of its allocations must then be 0, and under AddressSanitizer (the
// suite runs in that build too, although it starts an X server) the leak
// check at exit covers what the filter, its worker and the module held,
// after a filter was removed mid-stream.
// test-links: trellin_obs_host X11
// test-builds: trellin_obs

// OBS's headers define the vector intrinsics over again (SIMDe) unless the
// compiler's own came first.
#include <immintrin.h>

#include <gtest/gtest.h>
#include <obs-module.h>
#include <obs-nix-platform.h>
#include <obs.h>
#include <util/bmem.h>
#include <util/platform.h>

#include <dlfcn.h>
#include <link.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>

#include "apps/common/core/control_facts.h"
#include "apps/common/core/look_library.h"
#include "apps/common/core/project_file.h"
#include "apps/obs/frame_colour.h"
#include "apps/obs/property_map.h"
#include "support/obs_test_frame.h"
#include "support/trellin_cli_support.h"

// Xlib's own header defines macros (None, Status, Bool) that the other
// files compiled with this one cannot live with.
extern "C" {
struct _XDisplay;
_XDisplay* XOpenDisplay(const char* name);
int XCloseDisplay(_XDisplay* display);
}

namespace obs_filter_test {

using namespace trellin_test;
using obs_test::TestFrame;

constexpr int width = 96, height = 64;

// What passed a point: the output's raw frames, or the frames the probe
// filter saw.
struct Capture {
    std::mutex lock;
    long count = 0;
    std::vector<std::uint8_t> planes[3];
    std::uint32_t linesize[3] = {0, 0, 0};
    video_format format = VIDEO_FORMAT_NONE;

    void take(const std::uint8_t* const* data, const std::uint32_t* linesize, const std::uint32_t* rows)
    {
        std::lock_guard<std::mutex> hold(lock);
        for (int p = 0; p < 3; ++p) {
            if (data[p] == nullptr) {
                planes[p].clear();
                continue;
            }
            planes[p].assign(data[p], data[p] + std::size_t(linesize[p]) * rows[p]);
            this->linesize[p] = linesize[p];
        }
        ++count;
    }
    long frames()
    {
        std::lock_guard<std::mutex> hold(lock);
        return count;
    }
};

Capture output_frames, probe_frames;

void on_output(void*, video_data* frame)
{
    const std::uint32_t rows[3] = {height, 0, 0};
    const std::uint8_t* data[3] = {frame->data[0], nullptr, nullptr};
    output_frames.take(data, frame->linesize, rows);
}

// The test's asynchronous source and probe filter.
const char* frames_name(void*)
{
    return "Test frames";
}
void* frames_create(obs_data_t*, obs_source_t* context)
{
    return context;
}
void frames_destroy(void*) {}

obs_source_frame* probe_video(void*, obs_source_frame* frame)
{
    std::uint32_t rows[3] = {frame->height, 0, 0};
    if (frame->data[1] != nullptr)
        rows[1] = frame->format == VIDEO_FORMAT_I444 ? frame->height : (frame->height + 1) / 2;
    if (frame->data[2] != nullptr) rows[2] = rows[1];
    {
        std::lock_guard<std::mutex> hold(probe_frames.lock);
        probe_frames.format = frame->format;
    }
    probe_frames.take(frame->data, frame->linesize, rows);
    return frame;
}

// Polls `done` until it holds or `seconds` pass.
bool within(double seconds, const std::function<bool()>& done)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
}

// Mesa's OpenGL driver keeps blocks of its own to the end of the process.
// OBS unloads it at its shutdown, after which the leak check could not tell
// its blocks from the module's; held loaded, they are named, and the leak
// list leaves them out.
void keep_mesa_driver_loaded()
{
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void*) {
            const std::string name = info->dlpi_name != nullptr ? info->dlpi_name : "";
            if (name.ends_with("_dri.so")) dlopen(name.c_str(), RTLD_NOW | RTLD_NOLOAD);
            return 0;
        },
        nullptr);
}

class ObsFilter : public TrellinTest {
protected:
    static void SetUpTestSuite()
    {
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        xvfb =
            new testkit::Process({"/usr/bin/Xvfb", "-displayfd", "3", "-screen", "0", "640x480x24", "-nolisten", "tcp"},
                                 testkit::RunOptions().clean_env(), "/dev/null", "", fds[1]);
        ::close(fds[1]);
        std::string number;
        for (char c = 0; ::read(fds[0], &c, 1) == 1 && c != '\n';) number += c;
        ::close(fds[0]);
        ASSERT_FALSE(number.empty()) << "Xvfb did not start";
        // OBS's hotkeys open the display DISPLAY names.
        ::setenv("DISPLAY", (":" + number).c_str(), 1);
        display = XOpenDisplay((":" + number).c_str());
        ASSERT_NE(display, nullptr);

        ::unsetenv("TRELLIN_MODULE");
        obs_set_nix_platform(OBS_NIX_PLATFORM_X11_EGL);
        obs_set_nix_platform_display(display);
        ASSERT_TRUE(obs_startup("en-US", nullptr, nullptr));
        obs_video_info ovi{};
        ovi.graphics_module = "libobs-opengl";
        ovi.fps_num = 60;
        ovi.fps_den = 1;
        ovi.base_width = ovi.output_width = width;
        ovi.base_height = ovi.output_height = height;
        // BGRA: OBS 29 hands raw RGBA output frames over unfilled.
        ovi.output_format = VIDEO_FORMAT_BGRA;
        ovi.colorspace = VIDEO_CS_SRGB;
        ovi.range = VIDEO_RANGE_FULL;
        ovi.scale_type = OBS_SCALE_DISABLE;
        ASSERT_EQ(obs_reset_video(&ovi), OBS_VIDEO_SUCCESS) << "no OpenGL for libobs under Xvfb";
        keep_mesa_driver_loaded();

        obs_module_t* image = nullptr;
        ASSERT_EQ(obs_open_module(&image, "/usr/lib/x86_64-linux-gnu/obs-plugins/image-source.so",
                                  "/usr/share/obs/obs-plugins/image-source"),
                  MODULE_SUCCESS);
        ASSERT_TRUE(obs_init_module(image));
        obs_module_t* glass = nullptr;
        ASSERT_EQ(obs_open_module(&glass, TRELLIN_LIB_DIR "/obs-plugins/trellin-obs.so",
                                  TRELLIN_LIB_DIR "/../share/obs/obs-plugins/trellin-obs"),
                  MODULE_SUCCESS);
        ASSERT_TRUE(obs_init_module(glass));

        static obs_source_info frames{};
        frames.id = "trellin_test_frames";
        frames.type = OBS_SOURCE_TYPE_INPUT;
        frames.output_flags = OBS_SOURCE_ASYNC_VIDEO;
        frames.get_name = frames_name;
        frames.create = frames_create;
        frames.destroy = frames_destroy;
        obs_register_source(&frames);
        static obs_source_info probe{};
        probe.id = "trellin_test_probe";
        probe.type = OBS_SOURCE_TYPE_FILTER;
        probe.output_flags = OBS_SOURCE_VIDEO | OBS_SOURCE_ASYNC;
        probe.get_name = frames_name;
        probe.create = frames_create;
        probe.destroy = frames_destroy;
        probe.filter_video = probe_video;
        obs_register_source(&probe);

        obs_add_raw_video_callback(nullptr, on_output, nullptr);
        started = true;
    }

    static void TearDownTestSuite()
    {
        if (started) {
            obs_remove_raw_video_callback(on_output, nullptr);
            obs_set_output_source(0, nullptr);
            obs_shutdown();
            // What the filters, their properties and the module took from
            // OBS's allocator, all given back once it has unloaded them.
            EXPECT_EQ(bnum_allocs(), 0) << "allocations OBS still counts after its shutdown";
        }
        if (display != nullptr) XCloseDisplay(display);
        delete xvfb;
    }

    void SetUp() override
    {
        TrellinTest::SetUp();
        ASSERT_TRUE(started);
    }

    // A picture with detail at every scale, 8 bits a sample.
    std::vector<std::uint8_t> picture(int channels, unsigned seed = 7)
    {
        return pattern<std::uint8_t>(width, height, channels, seed, 255);
    }

    // `trellin render --depth 8` of an 8-bit picture, as 8-bit samples.
    std::vector<std::uint8_t> rendered(const std::vector<std::uint8_t>& samples, int channels,
                                       std::vector<std::string> extra = {})
    {
        write_file(path("in.png"), width, height, channels, OIIO::TypeDesc::UINT8, samples);
        std::vector<std::string> args{"render", path("in.png"), path("out.png"), "--depth", "8"};
        args.insert(args.end(), extra.begin(), extra.end());
        const RunResult r = run(args);
        EXPECT_EQ(r.code, 0) << r.err;
        const FileImage out = read_file(path("out.png"));
        std::vector<std::uint8_t> eight(out.u16.size());
        for (std::size_t i = 0; i < eight.size(); ++i) eight[i] = std::uint8_t(out.u16[i] / 257);
        return eight;
    }

    static obs_source_t* glass_filter(const std::function<void(obs_data_t*)>& set = nullptr)
    {
        obs_data_t* settings = obs_data_create();
        if (set) set(settings);
        obs_source_t* glass = obs_source_create("trellin_glass", "glass", settings, nullptr);
        obs_data_release(settings);
        return glass;
    }

    // Hands `frame` to `source` until the probe has seen `frames` more.
    static bool feed(obs_source_t* source, obs_source_frame& frame, long frames = 3)
    {
        const long target = probe_frames.frames() + frames;
        return within(10.0, [&] {
            frame.timestamp = os_gettime_ns();
            obs_source_output_video(source, &frame);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            return probe_frames.frames() >= target;
        });
    }

    static inline testkit::Process* xvfb = nullptr;
    static inline _XDisplay* display = nullptr;
    static inline bool started = false;
};

// The largest difference between the packed BGRA output and `expected`
// (3 or 4 samples a pixel; the output's alpha is not compared).
int output_difference(const std::vector<std::uint8_t>& expected, int channels)
{
    std::lock_guard<std::mutex> hold(output_frames.lock);
    const std::vector<std::uint8_t>& got = output_frames.planes[0];
    if (got.size() < std::size_t(width * height * 4)) return 256;
    int worst = 0;
    for (int i = 0; i < width * height; ++i)
        for (int c = 0; c < 3; ++c)
            worst = std::max(worst, std::abs(int(got[std::size_t(i) * 4 + std::size_t(2 - c)]) -
                                             int(expected[std::size_t(i) * std::size_t(channels) + c])));
    return worst;
}

TEST_F(ObsFilter, TheModuleOffersTrellinGlassWithItsProperties)
{
    bool found = false;
    const char* id = nullptr;
    for (std::size_t i = 0; obs_enum_filter_types(i, &id); ++i) found = found || std::string(id) == "trellin_glass";
    ASSERT_TRUE(found);
    EXPECT_EQ(std::string(obs_source_get_display_name("trellin_glass")), "Trellin Glass");

    obs_properties_t* props = obs_get_source_properties("trellin_glass");
    ASSERT_NE(props, nullptr);
    obs_property_t* look = obs_properties_get(props, "look");
    ASSERT_NE(look, nullptr);
    const std::vector<trellin_app::LookEntry> looks =
        trellin_app::list_looks_in(TRELLIN_LIB_DIR "/../share/obs/obs-plugins/trellin-obs/looks");
    ASSERT_FALSE(looks.empty());
    EXPECT_EQ(obs_property_list_item_count(look), looks.size() + 1);
    obs_property_t* size = obs_properties_get(props, "CellSize");
    ASSERT_NE(size, nullptr);
    EXPECT_EQ(std::string(obs_property_long_description(size)), trellin_app::control_meaning("CellSize"));
    obs_properties_destroy(props);
}

TEST_F(ObsFilter, AnImageSourceRendersAsTrellinRenderDoes)
{
    const std::vector<std::uint8_t> samples = picture(3);
    write_file(path("picture.png"), width, height, 3, OIIO::TypeDesc::UINT8, samples);
    obs_data_t* settings = obs_data_create();
    obs_data_set_string(settings, "file", path("picture.png").c_str());
    obs_source_t* image = obs_source_create("image_source", "picture", settings, nullptr);
    obs_data_release(settings);
    ASSERT_NE(image, nullptr);
    obs_source_t* glass = glass_filter();
    ASSERT_NE(glass, nullptr);
    obs_source_filter_add(image, glass);
    obs_set_output_source(0, image);

    const std::vector<std::uint8_t> plain = rendered(samples, 3);
    EXPECT_TRUE(within(10.0, [&] { return output_difference(plain, 3) == 0; }))
        << "largest difference " << output_difference(plain, 3);

    // A look, chosen as a scene collection or a script sets it.
    const std::vector<std::uint8_t> domes = rendered(samples, 3, {"--look", "lit-domes"});
    obs_data_t* look = obs_data_create();
    obs_data_set_string(look, "look", "lit-domes");
    obs_source_update(glass, look);
    obs_data_release(look);
    EXPECT_TRUE(within(10.0, [&] { return output_difference(domes, 3) == 0; }))
        << "largest difference " << output_difference(domes, 3);

    obs_set_output_source(0, nullptr);
    obs_source_filter_remove(image, glass);
    obs_source_release(glass);
    obs_source_release(image);
}

TEST_F(ObsFilter, ALookSetsEveryControl)
{
    obs_source_t* glass = glass_filter([](obs_data_t* s) { obs_data_set_string(s, "look", "hexagon-glass"); });
    ASSERT_NE(glass, nullptr);
    const trellin_app::NodeModule module = trellin_app::NodeModule::open(TRELLIN_BIN_DIR "/TrellinVx.node");
    const trellin_app::ControlFacts facts = trellin_app::control_facts(*module.create_node());
    const trellin_app::NodePtr node =
        trellin_app::load_project_file(module, trellin_app::find_look("hexagon-glass", TRELLIN_BIN_DIR).path);
    obs_data_t* expected = obs_data_create();
    trellin_obs::write_settings(*node, facts, expected);
    obs_data_t* got = obs_source_get_settings(glass);
    for (const trellin_app::ControlFact& f : facts.controls) {
        const char* name = f.label.c_str();
        switch (f.form) {
        case trellin_app::ControlForm::number:
            EXPECT_EQ(obs_data_get_double(got, name), obs_data_get_double(expected, name)) << name;
            break;
        case trellin_app::ControlForm::choice:
            EXPECT_STREQ(obs_data_get_string(got, name), obs_data_get_string(expected, name)) << name;
            break;
        case trellin_app::ControlForm::switch_:
            EXPECT_EQ(obs_data_get_bool(got, name), obs_data_get_bool(expected, name)) << name;
            break;
        default:
            EXPECT_EQ(obs_data_get_int(got, name), obs_data_get_int(expected, name)) << name;
            break;
        }
    }

    // Chosen in the properties, as the settings dialog does: the settings
    // show the look's values at once.
    obs_properties_t* props = obs_source_properties(glass);
    obs_data_set_string(got, "look", "lit-domes");
    EXPECT_TRUE(obs_property_modified(obs_properties_get(props, "look"), got));
    obs_data_t* domes = obs_data_create();
    trellin_obs::write_settings(
        *trellin_app::load_project_file(module, trellin_app::find_look("lit-domes", TRELLIN_BIN_DIR).path), facts,
        domes);
    EXPECT_EQ(obs_data_get_double(got, "Index"), obs_data_get_double(domes, "Index"));
    EXPECT_STREQ(obs_data_get_string(got, "CellShape"), obs_data_get_string(domes, "CellShape"));
    // Shown again, the properties leave values changed since alone.
    obs_data_set_double(got, "Index", 2.5);
    EXPECT_FALSE(obs_property_modified(obs_properties_get(props, "look"), got));
    EXPECT_EQ(obs_data_get_double(got, "Index"), 2.5);
    obs_data_release(domes);
    obs_properties_destroy(props);
    obs_data_release(got);
    obs_data_release(expected);
    obs_source_release(glass);
}

// An asynchronous source of `format` with the glass and the probe after it.
struct AsyncChain {
    obs_source_t* source = obs_source_create("trellin_test_frames", "frames", nullptr, nullptr);
    obs_source_t* glass;
    obs_source_t* probe = obs_source_create("trellin_test_probe", "probe", nullptr, nullptr);

    explicit AsyncChain(obs_source_t* glass_filter) : glass(glass_filter)
    {
        obs_source_set_async_unbuffered(source, true);
        obs_source_filter_add(source, glass);
        obs_source_filter_add(source, probe);
        obs_set_output_source(0, source);
    }
    ~AsyncChain()
    {
        obs_set_output_source(0, nullptr);
        obs_source_filter_remove(source, probe);
        if (glass != nullptr) obs_source_filter_remove(source, glass);
        obs_source_release(probe);
        obs_source_release(glass);
        obs_source_release(source);
    }
};

// The largest difference per plane between what the probe saw last and
// `expected`, over the samples each plane's rows hold.
int probe_difference(const TestFrame& expected)
{
    std::lock_guard<std::mutex> hold(probe_frames.lock);
    if (probe_frames.format != expected.frame.format) return 1 << 20;
    int worst = 0;
    const bool wide = expected.frame.format == VIDEO_FORMAT_P010;
    for (int p = 0; p < 3; ++p) {
        const std::vector<std::uint8_t>& want = expected.planes[p];
        const std::vector<std::uint8_t>& got = probe_frames.planes[p];
        if (want.empty()) continue;
        const std::uint32_t line = expected.frame.linesize[p], got_line = probe_frames.linesize[p];
        const std::uint32_t used = line - 8;  // the test frames' rows carry 8 bytes of padding
        const std::size_t rows = want.size() / line;
        if (got_line < used || got.size() < rows * got_line) return 1 << 20;
        for (std::size_t row = 0; row < rows; ++row)
            for (std::uint32_t i = 0; i < used; i += wide ? 2 : 1) {
                const std::size_t at = row * line + i, got_at = row * got_line + i;
                const int a = wide ? int(want[at] | want[at + 1] << 8) >> 6 : want[at];
                const int b = wide ? int(got[got_at] | got[got_at + 1] << 8) >> 6 : got[got_at];
                worst = std::max(worst, std::abs(a - b));
            }
    }
    return worst;
}

// A packed frame of `format` holding 8-bit `samples` (3 or 4 a pixel).
std::unique_ptr<TestFrame> packed_frame(video_format format, const std::vector<std::uint8_t>& samples, int channels)
{
    auto frame = std::make_unique<TestFrame>(format, width, height);
    trellin_app::HostPicture picture(width, height, channels);
    for (std::size_t i = 0; i < samples.size(); ++i) picture.data[i] = std::uint16_t(samples[i] * 257);
    trellin_obs::write_packed(picture, frame->frame);
    return frame;
}

TEST_F(ObsFilter, PackedRgbFramesRenderAsTrellinRenderDoes)
{
    std::vector<std::uint8_t> outputs[2];  // trellin render's, of 3 and of 4 samples a pixel
    for (const video_format format : {VIDEO_FORMAT_RGBA, VIDEO_FORMAT_BGRA, VIDEO_FORMAT_BGRX}) {
        SCOPED_TRACE(get_video_format_name(format));
        const int channels = format == VIDEO_FORMAT_BGRX ? 3 : 4;
        const std::vector<std::uint8_t> samples = picture(channels, 11);
        std::vector<std::uint8_t>& out = outputs[channels - 3];
        if (out.empty()) out = rendered(samples, channels);
        const auto input = packed_frame(format, samples, channels);
        const auto expected = packed_frame(format, out, channels);

        AsyncChain chain(glass_filter());
        ASSERT_TRUE(feed(chain.source, input->frame));
        EXPECT_EQ(probe_difference(*expected), 0);
    }
}

// YUV frames render as their RGB conversion does through trellin render.
// The conversion reaches outside 0..1 where chroma shared by several pixels
// meets a pixel's own luma, so it goes to the command line as a float
// picture: 8-bit formats with --hdr none (standard range is clipped, as an
// 8-bit picture's samples are), P010 with --hdr split (10-bit and HDR keep
// what lies outside). Both sides then turn the same rendered RGB into the
// frame's format, subsampling chroma alike, so the frames agree sample for
// sample: the subsampling is in both.
TEST_F(ObsFilter, YuvFramesRenderAsTheirRgbConversionDoes)
{
    const std::vector<std::uint8_t> samples = picture(3, 5);
    const video_format formats[] = {VIDEO_FORMAT_NV12, VIDEO_FORMAT_I420, VIDEO_FORMAT_I444,
                                    VIDEO_FORMAT_YUY2, VIDEO_FORMAT_UYVY, VIDEO_FORMAT_P010};
    // Each format's frame, and the RGB it reads as in frame k of a sequence for trellin render (in
    // two runs: P010, the last, with --hdr split).
    std::vector<std::unique_ptr<TestFrame>> inputs;
    trellin_obs::YuvColour colours[6];
    for (std::size_t k = 0; k < 6; ++k) {
        inputs.push_back(std::make_unique<TestFrame>(formats[k], width, height));
        ASSERT_TRUE(trellin_obs::yuv_colour(inputs[k]->frame, colours[k]));
        std::vector<float> rgb(samples.size());
        for (std::size_t i = 0; i < rgb.size(); ++i) rgb[i] = float(samples[i]) / 255.0f;
        trellin_obs::write_yuv(rgb, colours[k], inputs[k]->frame);
        trellin_obs::read_yuv(inputs[k]->frame, colours[k], rgb);
        write_file(path("rgb." + std::to_string(k) + ".tif"), width, height, 3, OIIO::TypeDesc::FLOAT, rgb);
    }
    for (const auto& [frames, hdr] : {std::pair{"0-4", "none"}, std::pair{"5", "split"}}) {
        const RunResult r = run(
            {"render", path("rgb.%d.tif"), path("out.%d.tif"), "--frames", frames, "--hdr", hdr, "--depth", "float"});
        ASSERT_EQ(r.code, 0) << r.err;
    }
    for (std::size_t k = 0; k < 6; ++k) {
        SCOPED_TRACE(get_video_format_name(formats[k]));
        const std::vector<float> out = read_file(path("out." + std::to_string(k) + ".tif")).f32;
        ASSERT_EQ(out.size(), samples.size());
        TestFrame expected(formats[k], width, height);
        trellin_obs::write_yuv(out, colours[k], expected.frame);

        AsyncChain chain(glass_filter());
        ASSERT_TRUE(feed(chain.source, inputs[k]->frame));
        EXPECT_EQ(probe_difference(expected), 0);
    }
}

// A property changed while frames stream shows from the next frame; the
// filter removed mid-stream hands the frames on untouched.
TEST_F(ObsFilter, APropertyChangeShowsFromTheNextFrameAndRemovingTheFilterMidStreamLeavesFramesUntouched)
{
    const std::vector<std::uint8_t> samples = picture(4, 3);
    const auto input = packed_frame(VIDEO_FORMAT_RGBA, samples, 4);
    const auto before = packed_frame(VIDEO_FORMAT_RGBA, rendered(samples, 4), 4);
    const auto after = packed_frame(VIDEO_FORMAT_RGBA, rendered(samples, 4, {"--set", "CellSize=0.3"}), 4);

    AsyncChain chain(glass_filter());
    ASSERT_TRUE(feed(chain.source, input->frame));
    ASSERT_EQ(probe_difference(*before), 0);

    obs_data_t* change = obs_data_create();
    obs_data_set_double(change, "CellSize", 0.3);
    obs_source_update(chain.glass, change);
    obs_data_release(change);
    // OBS hands a filter new settings at its next tick, which comes after
    // that tick's frame of an asynchronous source was filtered; the frame
    // handed over next renders with them and shows one frame later: the
    // third frame out.
    ASSERT_TRUE(feed(chain.source, input->frame, 3));
    EXPECT_EQ(probe_difference(*after), 0);
    ASSERT_TRUE(feed(chain.source, input->frame, 2));
    EXPECT_EQ(probe_difference(*after), 0);

    std::thread streaming([&] {
        for (int i = 0; i < 20; ++i) {
            input->frame.timestamp = os_gettime_ns();
            obs_source_output_video(chain.source, &input->frame);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    obs_source_filter_remove(chain.source, chain.glass);
    streaming.join();
    obs_source_release(chain.glass);
    chain.glass = nullptr;

    ASSERT_TRUE(feed(chain.source, input->frame, 2));
    EXPECT_EQ(probe_difference(*input), 0);
}

}  // namespace obs_filter_test
