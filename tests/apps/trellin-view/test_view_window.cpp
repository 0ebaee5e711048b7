// trellin-view end to end under Xvfb (one X server per test, on a free display):
// handles dragged, controls clicked and keys pressed with xdotool; frames stepped
// and keyed, projects saved and frames exported (also with colour options and
// a look) and checked against `trellin render`; the input shown before the
// effect; captions that read whole.
// test-labels: external
// test-links: trellin_view_core
// test-builds: trellin-view
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include <OpenImageIO/imagebuf.h>

#include "apps/common/picture/image_io.h"
#include "apps/common/picture/picture_settings.h"
#include "apps/trellin-view/view_geometry.h"
#include "host/regv.h"
#include "support/subprocess.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using namespace std::chrono_literals;
using testkit::Process;

const std::string viewer = std::string(TRELLIN_BIN_DIR) + "/trellin-view";
constexpr int image_w = 640, image_h = 360;

std::string log_text(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool wait_until(const std::function<bool()>& ready, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (ready()) return true;
        std::this_thread::sleep_for(20ms);
    }
    return ready();
}

// A picture with ramps in every channel; `shift` moves them, so that the frames of a sequence differ.
void write_picture(const fs::path& path, int shift = 0)
{
    trellin_app::HostPicture picture(image_w, image_h, 3);
    for (int y = 0; y < image_h; ++y)
        for (int x = 0; x < image_w; ++x)
            for (int c = 0; c < 3; ++c)
                picture.at(x, y, c) =
                    std::uint16_t(6000 + ((x + shift * 40) % image_w) * 12 * (c != 1) + y * 15 * (c != 0));
    trellin_app::write_picture(picture, path.string());
}

std::string run_render(const std::vector<std::string>& args)
{
    std::vector<std::string> argv{std::string(TRELLIN_BIN_DIR) + "/trellin", "render"};
    argv.insert(argv.end(), args.begin(), args.end());
    const testkit::ProgramResult r = testkit::run_program(argv);
    return r.code == 0 ? std::string() : "trellin render failed: " + r.err;
}

bool same_pixels(const fs::path& a, const fs::path& b)
{
    return trellin_app::read_picture(a.string()).data == trellin_app::read_picture(b.string()).data;
}

// 8-bit RGB pixels of an X window dump (xwd: big-endian header, then pixels of
// 3 or 4 bytes in the dump's byte order, channels found by their masks).
struct Screenshot {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb;
};

bool read_xwd(const std::string& data, Screenshot& shot)
{
    const auto* d = reinterpret_cast<const unsigned char*>(data.data());
    auto field = [&](int i) {
        return std::uint32_t(d[i * 4]) << 24 | d[i * 4 + 1] << 16 | d[i * 4 + 2] << 8 | d[i * 4 + 3];
    };
    if (data.size() < 100) return false;
    const std::uint32_t w = field(4), h = field(5), msb = field(7), bytes = field(11) / 8, line = field(12);
    const std::size_t start = field(0) + std::size_t(field(19)) * 12;
    if (bytes < 3 || bytes > 4 || start + std::size_t(line) * h > data.size()) return false;
    shot = Screenshot{int(w), int(h), std::vector<std::uint8_t>(std::size_t(w) * h * 3)};
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x) {
            std::uint32_t v = 0;
            for (std::uint32_t k = 0; k < bytes; ++k)
                v |= std::uint32_t(d[start + y * line + x * bytes + k]) << (8 * (msb == 0 ? k : bytes - 1 - k));
            for (int c = 0; c < 3; ++c)
                shot.rgb[(std::size_t(y) * w + x) * 3 + c] =
                    std::uint8_t((v & field(14 + c)) >> __builtin_ctz(field(14 + c)));
        }
    return true;
}

// How strongly a pixel shows red (0), green (1) or yellow (2); 0: not at all.
int strength(const std::uint8_t* p, int hue)
{
    const int r = p[0], g = p[1], b = p[2];
    if (hue == 0) return r >= 100 ? std::min(r - g, r - b) : 0;
    if (hue == 1) return g >= 100 ? std::min(g - r, g - b) : 0;
    return r >= 100 && g >= 100 ? std::min(r, g) - b - std::abs(r - g) : 0;
}

