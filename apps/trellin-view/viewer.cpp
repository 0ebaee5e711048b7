#include "apps/trellin-view/viewer.h"

#define GLFW_INCLUDE_NONE
#include <GL/gl.h>
#include <GLFW/glfw3.h>
#include <backends/imgui_impl_glfw.h>
#include <backends/imgui_impl_opengl2.h>
#include <imgui.h>
#include <imgui_internal.h>  // closing popups from outside them

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <vector>

#include "apps/common/control_text.h"
#include "apps/common/frame_sequence.h"
#include "apps/common/project_file.h"
#include "apps/trellin-view/control_edit.h"
#include "apps/trellin-view/control_panel.h"
#include "apps/trellin-view/overlay_drawing.h"
#include "apps/trellin-view/panel_layout.h"
#include "apps/trellin-view/picture_texture.h"
#include "apps/trellin-view/render_worker.h"
#include "apps/trellin-view/state_file.h"
#include "apps/trellin-view/time_bar.h"
#include "apps/trellin-view/timeline.h"
#include "apps/trellin-view/ui_style.h"
#include "apps/trellin-view/view_geometry.h"
#include "apps/trellin-view/view_navigation.h"
#include "host/regv.h"

namespace trellin_view {

namespace {

using trellin_app::HostPicture;
using trellin_app::NodePtr;
using Clock = std::chrono::steady_clock;

// Frames drawn after each input, so that the panel sees a quick click both
// pressed and released.
constexpr int frames_after_input = 3;

// The narrowest window chosen; below the panel's own width it scrolls.
constexpr int min_window_width = 640;

// A pointer that has not changed anything for this long is at rest, and the
// full-size preview follows the reduced ones.
constexpr double rest_seconds = 0.25;

// Reduced previews, while something moves, are this fraction of the shown
// size: a half, or a quarter when a half renders slower than
// `slow_fast_ms` (and a half again below `quick_fast_ms`).
constexpr int fast_divisor = 2;
constexpr int slower_fast_divisor = 4;
constexpr double slow_fast_ms = 120.0;
constexpr double quick_fast_ms = 30.0;

// The window's input, handled in the order it came.
struct InputEvent {
    enum class Type { press, move, release, scroll, key } type;
    int button = -1;  // press, release; a key's GLFW key
    double x = 0.0;   // the pointer's position
    double y = 0.0;
    double amount = 0.0;  // wheel steps, up positive
    int action = 0;       // a key's GLFW action
    int mods = 0;         // a key's modifiers
};

// What a preview shows: changing any part asks for a new one.
struct RenderKey {
    long long frame = -1;
    std::uint64_t settings = 0;
    int width = 0;
    int height = 0;
    bool fast = false;
    bool operator==(const RenderKey&) const = default;
};

std::string format_ms(double ms)
{
    char text[32];
    std::snprintf(text, sizeof text, ms < 100.0 ? "%.1f" : "%.0f", ms);
    return text;
}

double seconds(Clock::time_point t)
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

class Viewer {
public:
    Viewer(const ViewerOptions& options, NodePtr panel_node, NodePtr render_node, std::shared_ptr<const Shot> shot)
        : options_(options),
          node_(std::move(panel_node)),
          render_node_(std::move(render_node)),
          shot_(std::move(shot)),
          image_(*shot_->first().picture),
          export_pattern_(options.export_path),
          timeline_(shot_->frames(), options.fps)
    {
    }

    int run();

private:
    bool open_window();
    void close_window();
    void choose_window_size();
    double wait_seconds() const;
    void frame();
    void take_results();
    void handle_pointer(const InputEvent& e);
    void handle_key(const InputEvent& e);
    double time() const { return double(timeline_.frame()); }
    void go_to_index(std::size_t index);
    void step(long long delta);
    void toggle_play();
    void play_tick();
    // Keys the edits since the last call at the frame shown (see key_edits_at)
    // and counts a change of settings; `interacting`: they come from a drag.
    void commit_edits(bool interacting);
    void apply_key_actions(const std::vector<ControlPanel::KeyAction>& actions);
    void key_selected();
    void request_preview();
    RegV snapshot();
    void save_project();
    void export_picture();
    void say(const std::string& message, bool also_print = true);
    std::string status_line() const;
    std::string showing() const;
    void draw_picture(int fb_width, int fb_height, double window_width, double window_height);
    void write_state(double window_width, double window_height);

