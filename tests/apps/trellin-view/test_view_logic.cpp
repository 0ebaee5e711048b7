// The viewer's logic without a window: layout, window-to-image mapping, zoom
// and pan, panel edits and keys, the shot and its timeline, and rendering on
// the worker thread.
// test-labels: threaded
// test-links: trellin_view_core
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <tuple>
#include <vector>

#include <OpenImageIO/imageio.h>

#include "apps/common/core/control_setting.h"
#include "apps/common/picture/image_io.h"
#include "apps/trellin-view/cell_angle_note.h"
#include "apps/trellin-view/control_edit.h"
#include "apps/trellin-view/panel_layout.h"
#include "apps/trellin-view/render_worker.h"
#include "apps/trellin-view/shot.h"
#include "apps/trellin-view/timeline.h"
#include "apps/trellin-view/track_marks.h"
#include "apps/trellin-view/view_geometry.h"
#include "apps/trellin-view/view_navigation.h"
#include "apps/trellin-view/view_session.h"
#include "node/trellin_node.h"

namespace {

using namespace trellin_view;
using trellin_app::HostPicture;
using trellin_app::NodePtr;

NodePtr new_node()
{
    return NodePtr(vx::TrellinNode::make());
}

std::vector<double> corners(const Rect& r)
{
    return {r.x, r.y, r.width, r.height};
}

TEST(ViewGeometry, PictureFitsCentredWithItsShapeAndMapsToImagePixels)
{
    EXPECT_EQ(corners(fit_picture(Rect{0, 0, 1280, 600}, 1920, 1080, 1.0)), (std::vector<double>{107, 0, 1066, 600}));
    // Wide pixels make the picture wider; a narrow area limits the width.
    EXPECT_EQ(corners(fit_picture(Rect{10, 20, 800, 800}, 400, 400, 2.0)), (std::vector<double>{10, 220, 800, 400}));
    for (const Rect& r : {Rect{107, 0, 1066, 600}, Rect{10, 20, 3840, 2160}}) {
        for (double f : {0.0, 0.5, 1.0}) {
            const ImagePoint p = window_to_image(r, 1920, 1080, r.x + f * r.width, r.y + f * r.height);
            EXPECT_EQ(p.x, float(1920 * f));
            EXPECT_EQ(p.y, float(1080 * f));
        }
        // Outside the picture maps outside the image, so a drag past the edge reaches the range ends.
        EXPECT_LT(window_to_image(r, 1920, 1080, r.x - 5, r.y - 5).x, 0.0f);
    }
    // Previews render at the shown size in device pixels, up to full size; the viewport counts rows from the bottom.
    EXPECT_EQ(preview_size(Rect{0, 0, 640, 360}, 2.0, 1920, 1080).width, 1280);
    EXPECT_EQ(preview_size(Rect{0, 0, 1920, 1079}, 1.0, 1920, 1080).height, 1080);
    const Viewport dense = picture_viewport(Rect{107, 10, 1066, 600}, 800.0, 2.0);
    EXPECT_EQ((std::vector<int>{dense.x, dense.y, dense.width, dense.height}),
              (std::vector<int>{214, 380, 2132, 1200}));
}

TEST(ViewNavigation, WheelStepsKeepThePointUnderThePointerAndLandOnOneToOneAndDouble)
{
    ViewNavigation nav;
    const Rect area{0, 0, 1000, 600};
    nav.place(area, 1920, 1080, 1.0, 1.0);
    EXPECT_TRUE(nav.fitted());
    EXPECT_NEAR(nav.zoom(), 1000.0 / 1920.0, 1e-3);

    // 1:1 about the area's centre, then four steps up about a pointer: 2:1, the
    // image point under the pointer staying within the half pixel the corners round by.
    nav.actual_pixels();
    nav.place(area, 1920, 1080, 1.0, 1.0);
    EXPECT_EQ(nav.zoom(), 1.0);
    EXPECT_EQ(nav.picture().width, 1920.0);
    const ImagePoint under = window_to_image(nav.picture(), 1920, 1080, 700, 200);
    for (int i = 0; i < 4; ++i) nav.zoom_steps(1.0, 700, 200);
    nav.place(area, 1920, 1080, 1.0, 1.0);
    EXPECT_EQ(nav.zoom(), 2.0);
    EXPECT_EQ(nav.picture().width, 3840.0);
    const ImagePoint after = window_to_image(nav.picture(), 1920, 1080, 700, 200);
    EXPECT_NEAR(after.x, under.x, 0.5);
    EXPECT_NEAR(after.y, under.y, 0.5);
    // On a screen of double density 1:1 takes half the window units.
    nav.place(area, 1920, 1080, 1.0, 2.0);
    EXPECT_EQ(nav.picture().width, 1920.0);

    // Panning moves the picture by the pointer's travel; F fits it again.
    nav.place(area, 1920, 1080, 1.0, 1.0);
    const double x = nav.picture().x;
    nav.pan(-30, 0);
    EXPECT_EQ(nav.picture().x, x - 30);
    nav.fit();
    EXPECT_EQ(corners(nav.place(area, 1920, 1080, 1.0, 1.0)), corners(fit_picture(area, 1920, 1080, 1.0)));
}

// The node's panel as the layout sees it: each control's place, and whether it is a label.
std::vector<PanelItem> node_panel_items()
{
    NodePtr node = new_node();
    CPanel panel;
    EXPECT_TRUE(node->layout_controls(&panel));
    std::vector<PanelItem> items;
    for (const CPanel::Placement& p : panel.placements())
        items.push_back(PanelItem{p.column, p.row, p.control->kind() == ControlKind::label, 1});
    return items;
}

// Whether two cells share no area.
bool apart(const Rect& c, const Rect& o)
{
    return c.x + c.width <= o.x || o.x + o.width <= c.x || c.y + c.height <= o.y || o.y + o.height <= c.y;
}

TEST(PanelLayout, NodesGridOfFourteenColumnsWithLabelsBelowAndCaptionsWrappedWhole)
{
    std::vector<PanelItem> items = node_panel_items();
    items[0].caption_lines = 3;
    const PanelLayout layout = layout_panel(items, PanelMetrics{.width = 1400});
    EXPECT_EQ(layout.columns, 14);
    EXPECT_EQ(layout.rows, 5);
    double lowest_control = 0;
    for (std::size_t i = 0; i < items.size(); ++i)
        if (!items[i].is_label) lowest_control = std::max(lowest_control, layout.cells[i].y + layout.cells[i].height);
    for (std::size_t i = 0; i < items.size(); ++i) {
        const Rect& c = layout.cells[i];
        EXPECT_TRUE(layout.shown[i] && c.x >= 0.0 && c.x + c.width <= 1400.0 && c.y + c.height <= layout.height) << i;
        EXPECT_TRUE(!items[i].is_label || c.y > lowest_control) << i;
        // Every control of a row starts below the row's longest caption.
        if (!items[i].is_label && items[i].row == items[0].row) {
            EXPECT_EQ(layout.control_offsets[i], layout.control_offsets[0]) << i;
        }
        for (std::size_t j = 0; j < i; ++j) EXPECT_TRUE(apart(c, layout.cells[j])) << i << " overlaps " << j;
    }
    EXPECT_EQ(layout.control_offsets[0], 3 * PanelMetrics{}.line_height + PanelMetrics{}.caption_gap);

    // Columns never narrower than what they must show whole: a narrow panel's grid is wider, and scrolls.
    const PanelLayout narrow = layout_panel(items, PanelMetrics{.width = 500, .min_column_width = 90});
    EXPECT_EQ(narrow.column_width, 90);
    EXPECT_GT(narrow.width, 500);

    // Captions break between words only; a word wider than the room keeps a line of its own.
    const auto chars = [](const std::string& t) { return double(t.size()); };
    EXPECT_EQ(wrap_words("Angle Centre_X", 10, chars), (std::vector<std::string>{"Angle", "Centre_X"}));
    EXPECT_EQ(wrap_words("Cell Count X", 10, chars), (std::vector<std::string>{"Cell Count", "X"}));
    EXPECT_EQ(wrap_words("ChromaticAb", 5, chars), (std::vector<std::string>{"ChromaticAb"}));
    EXPECT_EQ(widest_word("Angle Centre_X", chars), 8);

    // A placement off the grid's left is not shown; the panel takes the window's bottom, the time bar above it.
    EXPECT_FALSE(layout_panel({{-1, 0, false, 1}, {20, 0, false, 1}}, PanelMetrics{}).shown[0]);
    const WindowLayout split = split_window(1280, 800, 60, 200);
    EXPECT_EQ((std::vector<double>{split.picture_area.height, split.time_bar.y, split.panel.y}),
              (std::vector<double>{540, 540, 600}));
}

TEST(PanelLayout, GroupsThatDoNotFitSideBySideWrapBelowOneAnotherAndThePictureKeepsRoom)
{
    std::vector<PanelItem> items = node_panel_items();
    // Wide enough: nothing moves.
    PanelMetrics wide{.width = 1400, .min_column_width = 90};
    EXPECT_EQ(wrap_groups(items, wide).size(), items.size());
    EXPECT_EQ(wide.min_columns, 14);
    for (std::size_t i = 0; i < items.size(); ++i) EXPECT_EQ(wrap_groups(items, wide)[i].column, items[i].column);

    // Too narrow for 14 columns of 90: the Surface group (from column 7) goes below the grid's group,
    // and the whole panel fits the width, every cell apart.
    PanelMetrics narrow{.width = 800, .min_column_width = 90};
    const std::vector<PanelItem> wrapped = wrap_groups(items, narrow);
    EXPECT_EQ(narrow.min_columns, 7);
    const PanelLayout layout = layout_panel(wrapped, narrow);
    EXPECT_EQ(layout.columns, 7);
    EXPECT_LE(layout.width, 800);
    for (std::size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(wrapped[i].row >= 5, items[i].column >= 7) << i;
        const Rect& c = layout.cells[i];
        for (std::size_t j = 0; j < i; ++j) EXPECT_TRUE(apart(c, layout.cells[j])) << i << " overlaps " << j;
    }
    // A panel taller than half the window gets half, and the picture the rest above the time bar.
    const WindowLayout split = split_window(1000, 600, 50, 900);
    EXPECT_EQ((std::vector<double>{split.panel.height, split.picture_area.height}), (std::vector<double>{300, 250}));
}

TEST(ControlEdit, NumbersSnapToTheirStepsInsideTheRange)
{
    CNumeric size("CellSize", 0.1, 0.01, 1.0, 0.005, true), count("Cell Count X", 10, 1, 100, 1, true);
    const std::tuple<CNumeric*, double, double> cases[] = {
        {&size, 0.30000004, 0.3}, {&size, 0.3076, 0.31}, {&size, 7.0, 1.0}, {&size, -1.0, 0.01}, {&count, 12.6, 13.0}};
    for (const auto& [control, value, snapped] : cases) EXPECT_EQ(snap_to_step(*control, value), snapped) << value;
}

TEST(ControlEdit, EditsBecomeKeysAtTheShownFrameAndOpeningGreysOutUnavailableControls)
{
    NodePtr node = new_node();
    auto* angle = static_cast<CNumeric*>(node->find_control("Cell Angle"));
    auto* index = static_cast<CNumeric*>(node->find_control("Index"));
    angle->set_key(ControlKey{0.0, {10.0}});
    angle->set_key(ControlKey{24.0, {90.0}});
    index->set_key(ControlKey{0.0, {1.5}});
    angle->value = 45.0;  // edited
    index->value = 1.5;   // as its key holds
    EXPECT_EQ(key_edits_at(*node, 0.0), 1);
    ASSERT_EQ(angle->keys().size(), 2u);
    EXPECT_EQ(angle->keys()[0].v[0], 45.0);

    open_for_editing(*node, 0.0);
    EXPECT_TRUE(node->find_control("Brightness")->is_disabled());
    trellin_app::apply_setting(*node, {"Light Active", "on"});
    open_for_editing(*node, 0.0);
    EXPECT_FALSE(node->find_control("Brightness")->is_disabled());
}

TEST(ControlEdit, KeysSetDeletedAndTheControlsAnEditChanged)
{
    NodePtr node = new_node();
    auto* angle = static_cast<CNumeric*>(node->find_control("Cell Angle"));
    const ControlValues before = control_values(*node);
    angle->value = 30.0;
    EXPECT_EQ(changed_controls(*node, before), (std::vector<CWidget*>{angle}));

    set_key_here(*angle, 12.0);
    angle->value = 60.0;
    set_key_here(*angle, 20.0);
    EXPECT_TRUE(has_key_at(*angle, 12.0) && has_key_at(*angle, 20.0) && !has_key_at(*angle, 16.0));
    // Deleting a key leaves the control at its value from the keys left; the last one leaves the value as it is.
    EXPECT_TRUE(delete_key_at(*angle, 20.0));
    EXPECT_EQ(angle->value, 30.0);
    EXPECT_FALSE(delete_key_at(*angle, 20.0));
    angle->value = 45.0;
    EXPECT_TRUE(delete_key_at(*angle, 12.0));
    EXPECT_TRUE(angle->keys().empty());
    EXPECT_EQ(angle->value, 45.0);
}

TEST(Timeline, StepsStopAtTheEndsAndPlaybackMarksRenderedAndSkippedFrames)
{
    Timeline t({10, 12, 14, 16, 18}, 10.0);
    EXPECT_FALSE(t.step(-1));
    EXPECT_TRUE(t.step(3));
    EXPECT_EQ(t.frame(), 16);
    EXPECT_TRUE(t.step(10) && t.frame() == 18);
    EXPECT_TRUE(t.home() && t.frame() == 10 && !t.home());

    // At 10 frames a second from index 1: the clock reaches index 3 after 0.25 s and loops after the last.
    t.go_to_index(1);
    t.play(100.0);
    EXPECT_EQ(t.play_index(100.0), 1u);
    EXPECT_EQ(t.play_index(100.25), 3u);
    EXPECT_EQ(t.play_index(100.45), 0u);
    t.mark_rendered(1);
    t.mark_rendered(4);  // 2 and 3 went by unrendered
    t.mark_rendered(1);  // round the loop: 0 skipped
    using M = Timeline::Mark;
    EXPECT_EQ(t.marks(), (std::vector<M>{M::skipped, M::rendered, M::skipped, M::skipped, M::rendered}));
    t.stop();
    EXPECT_EQ(t.play_index(200.0), t.index());
}

// The time bar's marks: one per column however many keys and frames a
// project has, since each diamond or span is four vertices in a draw list
// that holds 65,536; few keys land exactly where they did.
TEST(TrackMarks, KeysAndPlaybackMarksMergeByColumnSoNoProjectOverflowsTheDrawList)
{
    const auto vertices = [](std::size_t selected, std::size_t others, std::size_t spans) {
        return 4 * (selected + others + spans);
    };
    // 30,000 keys on each of two controls over frames 0-30000, after a
    // playback that rendered every other frame; on a track 1,200 pixels wide
    // and on one of 20,000 (past the column limit).
    std::vector<double> keys, shifted;
    for (int k = 0; k < 30000; ++k) {
        keys.push_back(double(k));
        shifted.push_back(k + 0.5);
    }
    using M = Timeline::Mark;
    std::vector<M> played(30001);
    for (std::size_t i = 0; i < played.size(); ++i) played[i] = i % 2 ? M::rendered : M::skipped;
    for (const float width : {1200.0f, 20000.0f}) {
        const std::vector<float> a = key_marks(keys, 0.0, 30000.0, 30001, 10.0f, width);
        const std::vector<float> b = key_marks(shifted, 0.0, 30000.0, 30001, 10.0f, width);
        const std::vector<PlaybackSpan> spans = playback_spans(played, 10.0f, width);
        EXPECT_LE(a.size(), std::min<std::size_t>(std::size_t(width), max_track_columns)) << width;
        EXPECT_GE(a.size(), std::min<std::size_t>(std::size_t(width), max_track_columns) - 1) << width;
        EXPECT_LT(vertices(a.size(), b.size(), spans.size()), 65536u / 2) << width;
        EXPECT_TRUE(std::is_sorted(a.begin(), a.end()));
        EXPECT_GE(a.front(), 10.0f);
        EXPECT_LE(a.back(), 10.0f + width);
        for (const PlaybackSpan& s : spans) EXPECT_NE(s.mark, M::none);
    }
    // 20,000 keys 0.001 frames apart over frames 0-48: a 20-frame stretch of
    // one track.
    std::vector<double> dense;
    for (int k = 0; k < 20000; ++k) dense.push_back(10.0 + k * 0.001);
    const std::vector<float> d = key_marks(dense, 0.0, 48.0, 49, 0.0f, 980.0f);
    EXPECT_LE(d.size(), 401u);
    EXPECT_NEAR(d.front(), 210.0f, 0.01f);
    EXPECT_LE(d.back(), 611.0f);

    // A few keys: each in the middle of its frame's slot, those out of the
    // shot's range left out, two on one pixel drawn once (the first).
    const std::vector<float> few = key_marks({2.0, 0.0, -1.0, 3.98, 3.95, 9.0}, 0.0, 4.0, 5, 100.0f, 50.0f);
    ASSERT_EQ(few.size(), 3u);
    EXPECT_NEAR(few[0], 105.0f, 1e-4f);
    EXPECT_NEAR(few[1], 125.0f, 1e-4f);
    EXPECT_NEAR(few[2], 144.8f, 1e-4f);
    // Wide slots: a span per frame, a pixel apart; a run of one mark in
    // narrow slots is one span.
    const std::vector<PlaybackSpan> wide = playback_spans({M::rendered, M::rendered, M::none, M::skipped}, 0.0f, 40.0f);
    ASSERT_EQ(wide.size(), 3u);
    EXPECT_EQ(wide[1].x0, 10.0f);
    EXPECT_EQ(wide[1].x1, 19.0f);
    EXPECT_EQ(wide[2].mark, M::skipped);
    const std::vector<PlaybackSpan> run = playback_spans(std::vector<M>(5000, M::rendered), 0.0f, 500.0f);
    ASSERT_EQ(run.size(), 1u);
    EXPECT_NEAR(run[0].x1, 500.9f, 0.01f);
}

// The Cell Angle's note holds what the effect renders: squares and octagons
// look the same a quarter turn on, the other shapes do not.
TEST(CellAngleNote, GridsThatRepeatEveryQuarterTurnAreNamed)
{
    HostPicture input(64, 48, 4);
    for (int y = 0; y < input.height; ++y)
        for (int x = 0; x < input.width; ++x)
            for (int c = 0; c < 4; ++c)
                input.at(x, y, c) = std::uint16_t(c == 3 ? 65535 : (x * 997 + y * 131 * (c + 1)) % 65536);
    for (const char* shape : {"Triangle", "Square", "Pentagon", "Hexagon", "Octagon", "Dodecagon"}) {
        NodePtr node(vx::TrellinNode::make());
        trellin_app::apply_setting(*node, trellin_app::parse_setting(std::string("CellShape=") + shape));
        HostPicture at_0, at_90;
        ASSERT_EQ(render_scaled(*node, input, 0.0, 64, 48, at_0), 1);
        trellin_app::apply_setting(*node, trellin_app::parse_setting("Cell Angle=90"));
        ASSERT_EQ(render_scaled(*node, input, 0.0, 64, 48, at_90), 1);
        // Alike but for the rounding of a turned grid (squares and octagons differ by
        // under 0.01 on average, the others by over 100).
        double difference = 0.0;
        for (std::size_t i = 0; i < at_0.data.size(); ++i)
            difference += std::abs(int(at_0.data[i]) - int(at_90.data[i]));
        difference /= double(at_0.data.size());
        const bool alike = difference < 1.0;
        EXPECT_EQ(alike, cell_angle_period(shape) == 90) << shape;
        EXPECT_EQ(cell_angle_note(*node).empty(), !alike) << shape;
    }
}

// Small pictures on disk for the shot's tests.
class ShotFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = std::filesystem::temp_directory_path() / ("trellin-view-shot-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        for (int f : {3, 4, 5}) {
            HostPicture p(8, 4, 3);
            p.at(0, 0, 0) = std::uint16_t(f * 1000);
            trellin_app::write_picture(p, (dir / ("in." + std::to_string(f) + ".png")).string());
        }
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string path(const std::string& name) const { return (dir / name).string(); }
    std::filesystem::path dir;
};