// The viewer on a generated picture under its own X server.
class ViewWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("trellin-view-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        picture = dir / "picture.png";
        write_picture(picture);

        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        xvfb = Process({"/usr/bin/Xvfb", "-displayfd", "3", "-screen", "0", "1600x1000x24", "-nolisten", "tcp"},
                       testkit::RunOptions().clean_env().in(dir.string()), (dir / "xvfb.log").string(), "", fds[1]);
        ::close(fds[1]);
        // Xvfb writes its display number once it takes connections (and closes the pipe if it fails).
        std::string number;
        for (char c = 0; ::read(fds[0], &c, 1) == 1 && c != '\n';) number += c;
        ::close(fds[0]);
        ASSERT_FALSE(number.empty()) << "Xvfb did not start: " << log_text(dir / "xvfb.log");
        display = "DISPLAY=:" + number;
    }

    void TearDown() override
    {
        view.stop();
        xvfb.stop();
        if (!HasFailure()) fs::remove_all(dir);
    }

    testkit::RunOptions options() const
    {
        std::vector<std::string> env{display, "PATH=/usr/bin:/bin"};
        if (const char* home = std::getenv("HOME")) env.push_back(std::string("HOME=") + home);
        return testkit::RunOptions().with_env(env).clean_env().in(dir.string()).within(20);
    }

    // Starts the viewer on `input` (the picture when empty) in a 1280x800 window, or at the size it
    // chooses, and waits for its first rendered picture.
    void start(std::vector<std::string> args, bool chosen_size = false, std::string input = "")
    {
        std::vector<std::string> argv{viewer, input.empty() ? picture.string() : input, "--debug-state",
                                      (dir / "state.json").string()};
        if (!chosen_size) argv.insert(argv.end(), {"--window", "1280x800"});
        argv.insert(argv.end(), args.begin(), args.end());
        view = Process(argv, options(), (dir / "viewer.log").string());
        ASSERT_TRUE(wait_until([&] { return read_state() && state["renders"].get<int>() >= 1; }, 60s))
            << "no picture rendered: " << log_text(dir / "viewer.log");
        ASSERT_TRUE(xdo({"search", "--sync", "--name", "trellin-view"}, &window));
        while (!window.empty() && (window.back() == '\n' || window.back() == ' ')) window.pop_back();
        ASSERT_FALSE(window.empty());
        picture_rect = rect_of(state["picture"]);
    }

    static trellin_view::Rect rect_of(const json& r) { return {r["x"], r["y"], r["width"], r["height"]}; }

    bool read_state()
    {
        const std::string text = log_text(dir / "state.json");
        state = json::parse(text, nullptr, false);
        return !text.empty() && !state.is_discarded();
    }

    json control(const std::string& label)
    {
        for (const json& c : state["controls"])
            if (c["label"] == label) return c;
        ADD_FAILURE() << "no control " << label;
        return json::object();
    }

    bool xdo(std::vector<std::string> args, std::string* out = nullptr)
    {
        args.insert(args.begin(), "/usr/bin/xdotool");
        const testkit::ProgramResult r = testkit::run_program(args, options());
        if (out != nullptr) *out = r.out;
        return r.code == 0;
    }

    // Moves the pointer to window position (x, y) and does `then` there (xdotool words).
    void pointer(double x, double y, std::vector<std::string> then = {})
    {
        then.insert(then.begin(), {"mousemove", "--window", window, std::to_string(int(x)), std::to_string(int(y))});
        ASSERT_TRUE(xdo(then));
    }
    void press_key(const std::string& key) { pointer(picture_rect.x + 5, picture_rect.y + 5, {"key", key}); }
    bool renders_after(int renders)
    {
        return wait_until([&] { return read_state() && state["renders"].get<int>() > renders; }, 30s);
    }
    bool state_shows(const std::function<bool()>& ready, std::chrono::milliseconds limit = 20s)
    {
        return wait_until([&] { return read_state() && ready(); }, limit);
    }
    // Drags with the left button from (x0, y0) to (x1, y1) in four moves, and waits for the release. The
    // panel reads the button once a frame, so a click made before the viewer has seen this release would
    // read as the same press held on.
    void drag(int x0, int y0, int x1, int y1)
    {
        pointer(x0, y0, {"mousedown", "1"});
        for (int step = 1; step <= 4; ++step) pointer(x0 + (x1 - x0) * step / 4, y0 + (y1 - y0) * step / 4);
        ASSERT_TRUE(xdo({"mouseup", "1"}));
        ASSERT_TRUE(state_shows([&] { return state["dragging"] == false; }));
    }
    // Where image pixel (ix, iy) lies in the window now, rounded to whole units.
    std::pair<int, int> window_point(double ix, double iy)
    {
        const trellin_view::WindowPoint p =
            trellin_view::image_to_window(rect_of(state["picture"]), image_w, image_h, ix, iy);
        return {int(std::lround(p.x)), int(std::lround(p.y))};
    }
    // The value a crosshair drag to window point (x, y) writes: the image position as a float fraction.
    double dragged_to(int x, int y, bool along_x)
    {
        const trellin_view::ImagePoint p =
            trellin_view::window_to_image(rect_of(state["picture"]), image_w, image_h, x, y);
        return along_x ? double(p.x / float(image_w)) : double(p.y / float(image_h));
    }

    fs::path dir, picture;
    std::string display, window;
    Process xvfb, view;
    json state;
    trellin_view::Rect picture_rect;
};