    static Viewer& of(GLFWwindow* window) { return *static_cast<Viewer*>(glfwGetWindowUserPointer(window)); }

    ViewerOptions options_;
    NodePtr node_;
    NodePtr render_node_;
    std::shared_ptr<const Shot> shot_;
    const HostPicture& image_;  // the first frame: the shot's size and pixel aspect
    trellin_app::FramePattern export_pattern_;

    GLFWwindow* window_ = nullptr;
    bool imgui_ready_ = false;
    double ui_scale_ = 1.0;
    std::unique_ptr<ControlPanel> panel_;
    std::unique_ptr<PictureTexture> result_texture_;
    std::unique_ptr<PictureTexture> input_texture_;
    std::unique_ptr<RenderWorker> worker_;

    // Input as the window's callbacks report it, handled once per frame.
    std::vector<InputEvent> events_;
    // The pointer's position as the window's events last reported it: a
    // button event carries none of its own, and asking the display server
    // would give where the pointer is now, not where it was pressed.
    double cursor_x_ = -1.0;
    double cursor_y_ = -1.0;
    bool cursor_known_ = false;
    int frames_to_draw_ = frames_after_input;

    Timeline timeline_;
    ViewNavigation nav_;
    WindowLayout layout_;
    double fb_scale_ = 1.0;

    // Interactions.
    bool dragging_ = false;  // a handle
    bool panning_ = false;
    int pan_button_ = -1;
    double pan_x_ = 0.0;
    double pan_y_ = 0.0;
    bool space_held_ = false;
    bool space_used_ = false;  // to pan: its release then does not play
    bool scrubbing_ = false;
    bool before_ = false;
    bool wipe_ = false;
    double wipe_x_ = -1.0;
    bool outline_ = true;

    // Edits and keys.
    ControlValues values_;
    std::uint64_t settings_version_ = 1;
    std::vector<CWidget*> selected_;  // the controls last edited
    Clock::time_point motion_until_{};

    // Renders.
    RenderKey requested_;
    int fast_divisor_ = fast_divisor;
    bool play_pending_ = false;
    std::size_t played_index_ = 0;
    bool played_any_ = false;
    HostPicture shown_;
    std::shared_ptr<const HostPicture> shown_source_;  // the input of the frame shown, as the display shows it
    const HostPicture* input_uploaded_ = nullptr;
    long long shown_frame_ = 0;
    bool shown_fast_ = false;
    double render_ms_ = -1.0;

