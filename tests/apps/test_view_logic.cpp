// The viewer's logic without a window: layout, window-to-image mapping,
// panel edits, and rendering on the worker thread.
// test-labels: threaded
// test-links: trellin_view_core
// test-builds: trellin-view
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>
#include <tuple>
#include <vector>

#include "apps/common/control_setting.h"
#include "apps/common/frame_render.h"
#include "apps/common/image_io.h"
#include "apps/trellin-view/control_edit.h"
#include "apps/trellin-view/panel_layout.h"
#include "apps/trellin-view/render_worker.h"
#include "apps/trellin-view/view_geometry.h"
#include "node/trellin_node.h"

namespace {

using namespace trellin_view;
using trellin_app::HostPicture;
using trellin_app::NodePtr;

NodePtr new_node() { return NodePtr(vx::TrellinNode::make()); }

TEST(ViewGeometry, PictureFitsTheAreaCentredWithItsShape)
{
    const Rect r = fit_picture(Rect{0, 0, 1280, 600}, 1920, 1080, 1.0);
    EXPECT_EQ((std::vector<double>{r.x, r.y, r.width, r.height}), (std::vector<double>{107, 0, 1066, 600}));
    // Wide pixels make the picture wider; a narrow area limits the width.
    const Rect wide = fit_picture(Rect{10, 20, 800, 800}, 400, 400, 2.0);
    EXPECT_EQ((std::vector<double>{wide.x, wide.y, wide.width, wide.height}), (std::vector<double>{10, 220, 800, 400}));
    EXPECT_EQ(fit_picture(Rect{0, 0, 0, 600}, 1920, 1080, 1.0).width, 0.0);
}

TEST(ViewGeometry, WindowPositionsMapToImagePixelsAtAnyZoom)
{
    for (const Rect& r : {Rect{107, 0, 1066, 600}, Rect{10, 20, 3840, 2160}}) {
        for (double f : {0.0, 0.5, 1.0}) {
            const ImagePoint p = window_to_image(r, 1920, 1080, r.x + f * r.width, r.y + f * r.height);
            EXPECT_EQ(p.x, float(1920 * f));
            EXPECT_EQ(p.y, float(1080 * f));
        }
        // Outside the picture maps outside the image, so a drag past the
        // edge reaches the controls' range ends.
        EXPECT_LT(window_to_image(r, 1920, 1080, r.x - 5, r.y - 5).x, 0.0f);
        const WindowPoint back = image_to_window(r, 1920, 1080, 192.0, 108.0);
        const ImagePoint there = window_to_image(r, 1920, 1080, back.x, back.y);
        EXPECT_FLOAT_EQ(there.x, 192.0f);
        EXPECT_FLOAT_EQ(there.y, 108.0f);
    }
}

TEST(ViewGeometry, PreviewSizeAndViewport)
{
    // Previews render at the shown size in device pixels, up to full size.
    EXPECT_EQ(preview_size(Rect{0, 0, 640, 360}, 2.0, 1920, 1080).width, 1280);
    EXPECT_EQ(preview_size(Rect{0, 0, 1920, 1079}, 1.0, 1920, 1080).height, 1080);
    // The viewport counts rows from the bottom of the window.
    const Viewport dense = picture_viewport(Rect{107, 10, 1066, 600}, 800.0, 2.0);
    EXPECT_EQ((std::vector<int>{dense.x, dense.y, dense.width, dense.height}), (std::vector<int>{214, 380, 2132, 1200}));
}

TEST(PanelLayout, NodesGridOfFourteenColumnsWithLabelsBelow)
{
    NodePtr node = new_node();
    CPanel panel;
    ASSERT_TRUE(node->layout_controls(&panel));
    std::vector<PanelItem> items;
    for (const CPanel::Placement& p : panel.placements())
        items.push_back(PanelItem{p.column, p.row, p.control->kind() == ControlKind::label});
    ASSERT_EQ(items.size(), 28u);

    PanelMetrics m;
    m.width = 1400;
    const PanelLayout layout = layout_panel(items, m);
    EXPECT_EQ(layout.columns, 14);
    EXPECT_EQ(layout.rows, 5);
    double lowest_control = 0;
    for (std::size_t i = 0; i < items.size(); ++i)
        if (!items[i].is_label) lowest_control = std::max(lowest_control, layout.cells[i].y + layout.cells[i].height);
    for (std::size_t i = 0; i < items.size(); ++i) {
        const Rect& c = layout.cells[i];
        EXPECT_TRUE(layout.shown[i] && c.x >= 0.0 && c.x + c.width <= 1400.0 && c.y + c.height <= layout.height) << i;
        EXPECT_TRUE(!items[i].is_label || c.y > lowest_control) << "label " << i << " not below the controls";
        for (std::size_t j = 0; j < i; ++j) {
            const Rect& o = layout.cells[j];
            EXPECT_TRUE(c.x + c.width <= o.x || o.x + o.width <= c.x || c.y + c.height <= o.y || o.y + o.height <= c.y)
                << "controls " << i << " and " << j << " overlap";
        }
    }
}

TEST(PanelLayout, OddPlacementsAndWindowSplit)
{
    const PanelLayout layout = layout_panel({{-1, 0, false}, {20, 0, false}}, PanelMetrics{});
    EXPECT_FALSE(layout.shown[0]);
    EXPECT_TRUE(layout.shown[1]);
    EXPECT_EQ(split_window(1280, 800, 200).panel.y, 600.0);
    EXPECT_EQ(split_window(1280, 100, 200).picture_area.height, 0.0);
}

TEST(ControlEdit, NumbersSnapToTheirStepsInsideTheRange)
{
    CNumeric size("CellSize", 0.1, 0.01, 1.0, 0.005, true), z("LightZ", 0.5, 0.05, 5.0, 0.01, true),
        count("Cell Count X", 10, 1, 100, 1, true);
    const std::tuple<CNumeric*, double, double> cases[] = {
        {&size, 0.30000004, 0.3}, {&size, 0.3076, 0.31}, {&size, 7.0, 1.0}, {&size, -1.0, 0.01},
        {&z, 4.999, 5.0},         {&count, 12.6, 13.0}};
    for (const auto& [control, value, snapped] : cases) EXPECT_EQ(snap_to_step(*control, value), snapped) << value;
}

TEST(ControlEdit, AnimatedControlsKeepAnEditAsTheirKeyAtTheShownFrame)
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
    EXPECT_EQ(angle->keys()[1].v[0], 90.0);
    EXPECT_EQ(angle->value, 45.0);
    EXPECT_EQ(index->keys().size(), 1u);
}

