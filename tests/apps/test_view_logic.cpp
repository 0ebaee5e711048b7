// The viewer's logic without a window: layout, window-to-image mapping,
// panel edits, and rendering on the worker thread.
// test-labels: threaded
// test-links: trellin_view_core
// test-builds: trellin-view
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <tuple>
#include <vector>

#include "apps/common/control_setting.h"
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

std::vector<double> corners(const Rect& r) { return {r.x, r.y, r.width, r.height}; }

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
        for (std::size_t j = 0; j < i; ++j) {
            const Rect& o = layout.cells[j];
            EXPECT_TRUE(c.x + c.width <= o.x || o.x + o.width <= c.x || c.y + c.height <= o.y || o.y + o.height <= c.y)
                << i << " overlaps " << j;
        }
    }
    // A placement off the grid's left is not shown; the panel takes the window's bottom.
    EXPECT_FALSE(layout_panel({{-1, 0, false}, {20, 0, false}}, PanelMetrics{}).shown[0]);
    EXPECT_EQ(split_window(1280, 800, 200).panel.y, 600.0);
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

// A node that renders one grey level, its one control's value, and waits at a gate while it renders.
class GateNode : public FXNode {
public:
    GateNode() { level = Numeric("Level", 0.0, 0.0, 65535.0, 1.0, true); }

    int process_image(double, _image_str**, _image_str* output) override
    {
        std::unique_lock<std::mutex> hold(lock);
        started.push_back(level->value);
        changed.notify_all();
        changed.wait(hold, [this] { return open; });
        for (std::size_t i = 0; i < std::size_t(output->width) * output->height * output->samples; ++i)
            output->data[i] = static_cast<std::uint16_t>(level->value);
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
    std::unique_lock<std::mutex> hold(gate->lock);
    ASSERT_TRUE(gate->changed.wait_for(hold, std::chrono::seconds(10), [&] { return !gate->started.empty(); }));
    hold.unlock();
    worker.request_preview(settings_source.settings(2), 20, 10);
    const std::uint64_t last = worker.request_preview(settings_source.settings(3), 10, 5);
    hold.lock();
    gate->open = true;
    hold.unlock();
    gate->changed.notify_all();
    ASSERT_TRUE(worker.wait_idle(10000));

    EXPECT_EQ(gate->started, (std::vector<double>{1, 3}));
    const std::vector<RenderResult> results = worker.take_results();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].serial, last);
    EXPECT_EQ(results[0].picture.width, 10);
    EXPECT_EQ(results[0].picture.data[0], 3);
}

}  // namespace