TEST_F(ShotFiles, SequencesNeedTheirFramesAndEveryFrameIsThereBeforeTheWindowOpens)
{
    const Shot shot(path("in.%d.png"), "3-5");
    EXPECT_EQ(shot.frames(), (std::vector<long long>{3, 4, 5}));
    EXPECT_EQ(shot.frame(4).picture->at(0, 0, 0), 4000);
    EXPECT_EQ(shot.frame(4).picture, shot.frame(4).picture);  // kept, not read again
    // A still is frame 0, or the same picture at every frame given.
    EXPECT_EQ(Shot(path("in.3.png"), "").frames(), (std::vector<long long>{0}));
    EXPECT_EQ(Shot(path("in.3.png"), "7-8").frame(8).picture->at(0, 0, 0), 3000);

    const std::pair<std::pair<std::string, std::string>, std::string> refused[] = {
        {{path("in.%d.png"), ""}, "--frames"},
        {{path("in.%d.png"), "3-6"}, "in.6.png"},
        {{path("in.%d.png"), "5-3"}, "empty"},
        {{path("in.%q.png"), "3-5"}, "%q"},
    };
    for (const auto& [args, says] : refused) {
        try {
            Shot(args.first, args.second);
            ADD_FAILURE() << args.first << " " << args.second;
        } catch (const ShotError& e) {
            EXPECT_NE(std::string(e.what()).find(says), std::string::npos) << e.what();
        }
    }
}