    std::string message_;
    long frames_ = 0;
    long renders_ = 0;
    long reduced_renders_ = 0;
    long exports_ = 0;
    std::string last_state_;
};

int Viewer::run()
{
    if (!open_window()) return 1;

    // The panel node shows the full-size picture: handle and mouse positions
    // are pixels of it, whatever size the preview renders at.
    node_->set_output_size(image_.width, image_.height);
    node_->set_input_length(1);
    node_->set_aspect(image_.pixel_aspect);
    node_->notify_output_changed();
    open_for_editing(*node_, time());
    values_ = control_values(*node_);

    panel_ = std::make_unique<ControlPanel>(*node_);
    result_texture_ = std::make_unique<PictureTexture>();
    input_texture_ = std::make_unique<PictureTexture>();
    // The source is shown until the first render arrives.
    result_texture_->upload(*shot_->first().shown);
    shown_source_ = shot_->first().shown;
    std::shared_ptr<const Shot> shot = shot_;
    worker_ = std::make_unique<RenderWorker>(
        std::move(render_node_), [shot](long long frame) { return shot->frame(frame); }, [] { glfwPostEmptyEvent(); },
        shot_->colour());
    choose_window_size();
    glfwShowWindow(window_);

    say("S saves the project to " + options_.project_path +
            (options_.export_path.empty() ? "" : ", E exports to " + options_.export_path),
        false);
    while (!glfwWindowShouldClose(window_)) {
        if (frames_to_draw_ > 0) {
            --frames_to_draw_;
            glfwPollEvents();
        } else {
            glfwWaitEventsTimeout(wait_seconds());
        }
        frame();
    }

    worker_->drop_previews();
    if (worker_->busy()) std::cout << "trellin-view: finishing the export in progress\n" << std::flush;
    worker_->wait_idle(24 * 3600 * 1000);
    take_results();
    worker_.reset();
    close_window();
    return 0;
}

double Viewer::wait_seconds() const
{
    // Playback runs on a clock; a drag comes to rest without an event.
    if (timeline_.playing()) return 0.004;
    const double rest = std::chrono::duration<double>(motion_until_ - Clock::now()).count();
    if (rest > -0.1) return std::clamp(rest + 0.005, 0.005, 0.5);
    return 0.5;
}

bool Viewer::open_window()
{
    glfwSetErrorCallback([](int, const char* text) { std::cerr << "trellin-view: window system: " << text << "\n"; });
    if (glfwInit() == GLFW_FALSE) {
        std::cerr << "trellin-view: error: cannot open a window (is DISPLAY set to a running X server?)\n";
        return false;
    }
    // Immediate-mode OpenGL, as the node's handles draw.
    glfwWindowHint(GLFW_CLIENT_API, GLFW_OPENGL_API);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 2);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 1);
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    const std::string title = "trellin-view - " + options_.input_name;
    const int w = options_.window_width > 0 ? options_.window_width : 1280;
    const int h = options_.window_height > 0 ? options_.window_height : 800;
    window_ = glfwCreateWindow(w, h, title.c_str(), nullptr, nullptr);
    if (window_ == nullptr) {
        std::cerr << "trellin-view: error: cannot open an OpenGL 2.1 window\n";
        glfwTerminate();
        return false;
    }
    glfwMakeContextCurrent(window_);
    glfwSwapInterval(1);
    glfwSetWindowUserPointer(window_, this);

    // Installed before ImGui's, which calls them before its own.
    glfwSetCursorPosCallback(window_, [](GLFWwindow* win, double x, double y) {
        Viewer& v = of(win);
        v.events_.push_back({InputEvent::Type::move, -1, x, y});
        v.cursor_x_ = x;
        v.cursor_y_ = y;
        v.cursor_known_ = true;
        v.frames_to_draw_ = frames_after_input;
    });
    glfwSetMouseButtonCallback(window_, [](GLFWwindow* win, int button, int action, int) {
        Viewer& v = of(win);
        v.frames_to_draw_ = frames_after_input;
        if (!v.cursor_known_) {
            glfwGetCursorPos(win, &v.cursor_x_, &v.cursor_y_);
            v.cursor_known_ = true;
        }
        v.events_.push_back({action == GLFW_PRESS ? InputEvent::Type::press : InputEvent::Type::release, button,
                             v.cursor_x_, v.cursor_y_});
    });
    glfwSetScrollCallback(window_, [](GLFWwindow* win, double, double dy) {
        Viewer& v = of(win);
        v.frames_to_draw_ = frames_after_input;
        if (v.cursor_known_) v.events_.push_back({InputEvent::Type::scroll, -1, v.cursor_x_, v.cursor_y_, dy});
    });
    glfwSetKeyCallback(window_, [](GLFWwindow* win, int key, int, int action, int mods) {
        Viewer& v = of(win);
        v.frames_to_draw_ = frames_after_input;
        v.events_.push_back({InputEvent::Type::key, key, 0.0, 0.0, 0.0, action, mods});
    });
    glfwSetWindowRefreshCallback(window_, [](GLFWwindow* win) { of(win).frames_to_draw_ = frames_after_input; });
    glfwSetWindowSizeCallback(window_, [](GLFWwindow* win, int, int) { of(win).frames_to_draw_ = frames_after_input; });

    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGui::GetIO().IniFilename = nullptr;
    ui_scale_ = options_.ui_scale;
    if (!(ui_scale_ > 0.0)) {
        float sx = 1.0f, sy = 1.0f;
        if (GLFWmonitor* monitor = glfwGetPrimaryMonitor()) glfwGetMonitorContentScale(monitor, &sx, &sy);
        ui_scale_ = std::clamp(double(sy), 1.0, 4.0);
    }
    set_up_ui(ui_scale_);
    ImGui_ImplGlfw_InitForOpenGL(window_, true);
    ImGui_ImplOpenGL2_Init();
    imgui_ready_ = true;
    return true;
}