TEST_F(ViewWindow, CaptionsReadWholeAtTheChosenSizeAndACheckboxSwitchesTheLightingControls)
{
    start({}, true);
    // Every text of the panel fits the room it has, and a caption's lines hold the whole label.
    for (const json& c : state["controls"]) {
        ASSERT_TRUE(c.contains("texts")) << c["label"];
        for (const json& t : c["texts"])
            EXPECT_LE(t["width"].get<double>(), t["room"].get<double>()) << c["label"] << ": " << t["text"];
        if (!c.contains("caption")) continue;
        std::string joined;
        for (const json& line : c["caption"]) {
            if (!joined.empty()) joined += ' ';
            joined += line.get<std::string>();
        }
        const std::string label = c["label"];
        EXPECT_EQ(joined, label.substr(0, label.find(": %s"))) << label;
    }

    auto lighting_disabled = [&](bool disabled) {
        for (const char* label : {"Brightness", "Gloss", "Back Bright", "Light", "Light_X", "Light_Y", "LightZ"})
            EXPECT_EQ(control(label)["disabled"].get<bool>(), disabled) << label;
    };
    lighting_disabled(true);
    EXPECT_FALSE(control("Index")["disabled"].get<bool>());
    const int renders = state["renders"];
    for (const bool on : {true, false}) {
        const json rect = control("Light Active")["rect"];
        const double half = rect["height"].get<double>() / 2;
        pointer(rect["x"].get<double>() + half, rect["y"].get<double>() + half, {"click", "1"});
        ASSERT_TRUE(state_shows([&] { return control("Light Active")["value"] == on; }, 10s));
        lighting_disabled(!on);
    }
    ASSERT_TRUE(renders_after(renders));
}