// While one frame renders the next is read beside it, once, and kept: a
// frame read ahead is there even when its file has gone since.
TEST_F(ShotFiles, TheNextFrameIsReadAheadAndKept)
{
    const Shot shot(path("in.%d.png"), "3-5");
    EXPECT_EQ(shot.next_frame(3), 4);
    EXPECT_EQ(shot.next_frame(5), std::nullopt);
    EXPECT_EQ(shot.next_frame(9), std::nullopt);
    shot.read_ahead(5);
    const ShotFrame five = shot.frame(5);  // waits for the read ahead rather than reading it again
    EXPECT_EQ(five.picture->at(0, 0, 0), 5000);
    EXPECT_EQ(shot.frame(5).picture, five.picture);

    shot.read_ahead(4);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::filesystem::remove(path("in.4.png"));
    EXPECT_EQ(shot.frame(4).picture->at(0, 0, 0), 4000);
    // A frame that cannot be read ahead is reported when it is asked for.
    std::filesystem::remove(path("in.3.png"));
    const Shot gone(path("in.%d.png"), "5-5");
    gone.read_ahead(3);
    EXPECT_THROW(gone.frame(3), trellin_app::PictureError);
}

// A video file is a shot of all its frames (or of the range given), each the
// picture its frame decodes to; a range past its end is refused naming the
// last frame.
TEST_F(ShotFiles, AVideoIsAShotOfItsFrames)
{
    ASSERT_EQ(std::system(("cd '" + dir.string() +
                           "' && ffmpeg -v error -y -f lavfi -i testsrc2=size=16x8:rate=25:duration=0.24 "
                           "-c:v ffv1 -pix_fmt gbrp16le clip.mkv && ffmpeg -v error -y -i clip.mkv "
                           "-pix_fmt rgb48be -start_number 0 f.%d.png")
                              .c_str()),
              0);
    const Shot all(path("clip.mkv"), "");
    EXPECT_TRUE(all.video());
    // Playback runs at the clip's own rate unless --fps names one; pictures
    // without a rate play at the default.
    EXPECT_DOUBLE_EQ(all.frame_rate(), 25.0);
    EXPECT_DOUBLE_EQ(playback_rate(0.0, all.frame_rate()), 25.0);
    EXPECT_DOUBLE_EQ(playback_rate(12.0, all.frame_rate()), 12.0);
    EXPECT_DOUBLE_EQ(Shot(path("in.%d.png"), "3-5").frame_rate(), 0.0);
    EXPECT_DOUBLE_EQ(playback_rate(0.0, 0.0), default_playback_rate);
    // An OpenEXR file that carries its rate.
    OIIO::ImageSpec spec(4, 2, 3, OIIO::TypeDesc::HALF);
    const int rate[2] = {30000, 1001};
    spec.attribute("FramesPerSecond", OIIO::TypeRational, rate);
    const auto out = OIIO::ImageOutput::create(path("rate.exr"));
    ASSERT_TRUE(out && out->open(path("rate.exr"), spec));
    const std::vector<float> black(4 * 2 * 3, 0.0f);
    ASSERT_TRUE(out->write_image(OIIO::TypeDesc::FLOAT, black.data()) && out->close());
    EXPECT_NEAR(Shot(path("rate.exr"), "").frame_rate(), 29.97, 0.001);
    ASSERT_EQ(all.frames().size(), 6u);
    const Shot part(path("clip.mkv"), "2-4");
    EXPECT_EQ(part.frames(), (std::vector<long long>{2, 3, 4}));
    for (long long f : {4, 2, 3}) {  // out of order: each frame is found by its number
        const HostPicture expected = trellin_app::read_picture(path("f." + std::to_string(f) + ".png"));
        EXPECT_TRUE(part.frame(f).picture->data == expected.data) << f;
    }
    try {
        Shot(path("clip.mkv"), "4-9");
        ADD_FAILURE() << "a range past the end";
    } catch (const ShotError& e) {
        EXPECT_NE(std::string(e.what()).find("0 to 5"), std::string::npos) << e.what();
    }
}

