// The viewer's input handling, preview scheduling and playback, without a
// window: keys and pointer events in, render requests and what the window
// shows out, on a clock the test moves.
// test-links: trellin_view_core
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "apps/common/core/control_setting.h"
#include "apps/common/core/control_text.h"
#include "apps/trellin-view/control_edit.h"
#include "apps/trellin-view/view_session.h"
#include "node/trellin_node.h"

namespace {

using namespace trellin_view;
using namespace std::chrono_literals;
using trellin_app::HostPicture;

struct Request {
    bool preview = true;
    long long frame = 0;
    int width = 0;
    int height = 0;
    bool fast = false;
    std::string path;
};

class Recorder : public RenderRequests {
public:
    std::uint64_t request_preview(trellin_app::SettingsSnapshot, long long frame, int width, int height,
                                  bool fast) override
    {
        requests.push_back({true, frame, width, height, fast, {}});
        return requests.size();
    }
    std::uint64_t request_export(trellin_app::SettingsSnapshot, long long frame, std::string path) override
    {
        requests.push_back({false, frame, 0, 0, false, std::move(path)});
        return requests.size();
    }
    bool busy() const override { return pending; }

    std::vector<Request> requests;
    bool pending = false;
};

class ViewSessionTest : public ::testing::Test {
protected:
    // A 400x300 shot of frames 0..20 in a window whose picture area fits it
    // at full size.
    void open(const std::string& export_path = "", const std::string& project_path = "unused.json",
              trellin_app::NodePtr node = nullptr)
    {
        SessionOptions options;
        options.project_path = project_path;
        options.export_path = export_path;
        options.image_width = 400;
        options.image_height = 300;
        for (long long f = 0; f <= 20; ++f) options.frames.push_back(f);
        options.fps = 10.0;
        if (!node) node = trellin_app::NodePtr(vx::TrellinNode::make());
        session = std::make_unique<ViewSession>(options, std::move(node), renders);
        frame_at(start);
    }

    // One drawn frame at `now`: layout, then playback and the preview.
    void frame_at(ViewClock::time_point now)
    {
        session->begin_frame(now, 1.0);
        session->place(WindowLayout{Rect{0, 0, 400, 300}, Rect{0, 300, 400, 40}, Rect{0, 340, 400, 200}});
        session->tick();
    }

    void pointer(PointerEvent::Type type, double x, double y)
    {
        session->pointer({type, PointerButton::left, x, y}, false);
    }

    KeyOutcome press(ViewKey key, bool shift = false, bool typing = false)
    {
        KeyEvent e;
        e.key = key;
        e.shift = shift;
        return session->key(e, typing);
    }

    // A finished preview of `r`, rendered in `ms`.
    RenderResult result(const Request& r, double ms)
    {
        RenderResult done;
        done.frame = r.frame;
        done.fast = r.fast;
        done.ok = true;
        done.milliseconds = ms;
        done.picture = HostPicture(r.width, r.height, 4);
        return done;
    }

    const Request& last() const { return renders.requests.back(); }