void Viewer::close_window()
{
    panel_.reset();
    result_texture_.reset();  // the textures need the context
    input_texture_.reset();
    if (imgui_ready_) {
        ImGui_ImplOpenGL2_Shutdown();
        ImGui_ImplGlfw_Shutdown();
        ImGui::DestroyContext();
        imgui_ready_ = false;
    }
    if (window_ != nullptr) glfwDestroyWindow(window_);
    window_ = nullptr;
    glfwTerminate();
}

void Viewer::choose_window_size()
{
    // The panel's metrics come from the font, which a frame sets up.
    ImGui_ImplOpenGL2_NewFrame();
    ImGui_ImplGlfw_NewFrame();
    ImGui::NewFrame();
    int area_x = 0, area_y = 0, area_w = 0, area_h = 0;
    glfwGetMonitorWorkarea(glfwGetPrimaryMonitor(), &area_x, &area_y, &area_w, &area_h);
    if (area_w <= 0 || area_h <= 0) {
        area_w = 1600;
        area_h = 1000;
    }
    const double max_w = area_w * 0.95;
    const double max_h = area_h * 0.95;
    // Wide enough for the panel's grid, when the screen is.
    const double min_w = std::min(std::max(double(min_window_width), panel_->natural_width()), max_w);
    // The picture at most at full size, the window no wider or higher than
    // the screen's work area.
    const double shown_w = double(image_.width) * (image_.pixel_aspect > 0.0 ? image_.pixel_aspect : 1.0);
    const double shown_h = double(image_.height);
    const double below = panel_->height(min_w) + time_bar_height(min_w);
    const double scale = std::min({1.0, max_w / shown_w, std::max(1.0, max_h - below) / shown_h});
    const int w = int(std::clamp(std::ceil(shown_w * scale), min_w, max_w));
    const int h = int(std::ceil(shown_h * scale + panel_->height(w) + time_bar_height(w)));
    ImGui::EndFrame();
    if (options_.window_width <= 0) glfwSetWindowSize(window_, w, h);
}

RegV Viewer::snapshot()
{
    RegV reg;
    node_->reg_save(reg);
    return reg;
}

void Viewer::say(const std::string& message, bool also_print)
{
    message_ = message;
    if (also_print) std::cout << "trellin-view: " << message << "\n" << std::flush;
}

void Viewer::save_project()
{
    commit_edits(false);
    try {
        trellin_app::save_project(*node_, options_.project_path,
                                  shot_->colour() ? &shot_->colour()->options() : nullptr);
        std::error_code ec;
        const std::filesystem::path where = std::filesystem::absolute(options_.project_path, ec);
        say("saved the project to " + (ec ? options_.project_path : where.lexically_normal().string()));
    } catch (const std::exception& e) {
        say(std::string("could not save the project: ") + e.what());
    }
}

void Viewer::export_picture()
{
    if (options_.export_path.empty()) {
        say("no export file named: start trellin-view with --export OUT");
        return;
    }
    commit_edits(false);
    const std::string path = export_pattern_.path_for(timeline_.frame());
    worker_->request_export(snapshot(), timeline_.frame(), path);
    say("exporting frame " + std::to_string(timeline_.frame()) + " at full size to " + path + " ...");
}

void Viewer::take_results()
{
    for (RenderResult& r : worker_->take_results()) {
        frames_to_draw_ = frames_after_input;
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
        result_texture_->upload(r.picture);
        render_ms_ = r.milliseconds;
        shown_ = std::move(r.picture);
        shown_source_ = std::move(r.source.shown);
        shown_frame_ = r.frame;
        shown_fast_ = r.fast;
        ++renders_;
        if (r.fast) ++reduced_renders_;
    }
}