// A node that renders one grey level, its one control's value, and waits at a
// gate while it renders; once `polling`, a cancellation request ends the
// wait, as the effect's polls end its passes.
class GateNode : public FXNode {
public:
    GateNode() { level = Numeric("Level", 0.0, 0.0, 65535.0, 1.0, true); }

    int process_image(double time, _image_str**, _image_str* output) override
    {
        std::unique_lock<std::mutex> hold(lock);
        started.push_back(level->value);
        times.push_back(time);
        changed.notify_all();
        while (!open && !(polling && abort_pending())) changed.wait_for(hold, std::chrono::milliseconds(1));
        if (abort_pending()) return 0;
        for (std::size_t i = 0; i < std::size_t(output->width) * output->height * output->samples; ++i)
            output->data[i] = static_cast<std::uint16_t>(level->value);
        return 1;
    }

    trellin_app::SettingsSnapshot settings(double value)
    {
        level->value = value;
        return trellin_app::SettingsSnapshot::of(*this);
    }

    void wait_started(std::size_t count)
    {
        std::unique_lock<std::mutex> hold(lock);
        ASSERT_TRUE(changed.wait_for(hold, std::chrono::seconds(10), [&] { return started.size() >= count; }));
    }
    void release()
    {
        std::lock_guard<std::mutex> hold(lock);
        open = true;
    }
    void poll()
    {
        std::lock_guard<std::mutex> hold(lock);
        polling = true;
    }

