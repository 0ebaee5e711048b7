// trellin-view end to end under Xvfb (one X server per test, on a free display):
// a handle dragged and a control clicked with xdotool, a project saved and the picture exported.
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

#include "apps/common/image_io.h"
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

std::string slurp(const fs::path& path)
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

void write_picture(const fs::path& path)
{
    trellin_app::HostPicture picture(image_w, image_h, 3);
    for (int y = 0; y < image_h; ++y)
        for (int x = 0; x < image_w; ++x)
            for (int c = 0; c < 3; ++c) picture.at(x, y, c) = std::uint16_t(6000 + x * 12 * (c != 1) + y * 15 * (c != 0));
    trellin_app::write_picture(picture, path.string());
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
    auto field = [&](int i) { return std::uint32_t(d[i * 4]) << 24 | d[i * 4 + 1] << 16 | d[i * 4 + 2] << 8 | d[i * 4 + 3]; };
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
                shot.rgb[(std::size_t(y) * w + x) * 3 + c] = std::uint8_t((v & field(14 + c)) >> __builtin_ctz(field(14 + c)));
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
        dir = fs::temp_directory_path() /
              ("trellin-view-" + std::to_string(::getpid()) + "-" +
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
        ASSERT_FALSE(number.empty()) << "Xvfb did not start: " << slurp(dir / "xvfb.log");
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

    // Starts the viewer and waits for its first rendered picture.
    void start(std::vector<std::string> args)
    {
        std::vector<std::string> argv{viewer, picture.string(), "--window", "1280x800", "--debug-state",
                                      (dir / "state.json").string()};
        argv.insert(argv.end(), args.begin(), args.end());
        view = Process(argv, options(), (dir / "viewer.log").string());
        ASSERT_TRUE(wait_until([&] { return read_state() && state["renders"].get<int>() >= 1; }, 60s))
            << "no picture rendered: " << slurp(dir / "viewer.log");
        ASSERT_TRUE(xdo({"search", "--sync", "--name", "trellin-view"}, &window));
        while (!window.empty() && (window.back() == '\n' || window.back() == ' ')) window.pop_back();
        ASSERT_FALSE(window.empty());
        picture_rect = {state["picture"]["x"], state["picture"]["y"], state["picture"]["width"],
                        state["picture"]["height"]};
    }

    bool read_state()
    {
        const std::string text = slurp(dir / "state.json");
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

    fs::path dir, picture;
    std::string display, window;
    Process xvfb, view;
    json state;
    trellin_view::Rect picture_rect;
};

TEST_F(ViewWindow, DraggedTweakHandleMovesLiveRendersOnReleaseAndSavesAndExports)
{
    start({"--set", "Tweak_X=0.7", "--set", "Tweak_Y=0.3", "--export", (dir / "out.png").string()});
    const trellin_view::WindowPoint from = trellin_view::image_to_window(picture_rect, image_w, image_h,
                                                                         0.7 * image_w, 0.3 * image_h);
    const int x0 = int(std::lround(from.x)), y0 = int(std::lround(from.y));
    const int x1 = int(picture_rect.x + picture_rect.width * 0.2) + 3, y1 = int(picture_rect.y + 40.0) + 1;
    const int renders = state["renders"];

    pointer(x0, y0, {"mousedown", "1"});
    for (int step = 1; step <= 4; ++step) pointer(x0 + (x1 - x0) * step / 4, y0 + (y1 - y0) * step / 4);
    // While the button is held the handle's controls follow and nothing renders.
    ASSERT_TRUE(wait_until([&] { return read_state() && state["dragging"] == true &&
                                        control("Tweak_X")["value"].get<double>() < 0.5; },
                           10s));
    EXPECT_EQ(state["renders"].get<int>(), renders);
    ASSERT_TRUE(xdo({"mouseup", "1"}));
    ASSERT_TRUE(renders_after(renders));

    press_key("s");
    const fs::path project = dir / "trellin-project.json";
    ASSERT_TRUE(wait_until([&] { return fs::exists(project); }, 10s)) << slurp(dir / "viewer.log");
    const RegV saved = RegV::read_file(project.string());
    const trellin_view::ImagePoint end = trellin_view::window_to_image(picture_rect, image_w, image_h, x1, y1);
    EXPECT_EQ(saved.doc["controls"]["Tweak_X"].get<double>(), double(end.x / float(image_w)));
    EXPECT_EQ(saved.doc["controls"]["Tweak_Y"].get<double>(), double(end.y / float(image_h)));
    EXPECT_EQ(saved.doc["controls"]["Angle Centre_X"].get<double>(), 0.5);

    // The export is the full-size picture trellin renders with the saved project.
    press_key("e");
    ASSERT_TRUE(wait_until([&] { return read_state() && state["exports"].get<int>() == 1; }, 60s))
        << slurp(dir / "viewer.log");
    const testkit::ProgramResult render = testkit::run_program(
        {std::string(TRELLIN_BIN_DIR) + "/trellin", "render", picture.string(), (dir / "ref.png").string(), "--project",
         project.string()});
    ASSERT_EQ(render.code, 0) << render.err;
    const trellin_app::HostPicture exported = trellin_app::read_picture((dir / "out.png").string());
    EXPECT_EQ(exported.width, image_w);
    EXPECT_TRUE(exported.data == trellin_app::read_picture((dir / "ref.png").string()).data);

    press_key("Escape");
    EXPECT_EQ(view.wait(20), 0);
}

TEST_F(ViewWindow, CheckboxSwitchesTheLightingControlsAvailability)
{
    start({});
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
        ASSERT_TRUE(wait_until([&] { return read_state() && control("Light Active")["value"] == on; }, 10s));
        lighting_disabled(!on);
    }
    ASSERT_TRUE(renders_after(renders));
}

TEST_F(ViewWindow, ScreenshotShowsEachHandleInItsColourWhereItsControlsPutIt)
{
    start({"--set", "Light Active=on", "--set", "Tweak_X=0.7", "--set", "Tweak_Y=0.3", "--set", "Light_X=0.25",
           "--set", "Light_Y=0.7", "--set", "Cell Angle=90"});
    pointer(1, 799);  // away from the handles
    std::this_thread::sleep_for(300ms);
    const testkit::ProgramResult dump = testkit::run_program({"/usr/bin/xwd", "-silent", "-id", window}, options());
    Screenshot shot;
    ASSERT_TRUE(dump.code == 0 && read_xwd(dump.out, shot)) << dump.err;
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
    EXPECT_LT(seen(cx + 17, cy, 0), 20);      // nothing of the tweak handle left at the centre
}

TEST(ViewArguments, RefusedBeforeAWindowOpens)
{
    const fs::path dir = fs::temp_directory_path() / ("trellin-view-args-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "bad.json") << "{\"controls\": {\"Index\": 99}}";
    write_picture(dir / "picture.png");
    const std::string pic = (dir / "picture.png").string();
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{pic, "--set", "Index=99"}, "Index"},
        {{pic, "--set", "Nonsense=1"}, "Nonsense"},
        {{(dir / "none.png").string()}, "none.png"},
        {{pic, "--project", (dir / "bad.json").string()}, "bad.json"},
        {{pic, "--window", "12by3"}, "--window"},
        {{pic, "--export", (dir / "no" / "out.png").string()}, "out.png"},
    };
    for (auto [argv, says] : cases) {
        argv.insert(argv.begin(), viewer);
        const testkit::ProgramResult r = testkit::run_program(argv, testkit::RunOptions().with_env({"DISPLAY"}).within(20));
        EXPECT_EQ(r.code, 2) << says;
        EXPECT_NE((r.out + r.err).find(says), std::string::npos) << r.out << r.err;
    }
    fs::remove_all(dir);
}

}  // namespace