void Viewer::handle_pointer(const InputEvent& e)
{
    const Rect& area = layout_.picture_area;
    const bool over_picture = area.contains(e.x, e.y) && !ImGui::GetIO().WantCaptureMouse;
    const ImagePoint p = window_to_image(nav_.picture(), image_.width, image_.height, e.x, e.y);
    FXMouseEvent event;
    event.x = p.x;
    event.y = p.y;
    switch (e.type) {
    case InputEvent::Type::key:
        return;
    case InputEvent::Type::scroll:
        if (over_picture && !dragging_) nav_.zoom_steps(e.amount, e.x, e.y);
        return;
    case InputEvent::Type::press:
        if (e.button == GLFW_MOUSE_BUTTON_MIDDLE || (e.button == GLFW_MOUSE_BUTTON_LEFT && space_held_)) {
            if (!over_picture || dragging_ || panning_) return;
            panning_ = true;
            pan_button_ = e.button;
            pan_x_ = e.x;
            pan_y_ = e.y;
            space_used_ = space_held_;
            return;
        }
        if (e.button != GLFW_MOUSE_BUTTON_LEFT || dragging_ || panning_ || !over_picture) return;
        event.button = 1.0f;
        // A press that no handle takes starts no drag: the node hears
        // neither its moves nor its release.
        dragging_ = node_->overlay_event(nullptr, OverlayEventKind::press, &event);
        return;
    case InputEvent::Type::move:
        if (over_picture) wipe_x_ = e.x;
        if (panning_) {
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
    case InputEvent::Type::release:
        if (panning_ && e.button == pan_button_) {
            panning_ = false;
            return;
        }
        if (e.button != GLFW_MOUSE_BUTTON_LEFT || !dragging_) return;
        dragging_ = false;
        node_->overlay_event(nullptr, OverlayEventKind::release, &event);
        return;
    }
}

void Viewer::handle_key(const InputEvent& e)
{
    const bool typing = ImGui::GetIO().WantCaptureKeyboard;  // into a control
    const int key = e.button;
    if (key == GLFW_KEY_SPACE) {
        // Space held pans with the left button; tapped, it plays or stops.
        if (e.action == GLFW_PRESS) {
            space_held_ = !typing;
            space_used_ = false;
        } else if (e.action == GLFW_RELEASE) {
            if (space_held_ && !space_used_ && !panning_) toggle_play();
            space_held_ = false;
        }
        return;
    }
    if (e.action == GLFW_RELEASE || typing) return;
    const bool repeat = e.action == GLFW_REPEAT;
    const long long stride = (e.mods & GLFW_MOD_SHIFT) != 0 ? 10 : 1;
    switch (key) {
    case GLFW_KEY_RIGHT:
    case GLFW_KEY_LEFT:
        step(key == GLFW_KEY_RIGHT ? stride : -stride);
        // Held down, the frames go by as a drag does: reduced previews.
        if (repeat) motion_until_ = Clock::now() + std::chrono::milliseconds(int(rest_seconds * 1000));
        break;
    case GLFW_KEY_HOME:
        step(-static_cast<long long>(timeline_.frames().size()));
        break;
    case GLFW_KEY_END:
        step(static_cast<long long>(timeline_.frames().size()));
        break;
    case GLFW_KEY_K:
        key_selected();
        break;
    case GLFW_KEY_B:
        before_ = !before_;
        wipe_ = false;
        break;
    case GLFW_KEY_W:
        wipe_ = !wipe_;
        before_ = false;
        break;
    case GLFW_KEY_1:
    case GLFW_KEY_KP_1:
        nav_.actual_pixels();
        break;
    case GLFW_KEY_F:
        nav_.fit();
        break;
    case GLFW_KEY_O:
        outline_ = !outline_;
        break;
    case GLFW_KEY_S:
        if (!repeat) save_project();
        break;
    case GLFW_KEY_E:
        if (!repeat) export_picture();
        break;
    case GLFW_KEY_ESCAPE:
        if (repeat) break;
        // Esc first closes an open drop-down list, colour picker or menu.
        if (ImGui::IsPopupOpen("", ImGuiPopupFlags_AnyPopupId))
            ImGui::ClosePopupsOverWindow(nullptr, false);
        else
            glfwSetWindowShouldClose(window_, GLFW_TRUE);
        break;
    default:
        break;
    }
}

void Viewer::go_to_index(std::size_t index)
{
    // Edits belong to the frame they were made at.
    commit_edits(false);
    if (!timeline_.go_to_index(index)) return;
    open_for_editing(*node_, time());
    values_ = control_values(*node_);
}

void Viewer::step(long long delta)
{
    if (timeline_.playing()) toggle_play();
    const long long last = static_cast<long long>(timeline_.frames().size()) - 1;
    go_to_index(std::size_t(std::clamp(static_cast<long long>(timeline_.index()) + delta, 0LL, last)));
}

void Viewer::toggle_play()
{
    if (timeline_.playing()) {
        timeline_.stop();
        play_pending_ = false;
        say("stopped at frame " + std::to_string(timeline_.frame()), false);
        return;
    }
    timeline_.play(seconds(Clock::now()));
    played_any_ = false;
    say("playing at up to " + trellin_app::number_text(timeline_.fps()) + " frames a second (Space stops)", false);
}

void Viewer::play_tick()
{
    if (!timeline_.playing()) return;
    // A request replaced by a newer one (an edit while playing) brings no
    // result of its own.
    if (play_pending_ && !worker_->busy()) play_pending_ = false;
    if (play_pending_) return;
    const std::size_t target = timeline_.play_index(seconds(Clock::now()));
    if (played_any_ && target == played_index_) return;
    go_to_index(target);
    played_index_ = target;
    played_any_ = true;
    play_pending_ = true;
    requested_ = RenderKey{};  // asked for below, whatever was asked before
}

void Viewer::commit_edits(bool interacting)
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
    if (interacting) motion_until_ = Clock::now() + std::chrono::milliseconds(int(rest_seconds * 1000));
}

