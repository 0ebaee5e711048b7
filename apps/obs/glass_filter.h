// One "Trellin Glass" filter on a source: its settings, its worker thread
// and what it keeps from frame to frame.
//
// The node never renders on OBS's graphics thread. Each frame is handed to
// the filter's worker (frame_worker.h) and the graphics thread goes on; the
// result is shown with the next frame, one frame late:
//   - asynchronous sources (cameras, media): filter_video hands the frame
//     over and returns the one handed over before, rendered in its own
//     memory;
//   - synchronous sources (scenes, images, captures): video_render draws
//     the source into a texture, reads it back through a staging surface at
//     once, hands the pixels over, and draws the result of the frame before
//     (uploaded into a texture kept from frame to frame).
// When the worker is still busy with the last frame (the node slower than
// the frame rate), the new frame is dropped and the last result stays on
// screen: the graphics thread never waits for the node.
//
// Settings: update() (OBS's settings, from any thread) builds a settings
// node from the chosen look and the settings; the next frame handed over
// takes a snapshot of it, so a change shows from the next frame on and a
// frame never sees half of one. Keys animate with the source's time in
// seconds (a media source's position, else the time since the filter was
// made) at the output's frame rate.
#pragma once

#include <obs.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "apps/common/core/look_library.h"
#include "apps/common/core/settings_snapshot.h"
#include "apps/obs/effect_module.h"
#include "apps/obs/frame_worker.h"
#include "apps/obs/glass_render.h"

namespace trellin_obs {

class GlassFilter {
public:
    GlassFilter(const Effect& effect, const std::vector<trellin_app::LookEntry>& looks, obs_source_t* context);
    // Waits for the frame in progress and gives back every frame held
    // (call on a thread that may enter OBS's graphics context).
    ~GlassFilter();
    GlassFilter(const GlassFilter&) = delete;
    GlassFilter& operator=(const GlassFilter&) = delete;

    void update(obs_data_t* settings);
    void tick(float seconds);
    obs_source_frame* filter_video(obs_source_frame* frame);
    void render();
    // The filter leaves `parent`: the frames it holds go back to it.
    void removed(obs_source_t* parent);

    // A look chosen in the list writes its values into `settings`; false
    // when the look had been applied already (nothing changed).
    bool choose_look(obs_data_t* settings);

private:
    std::optional<trellin_app::SettingsSnapshot> changed_settings();
    double node_time(obs_source_t* parent) const;
    void release_frames(obs_source_t* parent);
    void capture(obs_source_t* target, obs_source_t* parent, std::uint32_t width, std::uint32_t height);
    void upload_result();
    void free_graphics();

    const Effect& effect_;
    const std::vector<trellin_app::LookEntry>& looks_;
    obs_source_t* context_;

    mutable std::mutex lock_;
    trellin_app::NodePtr settings_;  // under lock_
    bool changed_ = true;            // under lock_
    double elapsed_ = 0.0;           // under lock_: seconds since the filter was made

    // The worker's (read and written by the graphics thread only while the
    // worker is idle).
    std::unique_ptr<GlassRender> render_;
    obs_source_frame* finished_ = nullptr;  // an asynchronous frame rendered, not yet returned
    obs_source_t* frames_parent_ = nullptr;
    std::vector<std::uint8_t> staged_, result_;
    std::uint32_t staged_width_ = 0, staged_height_ = 0;
    bool result_ready_ = false;

    // The graphics thread's.
    gs_texrender_t* texrender_ = nullptr;
    gs_stagesurf_t* stage_ = nullptr;
    gs_texture_t* texture_ = nullptr;
    std::uint32_t texture_width_ = 0, texture_height_ = 0;
    std::uint64_t last_frame_time_ = 0;

    // Last, so that it ends first: no job runs once the rest goes.
    FrameWorker worker_;
};

}  // namespace trellin_obs