    CNumeric* level;
    std::mutex lock;
    std::condition_variable changed;
    std::vector<double> started;
    std::vector<double> times;
    bool open = false;
    bool polling = false;
};

FrameFetch blank_frames(int width, int height)
{
    auto picture = std::make_shared<const HostPicture>(width, height, 4);
    return [picture](long long) { return ShotFrame{"blank.png", picture, picture, nullptr, "blank.png"}; };
}

TEST(RenderWorker, NewerPreviewSupersedesOneNotStartedAndCancelsAFullSizeOneRendering)
{
    auto* gate = new GateNode;
    GateNode settings_source;
    RenderWorker worker{NodePtr(gate), blank_frames(40, 20)};

    // A full-size preview of frame 7 starts; a newer one for frame 8 cancels it at its next poll, and the
    // next newer one replaces the one waiting.
    worker.request_preview(settings_source.settings(1), 7, 20, 10);
    gate->wait_started(1);
    worker.request_preview(settings_source.settings(2), 8, 20, 10);
    const std::uint64_t last = worker.request_preview(settings_source.settings(3), 8, 10, 5);
    gate->poll();
    gate->wait_started(2);
    gate->release();
    ASSERT_TRUE(worker.wait_idle(10000));

    EXPECT_EQ(gate->started, (std::vector<double>{1, 3}));
    EXPECT_EQ(gate->times, (std::vector<double>{7, 8}));
    EXPECT_EQ(worker.cancelled(), 1);
    // The cancelled frame is not handed over as done.
    const std::vector<RenderResult> results = worker.take_results();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].serial, last);
    EXPECT_EQ(results[0].frame, 8);
    EXPECT_EQ(results[0].picture.width, 10);
    EXPECT_EQ(results[0].picture.data[0], 3);
}