void Viewer::apply_key_actions(const std::vector<ControlPanel::KeyAction>& actions)
{
    for (const ControlPanel::KeyAction& a : actions) {
        CWidget& c = *a.control;
        const std::string name = trellin_app::setting_label(c);
        const std::string at = " at frame " + std::to_string(timeline_.frame());
        switch (a.kind) {
        case ControlPanel::KeyAction::Kind::set:
            set_key_here(c, time());
            say("keyed " + name + at, false);
            break;
        case ControlPanel::KeyAction::Kind::remove:
            delete_key_at(c, time());
            // The value may now follow the keys left.
            node_->notify_control_changed(&c, 2, time());
            say("deleted the key of " + name + at, false);
            break;
        case ControlPanel::KeyAction::Kind::clear:
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

void Viewer::key_selected()
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

void Viewer::request_preview()
{
    const Size full = preview_size(nav_.picture(), fb_scale_, image_.width, image_.height);
    if (full.width <= 0 || full.height <= 0) return;
    const bool moving = timeline_.playing() || scrubbing_ || Clock::now() < motion_until_;
    Size size = full;
    if (moving) {
        size.width = std::max(1, int(std::lround(double(full.width) / fast_divisor_)));
        size.height = std::max(1, int(std::lround(double(full.height) / fast_divisor_)));
    }
    const RenderKey key{timeline_.frame(), settings_version_, size.width, size.height,
                        size.width != full.width || size.height != full.height};
    if (key == requested_) return;
    worker_->request_preview(snapshot(), key.frame, key.width, key.height, key.fast);
    requested_ = key;
}

std::string Viewer::showing() const
{
    if (wipe_) return "wipe: input | result";
    return before_ ? "input" : "result";
}

std::string Viewer::status_line() const
{
    char zoom[48];
    std::snprintf(zoom, sizeof zoom, "%s%.0f%%", nav_.fitted() ? "fit " : "", nav_.zoom() * 100.0);
    std::string line = std::string("zoom ") + zoom;

    const ImagePoint p = window_to_image(nav_.picture(), image_.width, image_.height, cursor_x_, cursor_y_);
    const int x = int(std::floor(p.x));
    const int y = int(std::floor(p.y));
    if (cursor_known_ && layout_.picture_area.contains(cursor_x_, cursor_y_) && x >= 0 && y >= 0 && x < image_.width &&
        y < image_.height) {
        line += "   x " + std::to_string(x) + " y " + std::to_string(y);
        // The values of both pictures at that pixel, each at its own size.
        if (shown_source_ && shown_source_->width > 0)
            line += "   in " + sample_text(*shown_source_, int(std::int64_t(x) * shown_source_->width / image_.width),
                                           int(std::int64_t(y) * shown_source_->height / image_.height));
        if (shown_.width > 0)
            line += "   out " + sample_text(shown_, int(std::int64_t(x) * shown_.width / image_.width),
                                            int(std::int64_t(y) * shown_.height / image_.height));
    }
    if (render_ms_ >= 0.0) {
        line += "   |   render " + format_ms(render_ms_) + " ms at " + std::to_string(shown_.width) + "x" +
                std::to_string(shown_.height) + (shown_fast_ ? " (reduced)" : "");
        if (worker_ && worker_->busy()) line += " (rendering)";
    } else {
        line += "   |   rendering";
    }
    return line + "   |   " + message_;
}

void Viewer::draw_picture(int fb_width, int fb_height, double window_width, double window_height)
{
    const Rect& area = layout_.picture_area;
    const Rect& picture = nav_.picture();
    const bool input_only = before_ && !wipe_;
    if ((before_ || wipe_) && shown_source_ && input_uploaded_ != shown_source_.get()) {
        input_texture_->upload(*shown_source_);
        input_uploaded_ = shown_source_.get();
    }
    if (input_only) {
        input_texture_->draw(picture, area, window_width, window_height, fb_width, fb_height);
        return;
    }
    result_texture_->draw(picture, area, window_width, window_height, fb_width, fb_height);
    if (wipe_) {
        // The input left of the pointer, the result right of it.
        const double at = std::clamp(wipe_x_ < 0.0 ? area.x + area.width * 0.5 : wipe_x_, area.x, area.x + area.width);
        input_texture_->draw(picture, Rect{area.x, area.y, at - area.x, area.height}, window_width, window_height,
                             fb_width, fb_height);
        ImGui::GetBackgroundDrawList()->AddLine(ImVec2(float(at), float(area.y)),
                                                ImVec2(float(at), float(area.y + area.height)),
                                                IM_COL32(255, 255, 255, 200), 1.0f);
    }
    draw_node_overlay(*node_, OverlayPlace{picture, area, image_.width, image_.height, window_height, fb_scale_},
                      outline_);
}

void Viewer::frame()
{
    take_results();

    int win_w = 0, win_h = 0, fb_w = 0, fb_h = 0;
    glfwGetWindowSize(window_, &win_w, &win_h);
    glfwGetFramebufferSize(window_, &fb_w, &fb_h);
    fb_scale_ = win_w > 0 ? double(fb_w) / double(win_w) : 1.0;

    ImGui_ImplOpenGL2_NewFrame();
    ImGui_ImplGlfw_NewFrame();
    ImGui::NewFrame();

    // Pointer events use the picture's place as last drawn, which is where
    // the user saw it.
    std::vector<InputEvent> events;
    events.swap(events_);
    for (const InputEvent& e : events) {
        if (e.type == InputEvent::Type::key)
            handle_key(e);
        else
            handle_pointer(e);
    }

    layout_ = split_window(win_w, win_h, time_bar_height(win_w), panel_->height(win_w));
    nav_.place(layout_.picture_area, image_.width, image_.height, image_.pixel_aspect, fb_scale_);

    TimeBarView bar;
    bar.timeline = &timeline_;
    for (const CWidget* c : selected_) {
        for (const ControlKey& k : c->keys()) bar.key_times.push_back(k.time);
        bar.selected += (bar.selected.empty() ? "" : ", ") + trellin_app::setting_label(*c);
    }
    bar.showing = showing();
    bar.status = status_line();
    const TimeBarInput scrub = draw_time_bar(layout_.time_bar, bar);
    if (scrub.go_to && *scrub.go_to != timeline_.index()) {
        if (timeline_.playing()) toggle_play();
        go_to_index(*scrub.go_to);
    }
    scrubbing_ = scrub.scrubbing;

    const ControlPanel::Input input = panel_->draw(layout_.panel, time());
    for (CWidget* changed : input.changed) {
        // A change in the panel reaches the node as a user's change does.
        node_->notify_control_changed(changed, 2, time());
    }
    commit_edits(dragging_ || input.active);
    apply_key_actions(input.key_actions);

    play_tick();
    request_preview();

    ImGui::Render();
    glViewport(0, 0, fb_w, fb_h);
    glClearColor(0.10f, 0.10f, 0.11f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    draw_picture(fb_w, fb_h, win_w, win_h);
    glViewport(0, 0, fb_w, fb_h);
    ImGui_ImplOpenGL2_RenderDrawData(ImGui::GetDrawData());
    glfwSwapBuffers(window_);
    ++frames_;

    if (!options_.state_path.empty()) write_state(win_w, win_h);
}

nlohmann::json rect_json(const Rect& r)
{
    return {{"x", r.x}, {"y", r.y}, {"width", r.width}, {"height", r.height}};
}

void Viewer::write_state(double window_width, double window_height)
{
    using nlohmann::json;
    json state;
    state["window"] = {{"width", window_width}, {"height", window_height}};
    state["picture"] = rect_json(nav_.picture());
    state["picture_area"] = rect_json(layout_.picture_area);
    state["zoom"] = nav_.zoom();
    state["fitted"] = nav_.fitted();
    state["ui_scale"] = ui_scale_;
    state["image"] = {{"width", image_.width}, {"height", image_.height}};
    state["preview"] = {
        {"width", shown_.width}, {"height", shown_.height}, {"frame", shown_frame_}, {"reduced", shown_fast_}};
    state["frame"] = timeline_.frame();
    state["shot"] = {{"first", timeline_.frames().front()},
                     {"last", timeline_.frames().back()},
                     {"count", timeline_.frames().size()}};
    state["playing"] = timeline_.playing();
    state["showing"] = showing();
    state["outline"] = outline_;
    state["frames"] = frames_;
    state["renders"] = renders_;
    state["reduced_renders"] = reduced_renders_;
    state["exports"] = exports_;
    state["cancelled"] = worker_->cancelled();
    state["render_ms"] = render_ms_;
    state["busy"] = worker_->busy();
    state["dragging"] = dragging_;
    state["status"] = message_;
    json selected = json::array();
    for (const CWidget* c : selected_) selected.push_back(c->label());
    state["selected"] = std::move(selected);
    json controls = json::array();
    const std::vector<ControlPanel::Drawn>& drawn = panel_->drawn();
    for (int i = 0; i < node_->num_controls(); ++i) {
        const CWidget* c = node_->control(i);
        if (c == nullptr) continue;
        json keys = json::array();
        for (const ControlKey& k : c->keys()) keys.push_back(k.time);
        json entry = {{"label", c->label()},          {"value", control_value_json(*c)},
                      {"disabled", c->is_disabled()}, {"hidden", c->is_hidden()},
                      {"keys", std::move(keys)},      {"key_here", has_key_at(*c, time())}};
        for (const ControlPanel::Drawn& d : drawn) {
            if (d.control != c || !d.shown) continue;
            entry["rect"] = rect_json(d.rect);
            json texts = json::array();
            for (const ControlPanel::DrawnText& t : d.texts)
                texts.push_back({{"text", t.text}, {"width", t.width}, {"room", t.room}});
            entry["texts"] = std::move(texts);
            if (!d.caption.empty()) entry["caption"] = d.caption;
        }
        controls.push_back(std::move(entry));
    }
    state["controls"] = std::move(controls);
    std::string text = state.dump(1);
    if (text == last_state_) return;
    if (replace_file(options_.state_path, text)) last_state_ = std::move(text);
}

}  // namespace

int run_viewer(const ViewerOptions& options, NodePtr panel_node, NodePtr render_node, std::shared_ptr<const Shot> shot)
{
    Viewer viewer(options, std::move(panel_node), std::move(render_node), std::move(shot));
    return viewer.run();
}

}  // namespace trellin_view
