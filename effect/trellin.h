// The cell-glass effect: a grid of polygonal glass domes laid over the
// picture, which is refracted through them, sampled over each pixel's
// footprint, optionally split per colour channel and lit.
#pragma once

#include "effect/frame_state.h"
#include "effect/trellin_info.h"
#include "framework/overlay_vx.h"
#include "framework/plugin_vx.h"
#include "framework/poly_render.h"

namespace vx {

class Trellin : public PluginVx, public TrellinInfo, public OverlayVx, public PolyRender {
public:
    Trellin() = default;
    ~Trellin() override = default;

    // Frame.
    void render() override;
    void on_first_frame() override;
    // Greys out the six lighting controls while "Light Active" is off.
    void update_light_controls();

    // Overlay.
    void draw() override;
    void mouse(int code, float x, float y) override;

    // Cell map: the dome profile of a covered pixel, and one row worker per
    // cell shape.
    void render_pixel(int x, int y, const CellPolygon& polygon) override;
    void cell_profile(int x, int y, const CellPolygon& polygon);
    void triangle_rows(int first_row, int last_row);
    void square_rows(int first_row, int last_row);
    void pentagon_rows(int first_row, int last_row);
    void hexagon_rows(int first_row, int last_row);
    void octagon_rows(int first_row, int last_row);
    void dodecagon_rows(int first_row, int last_row);

    // Per-pixel passes.
    void build_height_rows(int first_row, int last_row);
    // Copies height row H - 2 into row H - 1 (when H >= 2). Run after the
    // height pass; the pass's own copy is skipped by a band that does not
    // also hold row H - 2.
    void finish_height_last_row();
    void refract_rows(int first_row, int last_row);
    void composite_rows(int first_row, int last_row);
    // Replaces an "Index" of magnitude below 0.01 by 0.01 for the rest of the
    // frame; runs before the bands of each refraction pass start.
    void guard_index();
    // Copies row H - 2 of the output into row H - 1 when the band that ends
    // at row H - 1 could not (it did not hold row H - 2); runs after every
    // compositing pass and may run more than once.
    void finish_composite_last_row();

    FrameState frame;

private:
    // Steps of the render.
    void draw_cell_map();
    void derive_frame_values();
    void run_glass_passes();
    void run_pass_pair(int pass);
};

}  // namespace vx