    Recorder renders;
    std::unique_ptr<ViewSession> session;
    const ViewClock::time_point start = ViewClock::time_point() + 1000s;
};

TEST_F(ViewSessionTest, EditsAskForReducedPreviewsUntilThePointerRestsAndSlowOnesGetSmaller)
{
    open();
    ASSERT_EQ(renders.requests.size(), 1u);
    EXPECT_EQ((std::vector<int>{last().width, last().height, last().fast}), (std::vector<int>{400, 300, 0}));
    frame_at(start + 10ms);
    EXPECT_EQ(renders.requests.size(), 1u) << "nothing changed: no new request";

    // A control dragged in the panel: half size while it moves.
    CWidget* index = trellin_app::apply_setting(session->node(), trellin_app::parse_setting("Index=2"));
    session->panel_input({index}, true, {});
    frame_at(start + 20ms);
    EXPECT_EQ((std::vector<int>{last().width, last().height, last().fast}), (std::vector<int>{200, 150, 1}));
    ASSERT_EQ(session->selected().size(), 1u);

    // A reduced render that took long: the next ones are a quarter.
    EXPECT_TRUE(session->take_results({result(last(), 200.0)}));
    EXPECT_EQ(session->shown().width, 200);
    trellin_app::apply_setting(session->node(), trellin_app::parse_setting("Index=3"));
    session->panel_input({index}, true, {});
    frame_at(start + 30ms);
    EXPECT_EQ((std::vector<int>{last().width, last().height, last().fast}), (std::vector<int>{100, 75, 1}));
    // The shell waits for events no longer than until the pointer is at rest.
    EXPECT_NEAR(session->wait_seconds(start + 30ms), 0.245, 1e-9);

    // At rest a quarter of a second later: full size.
    frame_at(start + 300ms);
    EXPECT_EQ((std::vector<int>{last().width, last().height, last().fast}), (std::vector<int>{400, 300, 0}));
    EXPECT_EQ(session->wait_seconds(start + 500ms), 0.5);

    // Without an export file, E asks for one rather than exporting.
    press(ViewKey::e);
    EXPECT_TRUE(last().preview);
    EXPECT_NE(session->message().find("--export"), std::string::npos) << session->message();
}

TEST_F(ViewSessionTest, KeysStepTheFramesSwitchWhatIsShownAndExportTheFrameShown)
{
    open("out.%04d.png");
    press(ViewKey::right);
    EXPECT_EQ(session->timeline().frame(), 1);
    press(ViewKey::right, true);
    EXPECT_EQ(session->timeline().frame(), 11);
    press(ViewKey::end);
    EXPECT_EQ(session->timeline().frame(), 20);
    press(ViewKey::left, false, true);
    EXPECT_EQ(session->timeline().frame(), 20) << "keys typed into a control are the control's";
    press(ViewKey::home);
    EXPECT_EQ(session->timeline().frame(), 0);
    press(ViewKey::right, true);
    press(ViewKey::left);
    frame_at(start + 10ms);
    EXPECT_EQ(last().frame, 9);

    press(ViewKey::b);
    EXPECT_EQ(session->showing(), "input");
    press(ViewKey::w);
    EXPECT_EQ(session->showing(), "wipe: input | result");
    press(ViewKey::o);
    EXPECT_FALSE(session->outline());
    EXPECT_EQ(press(ViewKey::escape), KeyOutcome::escape);

    press(ViewKey::e);
    EXPECT_FALSE(last().preview);
    EXPECT_EQ(last().path, "out.0009.png");
    EXPECT_EQ(last().frame, 9);
}

TEST_F(ViewSessionTest, PlaybackWaitsForEachFrameAndSkipsTheOnesItFellBehindOn)
{
    open();
    KeyEvent space{ViewKey::space, KeyEvent::State::press, false};
    session->key(space, false);
    space.state = KeyEvent::State::release;
    session->key(space, false);
    ASSERT_TRUE(session->timeline().playing());
    frame_at(start + 1ms);
    EXPECT_EQ(last().frame, 0);
    EXPECT_TRUE(last().fast) << "playback renders reduced previews";
    const std::size_t asked = renders.requests.size();
    renders.pending = true;
    frame_at(start + 350ms);
    EXPECT_EQ(renders.requests.size(), asked) << "no new frame before the last one came back";

    // Back after 350 ms at 10 frames a second: frames 1 and 2 were skipped.
    renders.pending = false;
    session->take_results({result(last(), 350.0)});
    frame_at(start + 351ms);
    EXPECT_EQ(last().frame, 3);
    EXPECT_EQ(session->timeline().marks()[0], Timeline::Mark::rendered);

    // Space held to pan with the left button does not stop playback on release.
    space.state = KeyEvent::State::press;
    session->key(space, false);
    const Rect before = session->navigation().picture();
    session->pointer({PointerEvent::Type::press, PointerButton::left, 100, 100}, false);
    session->pointer({PointerEvent::Type::move, PointerButton::other, 130, 90}, false);
    session->pointer({PointerEvent::Type::release, PointerButton::left, 130, 90}, false);
    space.state = KeyEvent::State::release;
    session->key(space, false);
    EXPECT_TRUE(session->timeline().playing());
    EXPECT_EQ(session->navigation().picture().x, before.x + 30);
    EXPECT_FALSE(session->dragging());
    press(ViewKey::right);
    EXPECT_FALSE(session->timeline().playing()) << "stepping stops playback";
}

// Closing with unsaved changes warns once, then keeps them in the recovery
// project; saving, or nothing changed, closes at once.
TEST_F(ViewSessionTest, ClosingWithUnsavedChangesWarnsOnceAndKeepsThemBeside)
{
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("trellin-view-session-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string project = (dir / "spin.json").string();
    open("", project);
    EXPECT_EQ(session->recovery_path(), (dir / "spin.unsaved.json").string());
    EXPECT_FALSE(session->unsaved());
    EXPECT_TRUE(session->may_close()) << "nothing changed";

    CWidget* index = trellin_app::apply_setting(session->node(), trellin_app::parse_setting("Index=2"));
    session->panel_input({index}, false, {});
    EXPECT_TRUE(session->unsaved());
    EXPECT_FALSE(session->may_close());
    EXPECT_EQ(session->message().find("unsaved changes"), 0u) << session->message();
    EXPECT_NE(session->message().find("spin.unsaved.json"), std::string::npos) << session->message();
    // Another edit after the warning warns again.
    trellin_app::apply_setting(session->node(), trellin_app::parse_setting("Index=3"));
    EXPECT_FALSE(session->may_close()) << "an edit not yet committed counts";
    EXPECT_TRUE(session->may_close());
    EXPECT_TRUE(session->keep_unsaved());
    const RegV kept = RegV::read_file(session->recovery_path());
    EXPECT_EQ(kept.doc["controls"]["Index"], 3) << kept.doc.dump();
    EXPECT_FALSE(std::filesystem::exists(project)) << "the project itself is left as it was";

    // Saved: nothing to keep, and closing goes ahead at once.
    std::filesystem::remove(session->recovery_path());
    trellin_app::apply_setting(session->node(), trellin_app::parse_setting("Index=4"));
    press(ViewKey::s);
    EXPECT_FALSE(session->unsaved());
    EXPECT_TRUE(session->may_close());
    EXPECT_TRUE(session->keep_unsaved());
    EXPECT_FALSE(std::filesystem::exists(session->recovery_path()));
    std::filesystem::remove_all(dir);

    // A recovery project that cannot be written is reported, not passed over.
    open("", (dir / "gone" / "p").string());
    EXPECT_EQ(session->recovery_path(), (dir / "gone" / "p.unsaved.json").string());
    trellin_app::apply_setting(session->node(), trellin_app::parse_setting("Index=2"));
    EXPECT_FALSE(session->keep_unsaved());
}

// The wipe's line starts in the middle, stays put when the pointer passes,
// and follows only a drag that starts on it, inside the picture's area.
TEST_F(ViewSessionTest, TheWipeLineMovesOnlyWhenDragged)
{
    open();
    press(ViewKey::w);
    EXPECT_EQ(session->wipe_at(), 200.0);
    pointer(PointerEvent::Type::move, 50, 100);
    EXPECT_EQ(session->wipe_at(), 200.0) << "the line does not follow the pointer";

    pointer(PointerEvent::Type::press, 250, 150);
    EXPECT_FALSE(session->dragging_wipe()) << "a press away from the line";
    pointer(PointerEvent::Type::move, 300, 150);
    pointer(PointerEvent::Type::release, 300, 150);
    EXPECT_EQ(session->wipe_at(), 200.0);

    pointer(PointerEvent::Type::press, 204, 150);
    EXPECT_TRUE(session->dragging_wipe());
    EXPECT_FALSE(session->dragging()) << "the line is taken before any handle";
    pointer(PointerEvent::Type::move, 80, 150);
    EXPECT_EQ(session->wipe_at(), 80.0);
    pointer(PointerEvent::Type::move, -40, 150);
    EXPECT_EQ(session->wipe_at(), 0.0) << "kept inside the picture's area";
    pointer(PointerEvent::Type::move, 120, 150);
    pointer(PointerEvent::Type::release, 120, 150);
    EXPECT_FALSE(session->dragging_wipe());
    pointer(PointerEvent::Type::move, 330, 150);
    EXPECT_EQ(session->wipe_at(), 120.0);
    EXPECT_EQ(session->state({})["wipe_x"], 120.0);
    press(ViewKey::w);
    EXPECT_EQ(session->state({})["wipe_x"], -1.0) << "no wipe shown";
}

// The time bar shows every keyed control's keys from the start; a control
// clicked in the panel is selected (its keys brightest) without counting as
// an edit.
TEST_F(ViewSessionTest, TheTimeBarShowsEveryKeyAndAClickSelectsWithoutEditing)
{
    trellin_app::NodePtr node(vx::TrellinNode::make());
    CWidget* index = trellin_app::apply_setting(*node, trellin_app::parse_setting("Index=2"));
    set_key_here(*index, 0.0);
    set_key_here(*index, 6.0);
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("trellin-view-bar-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    open("", (dir / "keys.json").string(), std::move(node));
    BarKeys keys = session->bar_keys();
    EXPECT_TRUE(keys.selected.empty());
    EXPECT_EQ(keys.others, (std::vector<double>{0.0, 6.0}));
    EXPECT_EQ(keys.names, trellin_app::setting_label(*index));
    EXPECT_EQ(session->state({})["time_bar_keys"], nlohmann::json::array({0.0, 6.0}));

    CWidget* other = trellin_app::apply_setting(session->node(), trellin_app::parse_setting("Cell Angle=10"));
    session->panel_input({other}, false, {{ControlKeyAction::Kind::set, other}});
    ASSERT_EQ(session->selected(), std::vector<CWidget*>{other});
    keys = session->bar_keys();
    EXPECT_EQ(keys.selected, std::vector<double>{0.0});
    EXPECT_EQ(keys.others, (std::vector<double>{0.0, 6.0}));

    press(ViewKey::s);
    ASSERT_FALSE(session->unsaved());
    session->panel_input({}, false, {}, index);
    EXPECT_EQ(session->selected(), std::vector<CWidget*>{index});
    EXPECT_EQ(session->bar_keys().selected, (std::vector<double>{0.0, 6.0}));
    EXPECT_EQ(session->bar_keys().names, trellin_app::setting_label(*index));
    EXPECT_FALSE(session->unsaved()) << "a click that changes nothing is no edit";
    std::filesystem::remove_all(dir);
}

// A handle off the picture (the lit-domes light, above it) is marked on the
// picture's edge nearest it, and a press there drags it onto the picture.
TEST_F(ViewSessionTest, AHandleOffThePictureIsMarkedOnItsEdgeAndDraggedFromThere)
{
    open();
    FXNode& node = session->node();
    const auto value = [&](const char* label) {
        return static_cast<CNumeric&>(
                   trellin_app::setting_control(node, trellin_app::parse_setting(std::string(label) + "=0")))
            .value;
    };
    for (const char* text : {"Light Active=on", "Light_X=0.25", "Light_Y=-0.6"})
        trellin_app::apply_setting(node, trellin_app::parse_setting(text));
    open_for_editing(node, 0.0);  // as the panel's change does: the light's controls become available
    std::vector<HandleMark> marks = session->outside_marks();
    ASSERT_EQ(marks.size(), 1u);
    EXPECT_EQ(marks[0].label, "Light");
    EXPECT_DOUBLE_EQ(marks[0].x, 100.0);
    EXPECT_DOUBLE_EQ(marks[0].y, 0.0) << "on the top edge";
    EXPECT_DOUBLE_EQ(marks[0].towards_y, -1.0);

    // Zoomed in, a handle beyond the part shown is marked on that part's edge.
    session->navigation().zoom_steps(4.0, 200.0, 150.0);
    frame_at(start + 1ms);
    marks = session->outside_marks();
    const Rect area{0, 0, 400, 300};
    EXPECT_GE(marks.size(), 1u);
    for (const HandleMark& m : marks) EXPECT_TRUE(area.contains(m.x, m.y)) << m.label << " " << m.x << "," << m.y;
    session->navigation().fit();
    frame_at(start + 2ms);

    // The node places its handles as it draws them (no picture is drawn here).
    node.draw_overlay(nullptr);
    pointer(PointerEvent::Type::press, 101.0, 2.0);
    EXPECT_TRUE(session->dragging());
    pointer(PointerEvent::Type::move, 120.0, 60.0);
    pointer(PointerEvent::Type::release, 120.0, 60.0);
    EXPECT_FALSE(session->dragging());
    EXPECT_NEAR(value("Light_X"), 0.3, 1e-6);
    EXPECT_NEAR(value("Light_Y"), 0.2, 1e-6);
    EXPECT_TRUE(session->outside_marks().empty());

    // The light off, its handle is not shown, nor marked.
    trellin_app::apply_setting(node, trellin_app::parse_setting("Light_Y=-0.6"));
    trellin_app::apply_setting(node, trellin_app::parse_setting("Light Active=off"));
    open_for_editing(node, 0.0);
    EXPECT_TRUE(session->outside_marks().empty());
}

}  // namespace