TEST(RenderWorker, AReducedPreviewRenderingIsLeftToFinish)
{
    auto* gate = new GateNode;
    GateNode settings_source;
    RenderWorker worker{NodePtr(gate), blank_frames(40, 20)};
    worker.request_preview(settings_source.settings(1), 0, 10, 5, true);
    gate->wait_started(1);
    worker.request_preview(settings_source.settings(2), 0, 20, 10);
    gate->poll();
    gate->release();
    ASSERT_TRUE(worker.wait_idle(10000));
    EXPECT_EQ(gate->started, (std::vector<double>{1, 2}));
    EXPECT_EQ(worker.cancelled(), 0);
}

// Playback asks for its next frame once the last one came back. A frame
// that finishes after the window took the results but before playback looks
// again must still be taken, shown and marked rendered on the time bar, not
// passed over for the next frame: every frame rendered while playing is
// marked.
TEST(RenderWorker, EveryFramePlayedIsMarkedEvenWhenItFinishesBetweenTakingAndTicking)
{
    auto* gate = new GateNode;
    gate->release();
    RenderWorker worker{NodePtr(gate), blank_frames(40, 20)};
    SessionOptions options;
    options.project_path = "unused.json";
    options.image_width = 40;
    options.image_height = 20;
    for (long long f = 0; f < 100; ++f) options.frames.push_back(f);
    options.fps = 10.0;
    ViewSession session(options, NodePtr(new GateNode), worker);
    ViewClock::time_point now = ViewClock::time_point() + std::chrono::seconds(1000);
    const auto frame = [&](bool take) {
        if (take) session.take_results(worker.take_results());
        session.begin_frame(now, 1.0);
        session.place(WindowLayout{Rect{0, 0, 40, 20}, Rect{0, 20, 40, 10}, Rect{0, 30, 40, 10}});
        session.tick();
    };
    frame(true);
    ASSERT_TRUE(worker.wait_idle(10000));
    frame(true);
    for (KeyEvent::State state : {KeyEvent::State::press, KeyEvent::State::release})
        session.key(KeyEvent{ViewKey::space, state, false}, false);
    ASSERT_TRUE(session.timeline().playing());
    const long before = session.state({})["renders"];

    for (int i = 0; i < 8; ++i) {
        frame(true);  // takes the last frame played and asks for the next
        ASSERT_TRUE(worker.wait_idle(10000));
        EXPECT_TRUE(worker.busy()) << "a result not yet taken";
        now += std::chrono::milliseconds(300);
        frame(false);  // the frame just finished has not been taken yet
    }
    frame(true);
    const auto& marks = session.timeline().marks();
    const long rendered = std::count(marks.begin(), marks.end(), Timeline::Mark::rendered);
    EXPECT_EQ(long(session.state({})["renders"]) - before, 8);
    EXPECT_EQ(rendered, 8);
    EXPECT_EQ(session.state({})["played"]["skipped"], 7 * 2) << "a render every 0.3 s at 10 frames a second";
}

}  // namespace
