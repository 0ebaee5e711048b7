// What the viewer does with its input, apart from any window system: the
// pointer over the picture (the node's handles, panning, zooming, the wipe),
// the keys, edits and keys from the panel, playback along the shot's
// timeline, and which previews to ask for. The window shell (viewer.cpp)
// turns its events into the ones here, draws what the session says, and
// calls it once per drawn frame in this order:
//   begin_frame, take_results, pointer and key (the events since the last
//   frame), place, scrub, panel_input, tick.
//
// Previews: a change asks for a render at the size the picture is shown at;
// while something moves (a handle or control being dragged, the time bar
// scrubbed, playback, a held arrow key) at a fraction of it, a half, or a
// quarter when a reduced render takes longer than 120 ms (a half again below
// 30 ms), and once the pointer is at rest for 0.25 s at the full shown size.
// During playback the next frame is asked for only once the last one came
// back, so playback skips frames rather than falling behind.
#pragma once

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "apps/common/core/frame_sequence.h"
#include "apps/common/core/host_picture.h"
#include "apps/common/core/module_loader.h"
#include "apps/common/core/render_options.h"
#include "apps/trellin-view/control_edit.h"
#include "apps/trellin-view/handle_marks.h"
#include "apps/trellin-view/panel_layout.h"
#include "apps/trellin-view/render_worker.h"
#include "apps/trellin-view/timeline.h"
#include "apps/trellin-view/view_geometry.h"
#include "apps/trellin-view/view_navigation.h"
#include "host/regv.h"

namespace trellin_view {

using ViewClock = std::chrono::steady_clock;

enum class PointerButton { left, middle, other };

// The pointer, in window units.
struct PointerEvent {
    enum class Type { press, move, release, scroll } type = Type::move;
    PointerButton button = PointerButton::other;  // press, release
    double x = 0.0;
    double y = 0.0;
    double amount = 0.0;  // scroll: wheel steps, up positive
};

// The keys the viewer answers to (ViewKey::other for the rest).
enum class ViewKey { space, right, left, home, end, k, b, w, one, f, o, s, e, escape, other };

struct KeyEvent {
    ViewKey key = ViewKey::other;
    enum class State { press, repeat, release } state = State::press;
    bool shift = false;
};

// What the shell must do after a key: Escape closes an open drop-down list,
// colour picker or menu first, else asks may_close() whether to close the
// window.
enum class KeyOutcome { none, escape };

struct SessionOptions {
    std::string project_path;  // where S saves the project
    std::string export_path;   // where E exports (may number frames); empty: none named
    int image_width = 0;       // the shot's size and pixel aspect
    int image_height = 0;
    double pixel_aspect = 1.0;
    std::vector<long long> frames;  // the shot's frames, in order
    double fps = 24.0;              // playback rate
    // The run's colour options, saved with the project; null: none.
    std::shared_ptr<const trellin_app::RenderOptions> render;
    double ui_scale = 1.0;  // the interface's size: how near the wipe's line a press takes it
};

// The keys the time bar shows: every keyed control's, the selected
// controls' apart, and whose they are.
struct BarKeys {
    std::vector<double> selected;  // keys of the selected controls
    std::vector<double> others;    // keys of every other keyed control
    // The selected controls' names; with none selected, the keyed ones'.
    std::string names;
};

class ViewSession {
public:
    // `node` is the panel node; `renders` renders what the session asks for
    // and must outlive it.
    ViewSession(SessionOptions options, trellin_app::NodePtr node, RenderRequests& renders);

    FXNode& node() { return *node_; }
    const Timeline& timeline() const { return timeline_; }
    ViewNavigation& navigation() { return nav_; }
    const ViewNavigation& navigation() const { return nav_; }
    const WindowLayout& layout() const { return layout_; }
    double time() const { return double(timeline_.frame()); }

    // Starts a frame drawn at `now`, the window's device pixels per unit
    // being `framebuffer_scale`.
    void begin_frame(ViewClock::time_point now, double framebuffer_scale);
    // Results the renderer finished. True when a new preview is to be shown
    // (shown()).
    bool take_results(std::vector<RenderResult> results);
    // `over_ui`: the panel or a popup has the pointer.
    void pointer(const PointerEvent& e, bool over_ui);
    // `typing`: a control of the panel has the keyboard.
    KeyOutcome key(const KeyEvent& e, bool typing);
    // The window's parts for this frame; the picture is placed in its area.
    void place(const WindowLayout& layout);
    // The time bar: a frame (index) clicked or dragged to, and whether the
    // track is being dragged.
    void scrub(std::optional<std::size_t> go_to, bool scrubbing);
    // The panel: controls the user changed, whether one is being dragged or
    // typed into, key actions chosen from a control's menu, and the control
    // clicked (selected whether or not it changed; null: none).
    void panel_input(const std::vector<CWidget*>& changed, bool active, const std::vector<ControlKeyAction>& actions,
                     CWidget* clicked = nullptr);
    // Playback, then the preview the picture needs.
    void tick();
    // How long the shell may wait for events before the next frame.
    double wait_seconds(ViewClock::time_point now) const;