// One picture through the handles' life: each drawn in its colour where its controls put it; at 1:1
// with B the window shows the input's own pixels; at zoom 2 the tweak handle dragged 40 window units
// moves its control by 20 image pixels, the picture following at a reduced size while the button is
// held and at the full shown size at rest; the project saved with S holds the dragged values, and the
// export is the full-size picture trellin renders with it.
TEST_F(ViewWindow, HandlesShowDragThroughTheZoomAndSaveAndExportAsTrellinRenders)
{
    start({"--set", "Light Active=on", "--set", "Tweak_X=0.7", "--set", "Tweak_Y=0.3", "--set", "Light_X=0.25", "--set",
           "Light_Y=0.7", "--set", "Cell Angle=90", "--export", (dir / "out.png").string()});
    pointer(1, 799);  // away from the handles
    std::this_thread::sleep_for(300ms);
    Screenshot shot;
    const auto screenshot = [&] {
        const testkit::ProgramResult dump = testkit::run_program({"/usr/bin/xwd", "-silent", "-id", window}, options());
        return dump.code == 0 && read_xwd(dump.out, shot);
    };
    ASSERT_TRUE(screenshot());
    // Strongest showing of the hue within 3 pixels of an image position.
    auto seen = [&](double ix, double iy, int hue) {
        const trellin_view::WindowPoint p = trellin_view::image_to_window(picture_rect, image_w, image_h, ix, iy);
        int best = 0;
        for (int y = int(p.y) - 3; y <= int(p.y) + 3; ++y)
            for (int x = int(p.x) - 3; x <= int(p.x) + 3; ++x)
                if (x >= 0 && y >= 0 && x < shot.width && y < shot.height)
                    best = std::max(best, strength(&shot.rgb[(std::size_t(y) * shot.width + x) * 3], hue));
        return best;
    };
    // Crosshair arms run from 10 to 25 image pixels out; the angle arm points down at 90 degrees.
    const double tx = 0.7 * image_w, ty = 0.3 * image_h, cx = 0.5 * image_w, cy = 0.5 * image_h;
    const double lx = 0.25 * image_w, ly = 0.7 * image_h;
    EXPECT_GT(seen(tx + 17, ty, 0), 60);
    EXPECT_GT(seen(cx - 17, cy, 1), 60);
    EXPECT_GT(seen(cx, cy + 0.1 * image_w, 1), 60);
    EXPECT_GT(seen(lx + 17, ly, 2), 60);
    EXPECT_GT(seen(lx + 6, ly + 6, 2), 60);  // a diagonal arm
    EXPECT_LT(seen(cx + 17, cy, 0), 20);     // nothing of the tweak handle left at the centre

    press_key("1");
    press_key("b");
    ASSERT_TRUE(state_shows([&] { return state["zoom"] == 1.0 && state["showing"] == "input"; }));
    std::this_thread::sleep_for(300ms);
    ASSERT_TRUE(screenshot());
    const trellin_app::HostPicture input = trellin_app::read_picture(picture.string());
    const trellin_view::Rect rect = rect_of(state["picture"]), area = rect_of(state["picture_area"]);
    ASSERT_EQ(rect.width, image_w);
    int compared = 0, differ = 0;
    for (int y = 0; y < image_h; ++y)
        for (int x = 0; x < image_w; ++x) {
            const int wx = int(rect.x) + x, wy = int(rect.y) + y;
            if (!area.contains(wx, wy) || wx >= shot.width || wy >= shot.height) continue;
            // Skip the corner the pointer rests on.
            if (x < 12 && y < 12) continue;
            ++compared;
            for (int c = 0; c < 3; ++c)
                differ += std::abs(int(shot.rgb[(std::size_t(wy) * shot.width + wx) * 3 + c]) -
                                   int(std::lround(input.at(x, y, c) / 257.0))) > 1;
        }
    EXPECT_GT(compared, image_w * image_h / 2);
    EXPECT_EQ(differ, 0);

    press_key("b");
    const auto [hx, hy] = window_point(tx, ty);
    pointer(hx, hy, {"click", "--repeat", "4", "--delay", "80", "4"});
    ASSERT_TRUE(state_shows([&] { return state["zoom"] == 2.0 && state["showing"] == "result"; }));
    const auto [x0, y0] = window_point(tx, ty);
    EXPECT_LE(std::abs(x0 - hx) + std::abs(y0 - hy), 2);  // zoomed about the pointer
    const int reduced = state["reduced_renders"];
    pointer(x0, y0, {"mousedown", "1"});
    for (int step = 1; step <= 4; ++step) pointer(x0 + 10 * step, y0);
    ASSERT_TRUE(state_shows([&] {
        return state["dragging"] == true && control("Tweak_X")["value"].get<double>() > 0.7 &&
               state["reduced_renders"].get<int>() > reduced;
    })) << log_text(dir / "viewer.log");
    ASSERT_TRUE(xdo({"mouseup", "1"}));
    ASSERT_TRUE(state_shows([&] {
        return state["dragging"] == false && state["busy"] == false && state["preview"]["reduced"] == false &&
               state["preview"]["width"] ==
                   trellin_view::preview_size(rect_of(state["picture"]), 1.0, image_w, image_h).width;
    }));
    const double dragged = dragged_to(x0 + 40, y0, true);
    EXPECT_EQ(control("Tweak_X")["value"].get<double>(), dragged);
    EXPECT_NEAR(dragged * image_w, tx + 20, 0.5);

    press_key("s");
    const fs::path project = dir / "trellin-project.json";
    ASSERT_TRUE(wait_until([&] { return fs::exists(project); }, 10s)) << log_text(dir / "viewer.log");
    const RegV saved = RegV::read_file(project.string());
    EXPECT_EQ(saved.doc["controls"]["Tweak_X"].get<double>(), dragged);
    EXPECT_EQ(saved.doc["controls"]["Tweak_Y"].get<double>(), dragged_to(x0 + 40, y0, false));
    EXPECT_EQ(saved.doc["controls"]["Angle Centre_X"].get<double>(), 0.5);

    press_key("e");
    ASSERT_TRUE(state_shows([&] { return state["exports"].get<int>() == 1; }, 60s)) << log_text(dir / "viewer.log");
    ASSERT_EQ(run_render({picture.string(), (dir / "ref.png").string(), "--project", project.string()}), "");
    EXPECT_EQ(trellin_app::read_picture((dir / "out.png").string()).width, image_w);
    EXPECT_TRUE(same_pixels(dir / "out.png", dir / "ref.png"));

    press_key("Escape");
    EXPECT_EQ(view.wait(20), 0);
}

