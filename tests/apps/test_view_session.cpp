// The viewer's input handling, preview scheduling and playback, without a
// window: keys and pointer events in, render requests and what the window
// shows out, on a clock the test moves.
// test-links: trellin_view_core
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "apps/common/core/control_setting.h"
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
    std::uint64_t request_preview(RegV, long long frame, int width, int height, bool fast) override
    {
        requests.push_back({true, frame, width, height, fast, {}});
        return requests.size();
    }
    std::uint64_t request_export(RegV, long long frame, std::string path) override
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
    void open(const std::string& export_path = "")
    {
        SessionOptions options;
        options.project_path = "unused.json";
        options.export_path = export_path;
        options.image_width = 400;
        options.image_height = 300;
        for (long long f = 0; f <= 20; ++f) options.frames.push_back(f);
        options.fps = 10.0;
        session = std::make_unique<ViewSession>(options, trellin_app::NodePtr(vx::TrellinNode::make()), renders);
        frame_at(start);
    }

    // One drawn frame at `now`: layout, then playback and the preview.
    void frame_at(ViewClock::time_point now)
    {
        session->begin_frame(now, 1.0);
        session->place(WindowLayout{Rect{0, 0, 400, 300}, Rect{0, 300, 400, 40}, Rect{0, 340, 400, 200}});
        session->tick();
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

TEST_F(ViewSessionTest, WithoutAnExportFileEAsksForOne)
{
    open();
    press(ViewKey::e);
    EXPECT_TRUE(last().preview);
    EXPECT_NE(session->message().find("--export"), std::string::npos) << session->message();
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

}  // namespace