    void save_project();
    void export_picture();

    // Settings changed since the project was opened or last saved.
    bool unsaved() const { return settings_version_ != saved_version_; }
    // Whether the window may close: with unsaved changes the first request
    // only says that S saves them and that closing again keeps them in the
    // recovery project; a second one, with nothing changed since, may.
    bool may_close();
    // Where unsaved changes are kept on closing: the project's name with
    // ".unsaved" before its extension.
    std::string recovery_path() const;
    // Writes unsaved changes to the recovery project and says where. False
    // when there were some and they could not be written.
    bool keep_unsaved();

    // What the picture shows: "result", "input" or "wipe: input | result".
    std::string showing() const;
    bool shows_input() const { return before_; }
    bool wipe() const { return wipe_; }
    // The wipe's dividing line (window units) inside the picture's area:
    // the area's middle until it is dragged.
    double wipe_at() const;
    bool dragging_wipe() const { return dragging_wipe_; }
    bool outline() const { return outline_; }
    bool dragging() const { return dragging_; }
    // The status line with the pixel under the pointer (when it is known and
    // over the picture).
    std::string status_line(double pointer_x, double pointer_y, bool pointer_known) const;
    const std::string& message() const { return message_; }
    // The controls last edited or clicked, whose keys the time bar shows
    // brightest.
    const std::vector<CWidget*>& selected() const { return selected_; }
    // The handles outside the part of the picture shown, marked on its edge
    // (a press on a mark takes its handle).
    std::vector<HandleMark> outside_marks() const;
    BarKeys bar_keys() const;

    // The preview shown and the input it was rendered from, as the display
    // shows them; before the first preview, the first frame.
    const trellin_app::HostPicture& shown() const { return shown_; }
    const std::shared_ptr<const trellin_app::HostPicture>& shown_source() const { return shown_source_; }
    void set_first_source(std::shared_ptr<const trellin_app::HostPicture> source) { shown_source_ = std::move(source); }

    // The session's part of the state file (state_file.h): frame, shot,
    // zoom, preview, counts and every control; `decorate` adds to a
    // control's entry what the shell knows of it (where it was drawn).
    nlohmann::json state(const std::function<void(const CWidget&, nlohmann::json&)>& decorate) const;

    // Shows `message` on the status line, and prints it unless `also_print` is false.
    void say(const std::string& message, bool also_print = true);

private:
    struct RenderKey {
        long long frame = -1;
        std::uint64_t settings = 0;
        int width = 0;
        int height = 0;
        bool fast = false;
        bool operator==(const RenderKey&) const = default;
    };

    void go_to_index(std::size_t index);
    void step(long long delta);
    void toggle_play();
    void play_tick();
    void commit_edits(bool interacting);
    void apply_key_actions(const std::vector<ControlKeyAction>& actions);
    void key_selected();
    void request_preview();
    void keep_moving();
    trellin_app::SettingsSnapshot snapshot();

    SessionOptions options_;
    trellin_app::NodePtr node_;
    RenderRequests& renderer_;
    trellin_app::FramePattern export_pattern_;
    Timeline timeline_;
    ViewNavigation nav_;
    WindowLayout layout_;
    double fb_scale_ = 1.0;
    ViewClock::time_point now_{};

    // Interactions.
    bool dragging_ = false;  // a handle
    bool panning_ = false;
    PointerButton pan_button_ = PointerButton::other;
    double pan_x_ = 0.0;
    double pan_y_ = 0.0;
    bool space_held_ = false;
    bool space_used_ = false;  // to pan: its release then does not play
    bool scrubbing_ = false;
    bool before_ = false;
    bool wipe_ = false;
    double wipe_x_ = -1.0;        // the wipe's dividing line; < 0: the area's middle
    bool dragging_wipe_ = false;  // the dividing line is being dragged
    bool outline_ = true;

    // Edits and keys.
    ControlValues values_;
    std::uint64_t settings_version_ = 1;
    std::uint64_t saved_version_ = 1;  // the settings last saved (or opened)
    std::uint64_t quit_asked_at_ = 0;  // the settings a first close with unsaved changes warned about
    std::vector<CWidget*> selected_;
    ViewClock::time_point motion_until_{};

    // Renders.
    RenderKey requested_;
    int fast_divisor_;
    bool play_pending_ = false;
    std::size_t played_index_ = 0;
    bool played_any_ = false;
    trellin_app::HostPicture shown_;
    std::shared_ptr<const trellin_app::HostPicture> shown_source_;
    long long shown_frame_ = 0;
    bool shown_fast_ = false;
    double render_ms_ = -1.0;
    long renders_ = 0;
    long reduced_renders_ = 0;
    long exports_ = 0;

    std::string message_;
};

}  // namespace trellin_view