// Frames 10 to 14 of a sequence under a project that turns the cells over them. What a designer meets
// first: the project's keys on the time bar before any control is touched, a plain click on a slider
// that selects it without moving it, the wipe's dividing line dragged. Then: step to frame 12, drag the
// tweak handle and key it with K, key it again by dragging at frame 13 (a keyed control's edit keys it),
// come back, save and export: the project holds both keys, and frame 12 exports as trellin renders it.
// Last, Esc after an edit asks first, and then keeps the edit in a recovery project.
TEST_F(ViewWindow, ShotSteppedKeyedAndExportedRendersAsTrellinRendersAndNoEditIsLostOnClosing)
{
    for (int f = 10; f <= 14; ++f) write_picture(dir / ("seq." + std::to_string(f) + ".png"), f);
    const fs::path project = dir / "spin.json";
    std::ofstream(project)
        << R"({"controls": {"Cell Angle": {"keys": [[10, 0], [14, 40]]}, "Tweak_X": 0.7, "Tweak_Y": 0.3}})";
    start({"--frames", "10-14", "--project", project.string(), "--export", (dir / "out.%d.png").string()}, false,
          (dir / "seq.%d.png").string());
    EXPECT_EQ(state["shot"]["count"], 5);
    EXPECT_EQ(state["time_bar_keys"], json::array({10.0, 14.0}));
    EXPECT_EQ(state["unsaved"], false);

    const json slider = control("Angle Centre_X")["rect"];
    const double sy = slider["y"].get<double>() + slider["height"].get<double>() / 2;
    pointer(slider["x"].get<double>() + slider["width"].get<double>() * 0.2, sy, {"click", "1"});
    ASSERT_TRUE(state_shows([&] { return state["selected"] == json::array({"Angle Centre_X"}); }));
    EXPECT_EQ(control("Angle Centre_X")["value"].get<double>(), 0.5);
    EXPECT_EQ(state["unsaved"], false);

    press_key("w");
    ASSERT_TRUE(state_shows([&] { return state["wipe_x"].get<double>() > 0.0; }));
    const double line = state["wipe_x"];
    const int mid_y = int(picture_rect.y + picture_rect.height / 2);
    drag(int(line), mid_y, int(line) - 120, mid_y);
    ASSERT_TRUE(state_shows([&] { return std::abs(state["wipe_x"].get<double>() - (line - 120)) < 2.0; }))
        << state["wipe_x"];
    press_key("w");
    ASSERT_TRUE(state_shows([&] { return state["wipe_x"] == -1.0; }));

    press_key("Right");
    press_key("Right");
    ASSERT_TRUE(state_shows([&] { return state["frame"] == 12; }));
    EXPECT_EQ(control("Cell Angle")["value"].get<double>(), 20.0);

    const auto [x0, y0] = window_point(0.7 * image_w, 0.3 * image_h);
    const int x1 = x0 - 100, y1 = y0 + 60;
    drag(x0, y0, x1, y1);
    press_key("k");
    ASSERT_TRUE(state_shows([&] { return control("Tweak_X")["keys"] == json::array({12.0}); }))
        << log_text(dir / "viewer.log");
    const double key12 = dragged_to(x1, y1, true);

    press_key("Right");
    ASSERT_TRUE(state_shows([&] { return state["frame"] == 13; }));
    const int x2 = x1 + 150, y2 = y1 - 30;
    drag(x1, y1, x2, y2);
    ASSERT_TRUE(state_shows([&] { return control("Tweak_X")["keys"] == json::array({12.0, 13.0}); }));
    press_key("Left");
    ASSERT_TRUE(state_shows([&] { return state["frame"] == 12 && control("Tweak_X")["value"] == key12; }));

    press_key("s");
    press_key("e");
    ASSERT_TRUE(state_shows([&] { return state["exports"].get<int>() == 1; }, 60s)) << log_text(dir / "viewer.log");
    const json controls = RegV::read_file(project.string()).doc["controls"];
    const json tweak_keys =
        json::parse("[[12, " + json(key12).dump() + "], [13, " + json(dragged_to(x2, y2, true)).dump() + "]]");
    EXPECT_EQ(controls["Tweak_X"]["keys"], tweak_keys);
    EXPECT_EQ(controls["Cell Angle"]["keys"], json::parse("[[10, 0], [14, 40]]"));
    ASSERT_EQ(run_render({(dir / "seq.%d.png").string(), (dir / "ref.%d.png").string(), "--frames", "12", "--project",
                          project.string()}),
              "");
    EXPECT_TRUE(same_pixels(dir / "out.12.png", dir / "ref.12.png"));

    const json box = control("Light Active")["rect"];
    const double half = box["height"].get<double>() / 2;
    pointer(box["x"].get<double>() + half, box["y"].get<double>() + half, {"click", "1"});
    ASSERT_TRUE(state_shows([&] { return state["unsaved"] == true; })) << control("Light Active");
    press_key("Escape");
    ASSERT_TRUE(state_shows([&] { return state["status"].get<std::string>().find("unsaved changes") == 0; }));
    EXPECT_FALSE(fs::exists(dir / "spin.unsaved.json"));
    press_key("Escape");
    EXPECT_EQ(view.wait(20), 0);
    ASSERT_TRUE(fs::exists(dir / "spin.unsaved.json")) << log_text(dir / "viewer.log");
    const json kept = RegV::read_file((dir / "spin.unsaved.json").string()).doc["controls"];
    EXPECT_EQ(kept["Light Active"], true);
    EXPECT_EQ(kept["Cell Angle"]["keys"], json::parse("[[10, 0], [14, 40]]"));
    EXPECT_EQ(kept["Tweak_X"]["keys"], tweak_keys);
}

