// The node the host creates for each use of the effect: owns the effect
// object, creates the host controls, and connects the host's callbacks
// (frames, control changes, overlay drawing and events) to the effect.
#pragma once

#include <cstdint>

#include "contract/host_api.h"
#include "effect/kernel_choice.h"
#include "effect/trellin.h"
#include "node/control_table.h"
#include "node/frame_images.h"

namespace vx {

inline constexpr char node_uuid_text[] = "5f3a9c1e-2b7d-4e60-9a41-c83d7e0b6f15";
inline constexpr char node_type_name[] = "Kelvoids.Trellin";
inline constexpr char node_description[] = "Kelvoids Trellin - cell glass refraction. Version 5.0";

class TrellinNode : public FXNode {
public:
    static constexpr int control_count = control_table_size;
    static constexpr int value_control_count = vx::value_control_count;

    struct ControlEntry {
        CWidget* control = nullptr;
        std::int32_t panel_column = 0;
        std::int32_t panel_row = 0;
    };

    // A new node, or null when it (or its effect) cannot be allocated.
    static TrellinNode* make();
    ~TrellinNode() override;

    Trellin* effect = nullptr;
    bool first_frame = true;
    ControlEntry controls[control_count];
    // Alpha goes through the glass like the colour channels (the host's
    // node_flag_refract_alpha); off by default.
    bool refract_alpha = false;
    // The kernels the frames are rendered with.
    Kernels kernels = default_kernels();

    // Takes the flags of node_flags.h (others are ignored): sets
    // refract_alpha from node_flag_refract_alpha.
    void set_flags(std::uint32_t flags) override;
    const char* get_description() override;
    void get_input_count(int& min_inputs, int& max_inputs) override;
    void notify_output_changed() override;
    int process_image(double time, _image_str** inputs, _image_str* output) override;
    bool layout_controls(CPanel* panel) override;
    bool evaluate_controls(double time, bool flag) override;
    bool notify_control_changed(CWidget* widget, int reason, double time) override;
    bool draw_overlay(void* host) override;
    bool has_overlay() override;
    bool overlay_event(void* host, OverlayEventKind kind, FXMouseEvent* event) override;
    // Releases the image records and the render's working storage.
    void release_frame_storage() override;

private:
    TrellinNode();
    // The frame's image records, kept between frames of one size.
    FrameImages images_;
    // Creates the host controls, binds them to the effect's typed controls
    // and its handles (the control table).
    void create_controls();
};

}  // namespace vx