TEST(ControlEdit, OpeningANodeGreysOutWhatItsSettingsMakeUnavailable)
{
    NodePtr off = new_node();
    open_for_editing(*off, 0.0);
    EXPECT_TRUE(off->find_control("Brightness")->is_disabled());
    EXPECT_TRUE(off->find_control("Light")->is_disabled());
    EXPECT_TRUE(off->invalidated_ranges().empty());
    EXPECT_EQ(off->ovl_update_requests(), 0);

    NodePtr on = new_node();
    trellin_app::apply_setting(*on, {"Light Active", "on"});
    open_for_editing(*on, 0.0);
    EXPECT_FALSE(on->find_control("Brightness")->is_disabled());
    EXPECT_FALSE(on->find_control("LightZ")->is_disabled());
}

// A node that renders one grey level, the value of its one control, and
// waits at a gate while it renders.
class GateNode : public FXNode {
public:
    GateNode() { level = Numeric("Level", 0.0, 0.0, 65535.0, 1.0, true); }

    int process_image(double, _image_str**, _image_str* output) override
    {
        std::unique_lock<std::mutex> hold(lock);
        started.push_back(level->value);
        changed.notify_all();
        changed.wait(hold, [this] { return open; });
        const std::size_t n = std::size_t(output->width) * std::size_t(output->height) * std::size_t(output->samples);
        for (std::size_t i = 0; i < n; ++i) output->data[i] = static_cast<std::uint16_t>(level->value);
        return 1;
    }

    RegV settings(double value)
    {
        level->value = value;
        RegV reg;
        reg_save(reg);
        return reg;
    }

    CNumeric* level;
    std::mutex lock;
    std::condition_variable changed;
    std::vector<double> started;
    bool open = false;
};

TEST(RenderWorker, NewerPreviewSupersedesOneNotStarted)
{
    auto* gate = new GateNode;
    GateNode settings_source;
    auto input = std::make_shared<HostPicture>(40, 20, 4);
    RenderWorker worker{NodePtr(gate), input};

    worker.request_preview(settings_source.settings(1), 20, 10);
    {
        std::unique_lock<std::mutex> hold(gate->lock);
        ASSERT_TRUE(gate->changed.wait_for(hold, std::chrono::seconds(10), [&] { return !gate->started.empty(); }));
    }
    worker.request_preview(settings_source.settings(2), 20, 10);
    const std::uint64_t last = worker.request_preview(settings_source.settings(3), 10, 5);
    {
        std::lock_guard<std::mutex> hold(gate->lock);
        gate->open = true;
    }
    gate->changed.notify_all();
    ASSERT_TRUE(worker.wait_idle(10000));

    EXPECT_EQ(gate->started, (std::vector<double>{1, 3}));
    const std::vector<RenderResult> results = worker.take_results();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].serial, last);
    EXPECT_EQ(results[0].picture.width, 10);
    EXPECT_EQ(results[0].picture.data[0], 3);
}

TEST(RenderWorker, ExportRendersFullSizeAsTheCommandLineHostDoes)
{
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("trellin-view-logic-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    auto input = std::make_shared<HostPicture>(96, 54, 4);
    for (std::size_t i = 0; i < input->data.size(); ++i) input->data[i] = static_cast<std::uint16_t>(i * 977u);

    NodePtr panel = new_node();
    for (const char* s : {"CellShape=Hexagon", "Light Active=on", "Tweak_X=0.3", "Cell Angle=30"})
        trellin_app::apply_setting(*panel, trellin_app::parse_setting(s));
    RegV settings;
    panel->reg_save(settings);

    RenderWorker worker{new_node(), input};
    worker.request_export(settings, (dir / "out.png").string());
    ASSERT_TRUE(worker.wait_idle(60000));
    std::vector<RenderResult> results = worker.take_results();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].kind, JobKind::export_picture);
    EXPECT_TRUE(results[0].ok) << results[0].message;

    worker.request_export(settings, (dir / "missing" / "out.png").string());
    ASSERT_TRUE(worker.wait_idle(60000));
    results = worker.take_results();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_FALSE(results[0].ok);
    EXPECT_NE(results[0].message.find("missing"), std::string::npos) << results[0].message;

    NodePtr reference = new_node();
    ASSERT_TRUE(reference->reg_load(settings));
    HostPicture expected;
    ASSERT_EQ(trellin_app::render_frame(*reference, *input, expected), 1);
    EXPECT_EQ(trellin_app::read_picture((dir / "out.png").string()).data, expected.data);
    std::filesystem::remove_all(dir);
}

}  // namespace