// Colour options and a look carry through a shot: frame 11 of a sequence worked in linear light under
// the log curve, exported to OpenEXR, holds the same samples and the same settings as trellin render
// makes of frame 11 with the same options.
TEST_F(ViewWindow, ShotFrameExportedWithColourOptionsAndALookAsTrellinRendersIt)
{
    for (int f = 10; f <= 12; ++f) write_picture(dir / ("seq." + std::to_string(f) + ".png"), f);
    const std::string input = (dir / "seq.%d.png").string();
    const std::vector<std::string> same{"--frames",        "10-12",  "--look", "hammered",
                                        "--working-space", "linear", "--hdr",  "log"};
    std::vector<std::string> args = same;
    args.insert(args.end(), {"--export", (dir / "out.%d.exr").string()});
    start(args, false, input);
    press_key("Right");
    ASSERT_TRUE(state_shows([&] { return state["frame"] == 11; }));
    press_key("e");
    ASSERT_TRUE(state_shows([&] { return state["exports"].get<int>() == 1; }, 60s)) << log_text(dir / "viewer.log");

    args = {input, (dir / "ref.%d.exr").string()};
    args.insert(args.end(), same.begin(), same.end());
    args[3] = "11";
    ASSERT_EQ(run_render(args), "");
    auto samples = [](const fs::path& path) {
        OIIO::ImageBuf buf(path.string());
        std::vector<float> f(buf.spec().image_pixels() * std::size_t(buf.nchannels()));
        EXPECT_TRUE(!f.empty() && buf.get_pixels(buf.roi(), OIIO::TypeDesc::FLOAT, f.data())) << path;
        return f;
    };
    EXPECT_TRUE(samples(dir / "out.11.exr") == samples(dir / "ref.11.exr"));
    const json settings = trellin_app::read_picture_settings((dir / "out.11.exr").string());
    EXPECT_EQ(settings, trellin_app::read_picture_settings((dir / "ref.11.exr").string()));
    EXPECT_EQ(settings["picture"]["frame"], 11);
    EXPECT_EQ(settings["render"]["hdr"], "log");
}

