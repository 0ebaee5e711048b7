#include "apps/trellin-view/view_session.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <utility>

#include "apps/common/core/control_text.h"
#include "apps/common/core/project_file.h"
#include "apps/trellin-view/state_file.h"

namespace trellin_view {

namespace {

using trellin_app::HostPicture;

// A pointer that has not changed anything for this long is at rest, and the
// full-size preview follows the reduced ones.
constexpr auto rest_time = std::chrono::milliseconds(250);

// Reduced previews, while something moves, are this fraction of the shown
// size: a half, or a quarter when a half renders slower than
// `slow_fast_ms` (and a half again below `quick_fast_ms`).
constexpr int fast_divisor = 2;
constexpr int slower_fast_divisor = 4;
constexpr double slow_fast_ms = 120.0;
constexpr double quick_fast_ms = 30.0;

// A press this near (window units at interface size 1, on both axes) a
// mark of a handle off the picture takes the handle.
constexpr double handle_mark_reach = 8.0;

// A press this near the wipe's dividing line (window units at interface
// size 1) takes the line rather than a handle under it.
constexpr double wipe_grip_reach = 6.0;

std::string format_ms(double ms)
{
    char text[32];
    std::snprintf(text, sizeof text, ms < 100.0 ? "%.1f" : "%.0f", ms);
    return text;
}

double seconds(ViewClock::time_point t)
{
    return std::chrono::duration<double>(t.time_since_epoch()).count();
}

// The samples of `picture` at (x, y) as 0..1 values.
std::string sample_text(const HostPicture& picture, int x, int y)
{
    std::string text;
    for (int c = 0; c < picture.samples; ++c) {
        char v[16];
        std::snprintf(v, sizeof v, c == 0 ? "%.3f" : " %.3f", double(picture.at(x, y, c)) / 65535.0);
        text += v;
    }
    return text;
}

nlohmann::json rect_json(const Rect& r)
{
    return {{"x", r.x}, {"y", r.y}, {"width", r.width}, {"height", r.height}};
}

}  // namespace

ViewSession::ViewSession(SessionOptions options, trellin_app::NodePtr node, RenderRequests& renders)
    : options_(std::move(options)),
      node_(std::move(node)),
      renderer_(renders),
      export_pattern_(options_.export_path),
      timeline_(options_.frames, options_.fps),
      fast_divisor_(fast_divisor)
{
    // The panel node shows the full-size picture: handle and mouse positions
    // are pixels of it, whatever size the preview renders at.
    node_->set_output_size(options_.image_width, options_.image_height);
    node_->set_input_length(1);
    node_->set_aspect(options_.pixel_aspect);
    node_->notify_output_changed();
    open_for_editing(*node_, time());
    values_ = control_values(*node_);
    say("S saves the project to " + options_.project_path +
            (options_.export_path.empty() ? "" : ", E exports to " + options_.export_path),
        false);
}

void ViewSession::begin_frame(ViewClock::time_point now, double framebuffer_scale)
{
    now_ = now;
    fb_scale_ = framebuffer_scale;
}

double ViewSession::wait_seconds(ViewClock::time_point now) const
{
    // Playback runs on a clock; a drag comes to rest without an event.
    if (timeline_.playing()) return 0.004;
    const double rest = std::chrono::duration<double>(motion_until_ - now).count();
    if (rest > -0.1) return std::clamp(rest + 0.005, 0.005, 0.5);
    return 0.5;
}

trellin_app::SettingsSnapshot ViewSession::snapshot()
{
    return trellin_app::SettingsSnapshot::of(*node_);
}

void ViewSession::say(const std::string& message, bool also_print)
{
    message_ = message;
    if (also_print) std::cout << "trellin-view: " << message << "\n" << std::flush;
}

void ViewSession::save_project()
{
    commit_edits(false);
    try {
        trellin_app::save_project(*node_, options_.project_path, options_.render.get());
        saved_version_ = settings_version_;
        std::error_code ec;
        const std::filesystem::path where = std::filesystem::absolute(options_.project_path, ec);
        say("saved the project to " + (ec ? options_.project_path : where.lexically_normal().string()));
    } catch (const std::exception& e) {
        say(std::string("could not save the project: ") + e.what());
    }
}

bool ViewSession::may_close()
{
    commit_edits(false);
    if (!unsaved() || quit_asked_at_ == settings_version_) return true;
    quit_asked_at_ = settings_version_;
    say("unsaved changes: S saves them to " + options_.project_path + "; Esc again quits and keeps them in " +
            recovery_path(),
        false);
    return false;
}

std::string ViewSession::recovery_path() const
{
    std::filesystem::path p(options_.project_path);
    const std::string ext = p.has_extension() ? p.extension().string() : ".json";
    return p.replace_extension().string() + ".unsaved" + ext;
}

bool ViewSession::keep_unsaved()
{
    commit_edits(false);
    if (!unsaved()) return true;
    const std::string path = recovery_path();
    try {
        trellin_app::save_project(*node_, path, options_.render.get());
    } catch (const std::exception& e) {
        std::cerr << "trellin-view: error: unsaved changes lost: cannot write " << path << ": " << e.what() << "\n";
        return false;
    }
    std::cout << "trellin-view: unsaved changes kept in " << path << " (--project " << path << " opens them again)\n"
              << std::flush;
    return true;
}

void ViewSession::export_picture()
{
    if (options_.export_path.empty()) {
        say("no export file named: start trellin-view with --export OUT");
        return;
    }
    commit_edits(false);
    const std::string path = export_pattern_.path_for(timeline_.frame());
    renderer_.request_export(snapshot(), timeline_.frame(), path);
    say("exporting frame " + std::to_string(timeline_.frame()) + " at full size to " + path + " ...");
}

bool ViewSession::take_results(std::vector<RenderResult> results)
{
    bool new_preview = false;
    for (RenderResult& r : results) {
        if (r.kind == JobKind::export_picture) {
            if (r.ok) {
                ++exports_;
                say("exported " + r.path + " (frame " + std::to_string(r.frame) + ", " +
                    std::to_string(r.source.picture->width) + "x" + std::to_string(r.source.picture->height) +
                    ", rendered in " + format_ms(r.milliseconds) + " ms)");
            } else {
                say("export to " + r.path + " failed: " + r.message);
            }
            continue;
        }
        play_pending_ = false;
        if (r.ok && timeline_.playing() && played_any_ && r.frame == timeline_.frames()[played_index_])
            timeline_.mark_rendered(played_index_);
        if (!r.ok) {
            say("render failed: " + r.message);
            timeline_.stop();
            continue;
        }
        if (r.fast) {
            if (r.milliseconds > slow_fast_ms) fast_divisor_ = slower_fast_divisor;
            if (r.milliseconds < quick_fast_ms) fast_divisor_ = fast_divisor;
        }
        render_ms_ = r.milliseconds;
        shown_ = std::move(r.picture);
        shown_source_ = std::move(r.source.shown);
        shown_frame_ = r.frame;
        shown_fast_ = r.fast;
        ++renders_;
        if (r.fast) ++reduced_renders_;
        new_preview = true;
    }
    return new_preview;
}

void ViewSession::pointer(const PointerEvent& e, bool over_ui)
{
    const Rect& area = layout_.picture_area;
    const bool over_picture = area.contains(e.x, e.y) && !over_ui;
    const ImagePoint p = window_to_image(nav_.picture(), options_.image_width, options_.image_height, e.x, e.y);
    FXMouseEvent event;
    event.x = p.x;
    event.y = p.y;
    switch (e.type) {
    case PointerEvent::Type::scroll:
        if (over_picture && !dragging_) nav_.zoom_steps(e.amount, e.x, e.y);
        return;
    case PointerEvent::Type::press:
        if (e.button == PointerButton::middle || (e.button == PointerButton::left && space_held_)) {
            if (!over_picture || dragging_ || panning_) return;
            panning_ = true;
            pan_button_ = e.button;
            pan_x_ = e.x;
            pan_y_ = e.y;
            space_used_ = space_held_;
            return;
        }
        if (e.button != PointerButton::left || dragging_ || panning_ || !over_picture) return;
        // The wipe's dividing line is taken before any handle near it.
        if (wipe_ && std::abs(e.x - wipe_at()) <= wipe_grip_reach * options_.ui_scale) {
            dragging_wipe_ = true;
            return;
        }
        event.button = 1.0f;
        // A press that no handle takes starts no drag: the node hears
        // neither its moves nor its release.
        dragging_ = node_->overlay_event(nullptr, OverlayEventKind::press, &event);
        if (!dragging_) {
            // A handle off the picture is taken at its mark on the edge, as
            // a press on the handle itself; the drag brings it to the pointer.
            const std::vector<HandleMark> marks = outside_marks();
            if (const HandleMark* m = mark_at(marks, e.x, e.y, handle_mark_reach * options_.ui_scale)) {
                FXMouseEvent on_handle = event;
                on_handle.x = float(m->image_x);
                on_handle.y = float(m->image_y);
                dragging_ = node_->overlay_event(nullptr, OverlayEventKind::press, &on_handle);
            }
        }
        return;
    case PointerEvent::Type::move:
        if (dragging_wipe_) {
            wipe_x_ = std::clamp(e.x, area.x, area.x + area.width);
        } else if (panning_) {
            nav_.pan(e.x - pan_x_, e.y - pan_y_);
            pan_x_ = e.x;
            pan_y_ = e.y;
        } else if (dragging_) {
            event.button = 1.0f;
            node_->overlay_event(nullptr, OverlayEventKind::move, &event);
        } else if (over_picture) {
            node_->overlay_event(nullptr, OverlayEventKind::move, &event);
        }
        return;
    case PointerEvent::Type::release:
        if (panning_ && e.button == pan_button_) {
            panning_ = false;
            return;
        }
        if (e.button == PointerButton::left && dragging_wipe_) {
            dragging_wipe_ = false;
            return;
        }
        if (e.button != PointerButton::left || !dragging_) return;
        dragging_ = false;
        node_->overlay_event(nullptr, OverlayEventKind::release, &event);
        return;
    }
}

KeyOutcome ViewSession::key(const KeyEvent& e, bool typing)
{
    if (e.key == ViewKey::space) {
        // Space held pans with the left button; tapped, it plays or stops.
        if (e.state == KeyEvent::State::press) {
            space_held_ = !typing;
            space_used_ = false;
        } else if (e.state == KeyEvent::State::release) {
            if (space_held_ && !space_used_ && !panning_) toggle_play();
            space_held_ = false;
        }
        return KeyOutcome::none;
    }
    if (e.state == KeyEvent::State::release || typing) return KeyOutcome::none;
    const bool repeat = e.state == KeyEvent::State::repeat;
    const long long stride = e.shift ? 10 : 1;
    switch (e.key) {
    case ViewKey::right:
    case ViewKey::left:
        step(e.key == ViewKey::right ? stride : -stride);
        // Held down, the frames go by as a drag does: reduced previews.
        if (repeat) keep_moving();
        break;
    case ViewKey::home:
        step(-static_cast<long long>(timeline_.frames().size()));
        break;
    case ViewKey::end:
        step(static_cast<long long>(timeline_.frames().size()));
        break;
    case ViewKey::k:
        key_selected();
        break;
    case ViewKey::b:
        before_ = !before_;
        wipe_ = false;
        break;
    case ViewKey::w:
        wipe_ = !wipe_;
        before_ = false;
        break;
    case ViewKey::one:
        nav_.actual_pixels();
        break;
    case ViewKey::f:
        nav_.fit();
        break;
    case ViewKey::o:
        outline_ = !outline_;
        break;
    case ViewKey::s:
        if (!repeat) save_project();
        break;
    case ViewKey::e:
        if (!repeat) export_picture();
        break;
    case ViewKey::escape:
        if (!repeat) return KeyOutcome::escape;
        break;
    case ViewKey::space:
    case ViewKey::other:
        break;
    }
    return KeyOutcome::none;
}

void ViewSession::place(const WindowLayout& layout)
{
    layout_ = layout;
    nav_.place(layout_.picture_area, options_.image_width, options_.image_height, options_.pixel_aspect, fb_scale_);
}

void ViewSession::scrub(std::optional<std::size_t> go_to, bool scrubbing)
{
    if (go_to && *go_to != timeline_.index()) {
        if (timeline_.playing()) toggle_play();
        go_to_index(*go_to);
    }
    scrubbing_ = scrubbing;
}

void ViewSession::panel_input(const std::vector<CWidget*>& changed, bool active,
                              const std::vector<ControlKeyAction>& actions, CWidget* clicked)
{
    // Edits made by the click itself select what they changed (below).
    if (clicked != nullptr) selected_ = {clicked};
    for (CWidget* c : changed) {
        // A change in the panel reaches the node as a user's change does.
        node_->notify_control_changed(c, change_reason::finished, time());
    }
    commit_edits(dragging_ || active);
    apply_key_actions(actions);
}

void ViewSession::tick()
{
    play_tick();
    request_preview();
}

void ViewSession::keep_moving()
{
    motion_until_ = now_ + rest_time;
}

void ViewSession::go_to_index(std::size_t index)
{
    // Edits belong to the frame they were made at.
    commit_edits(false);
    if (!timeline_.go_to_index(index)) return;
    open_for_editing(*node_, time());
    values_ = control_values(*node_);
}

void ViewSession::step(long long delta)
{
    if (timeline_.playing()) toggle_play();
    const long long last = static_cast<long long>(timeline_.frames().size()) - 1;
    go_to_index(std::size_t(std::clamp(static_cast<long long>(timeline_.index()) + delta, 0LL, last)));
}

void ViewSession::toggle_play()
{
    if (timeline_.playing()) {
        timeline_.stop();
        play_pending_ = false;
        say("stopped at frame " + std::to_string(timeline_.frame()), false);
        return;
    }
    timeline_.play(seconds(now_));
    played_any_ = false;
    say("playing at up to " + trellin_app::number_text(timeline_.fps()) + " frames a second (Space stops)", false);
}

void ViewSession::play_tick()
{
    if (!timeline_.playing()) return;
    // A request replaced by a newer one (an edit while playing) brings no
    // result of its own.
    if (play_pending_ && !renderer_.busy()) play_pending_ = false;
    if (play_pending_) return;
    const std::size_t target = timeline_.play_index(seconds(now_));
    if (played_any_ && target == played_index_) return;
    go_to_index(target);
    played_index_ = target;
    played_any_ = true;
    play_pending_ = true;
    requested_ = RenderKey{};  // asked for below, whatever was asked before
}

void ViewSession::commit_edits(bool interacting)
{
    node_->clear_host_records();
    const std::vector<CWidget*> changed = changed_controls(*node_, values_);
    if (changed.empty()) return;
    selected_ = changed;
    if (key_edits_at(*node_, time()) > 0) {
        std::string names;
        for (const CWidget* c : changed)
            if (has_key_at(*c, time())) names += (names.empty() ? "" : ", ") + trellin_app::setting_label(*c);
        say("keyed " + names + " at frame " + std::to_string(timeline_.frame()), false);
    }
    values_ = control_values(*node_);
    ++settings_version_;
    if (interacting) keep_moving();
}

void ViewSession::apply_key_actions(const std::vector<ControlKeyAction>& actions)
{
    for (const ControlKeyAction& a : actions) {
        CWidget& c = *a.control;
        const std::string name = trellin_app::setting_label(c);
        const std::string at = " at frame " + std::to_string(timeline_.frame());
        switch (a.kind) {
        case ControlKeyAction::Kind::set:
            set_key_here(c, time());
            say("keyed " + name + at, false);
            break;
        case ControlKeyAction::Kind::remove:
            delete_key_at(c, time());
            // The value may now follow the keys left.
            node_->notify_control_changed(&c, change_reason::finished, time());
            say("deleted the key of " + name + at, false);
            break;
        case ControlKeyAction::Kind::clear:
            c.clear_keys();
            say("cleared the keys of " + name + " (it holds its value" + at + ")", false);
            break;
        }
        selected_ = {&c};
        ++settings_version_;
    }
    if (!actions.empty()) {
        node_->clear_host_records();
        values_ = control_values(*node_);
    }
}

void ViewSession::key_selected()
{
    commit_edits(false);
    if (selected_.empty()) {
        say("K keys the control last edited: change a control or drag a handle first", false);
        return;
    }
    std::string names;
    for (CWidget* c : selected_) {
        set_key_here(*c, time());
        names += (names.empty() ? "" : ", ") + trellin_app::setting_label(*c);
    }
    ++settings_version_;
    say("keyed " + names + " at frame " + std::to_string(timeline_.frame()), false);
}

void ViewSession::request_preview()
{
    const Size full = preview_size(nav_.picture(), fb_scale_, options_.image_width, options_.image_height);
    if (full.width <= 0 || full.height <= 0) return;
    const bool moving = timeline_.playing() || scrubbing_ || now_ < motion_until_;
    Size size = full;
    if (moving) {
        size.width = std::max(1, int(std::lround(double(full.width) / fast_divisor_)));
        size.height = std::max(1, int(std::lround(double(full.height) / fast_divisor_)));
    }
    const RenderKey key{timeline_.frame(), settings_version_, size.width, size.height,
                        size.width != full.width || size.height != full.height};
    if (key == requested_) return;
    renderer_.request_preview(snapshot(), key.frame, key.width, key.height, key.fast);
    requested_ = key;
}

std::vector<HandleMark> ViewSession::outside_marks() const
{
    return outside_handle_marks(*node_, nav_.picture(), layout_.picture_area, options_.image_width,
                                options_.image_height);
}

BarKeys ViewSession::bar_keys() const
{
    BarKeys bar;
    std::string keyed;
    for (int i = 0; i < node_->num_controls(); ++i) {
        const CWidget* c = node_->control(i);
        if (c == nullptr || c->keys().empty()) continue;
        const bool selected = std::find(selected_.begin(), selected_.end(), c) != selected_.end();
        for (const ControlKey& k : c->keys()) (selected ? bar.selected : bar.others).push_back(k.time);
        if (!selected) keyed += (keyed.empty() ? "" : ", ") + trellin_app::setting_label(*c);
    }
    for (const CWidget* c : selected_) bar.names += (bar.names.empty() ? "" : ", ") + trellin_app::setting_label(*c);
    if (bar.names.empty()) bar.names = keyed;
    return bar;
}

double ViewSession::wipe_at() const
{
    const Rect& area = layout_.picture_area;
    return std::clamp(wipe_x_ < 0.0 ? area.x + area.width * 0.5 : wipe_x_, area.x, area.x + area.width);
}

std::string ViewSession::showing() const
{
    if (wipe_) return "wipe: input | result";
    return before_ ? "input" : "result";
}

std::string ViewSession::status_line(double pointer_x, double pointer_y, bool pointer_known) const
{
    const int width = options_.image_width;
    const int height = options_.image_height;
    char zoom[48];
    std::snprintf(zoom, sizeof zoom, "%s%.0f%%", nav_.fitted() ? "fit " : "", nav_.zoom() * 100.0);
    std::string line = std::string("zoom ") + zoom;

    const ImagePoint p = window_to_image(nav_.picture(), width, height, pointer_x, pointer_y);
    const int x = int(std::floor(p.x));
    const int y = int(std::floor(p.y));
    if (pointer_known && layout_.picture_area.contains(pointer_x, pointer_y) && x >= 0 && y >= 0 && x < width &&
        y < height) {
        line += "   x " + std::to_string(x) + " y " + std::to_string(y);
        // The values of both pictures at that pixel, each at its own size.
        if (shown_source_ && shown_source_->width > 0)
            line += "   in " + sample_text(*shown_source_, int(std::int64_t(x) * shown_source_->width / width),
                                           int(std::int64_t(y) * shown_source_->height / height));
        if (shown_.width > 0)
            line += "   out " + sample_text(shown_, int(std::int64_t(x) * shown_.width / width),
                                            int(std::int64_t(y) * shown_.height / height));
    }
    if (render_ms_ >= 0.0) {
        line += "   |   render " + format_ms(render_ms_) + " ms at " + std::to_string(shown_.width) + "x" +
                std::to_string(shown_.height) + (shown_fast_ ? " (reduced)" : "");
        if (renderer_.busy()) line += " (rendering)";
    } else {
        line += "   |   rendering";
    }
    return line + "   |   " + message_;
}

nlohmann::json ViewSession::state(const std::function<void(const CWidget&, nlohmann::json&)>& decorate) const
{
    using nlohmann::json;
    json state;
    state["picture"] = rect_json(nav_.picture());
    state["picture_area"] = rect_json(layout_.picture_area);
    state["zoom"] = nav_.zoom();
    state["fitted"] = nav_.fitted();
    state["image"] = {{"width", options_.image_width}, {"height", options_.image_height}};
    state["preview"] = {
        {"width", shown_.width}, {"height", shown_.height}, {"frame", shown_frame_}, {"reduced", shown_fast_}};
    state["frame"] = timeline_.frame();
    state["shot"] = {{"first", timeline_.frames().front()},
                     {"last", timeline_.frames().back()},
                     {"count", timeline_.frames().size()}};
    state["playing"] = timeline_.playing();
    state["fps"] = timeline_.fps();
    // What the time bar marks of the last playback.
    const auto& marks = timeline_.marks();
    state["played"] = {{"rendered", std::count(marks.begin(), marks.end(), Timeline::Mark::rendered)},
                       {"skipped", std::count(marks.begin(), marks.end(), Timeline::Mark::skipped)}};
    state["showing"] = showing();
    state["wipe_x"] = wipe_ ? wipe_at() : -1.0;
    state["unsaved"] = unsaved();
    const BarKeys bar = bar_keys();
    std::vector<double> bar_times = bar.selected;
    bar_times.insert(bar_times.end(), bar.others.begin(), bar.others.end());
    state["time_bar_keys"] = bar_times;
    state["outline"] = outline_;
    state["renders"] = renders_;
    state["reduced_renders"] = reduced_renders_;
    state["exports"] = exports_;
    state["render_ms"] = render_ms_;
    state["busy"] = renderer_.busy();
    // Any drag in the picture: a handle's, the wipe line's or a pan. Until
    // its release is seen, the panel still takes the button as held.
    state["dragging"] = dragging_ || dragging_wipe_ || panning_;
    state["status"] = message_;
    json selected = json::array();
    for (const CWidget* c : selected_) selected.push_back(c->label());
    state["selected"] = std::move(selected);
    json controls = json::array();
    for (int i = 0; i < node_->num_controls(); ++i) {
        const CWidget* c = node_->control(i);
        if (c == nullptr) continue;
        json keys = json::array();
        for (const ControlKey& k : c->keys()) keys.push_back(k.time);
        json entry = {{"label", c->label()},          {"value", control_value_json(*c)},
                      {"disabled", c->is_disabled()}, {"hidden", c->is_hidden()},
                      {"keys", std::move(keys)},      {"key_here", has_key_at(*c, time())}};
        if (decorate) decorate(*c, entry);
        controls.push_back(std::move(entry));
    }
    state["controls"] = std::move(controls);
    return state;
}

}  // namespace trellin_view