// Each kind of argument the viewer refuses, with exit code 2 and the argument named; the shot's and the
// settings' other refusals are the ShotFiles and trellin render tests'.
TEST(ViewArguments, RefusedBeforeAWindowOpens)
{
    const fs::path dir = fs::temp_directory_path() / ("trellin-view-args-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "bad.json") << "{\"controls\": {\"Index\": 99}}";
    write_picture(dir / "picture.png");
    const std::string pic = (dir / "picture.png").string();
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{pic, "--set", "Index=99"}, "Index"},
        {{(dir / "none.png").string()}, "none.png"},
        {{pic, "--project", (dir / "bad.json").string()}, "bad.json"},
        {{pic, "--window", "12by3"}, "--window"},
        {{pic, "--export", (dir / "no" / "out.png").string()}, "out.png"},
        {{(dir / "seq.%04d.png").string()}, "--frames"},
        {{pic, "--look", "hamered"}, "hammered"},
        {{pic, "--look", "hammered", "--project", (dir / "p.json").string()}, "--project"},
        {{pic, "--hdr", "lin"}, "--hdr"},
    };
    for (auto [argv, says] : cases) {
        argv.insert(argv.begin(), viewer);
        const testkit::ProgramResult r =
            testkit::run_program(argv, testkit::RunOptions().with_env({"DISPLAY"}).within(20));
        EXPECT_EQ(r.code, 2) << says;
        EXPECT_NE((r.out + r.err).find(says), std::string::npos) << r.out << r.err;
    }
    fs::remove_all(dir);
}

}  // namespace

// At twice the interface size on a 1600x1000 screen the groups wrap below one another: every control
// lies inside the window's width, and the picture keeps a useful share of the window.
TEST_F(ViewWindow, DoubleInterfaceSizeWrapsTheGroupsAndKeepsThePicture)
{
    start({"--ui-scale", "2"}, true);
    const double width = state["window"]["width"], height = state["window"]["height"];
    for (const json& c : state["controls"]) {
        if (c["hidden"] == true || c["label"] == "Trellin" || c["label"] == "Surface") continue;
        ASSERT_TRUE(c.contains("rect")) << c["label"];
        EXPECT_LE(c["rect"]["x"].get<double>() + c["rect"]["width"].get<double>(), width) << c["label"];
    }
    EXPECT_GE(state["picture_area"]["height"].get<double>(), 0.3 * height) << state["picture_area"];
}
