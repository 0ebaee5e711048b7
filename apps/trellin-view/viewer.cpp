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

#include "apps/common/project_file.h"
#include "apps/trellin-view/control_edit.h"
#include "apps/trellin-view/control_panel.h"
#include "apps/trellin-view/panel_layout.h"
#include "apps/trellin-view/picture_texture.h"
#include "apps/trellin-view/render_worker.h"
#include "apps/trellin-view/state_file.h"
#include "apps/trellin-view/view_geometry.h"
#include "host/regv.h"

namespace trellin_view {

namespace {

using trellin_app::HostPicture;
using trellin_app::NodePtr;
using Clock = std::chrono::steady_clock;

// The frame the viewer shows and edits.
constexpr double shown_time = 0.0;

// Host mouse event kinds of `overlay_event`.
constexpr int event_press = 0;
constexpr int event_move = 1;
constexpr int event_release = 2;

// Frames drawn after each input, so that the panel sees a quick click both
// pressed and released.
constexpr int frames_after_input = 3;

// The narrowest window the panel's 14 columns stay usable in.
constexpr int min_window_width = 1000;

struct PointerEvent {
    enum class Type { press, move, release } type;
    double x;
    double y;
};

std::string format_ms(double ms)
{
    char text[32];
    std::snprintf(text, sizeof text, ms < 100.0 ? "%.1f" : "%.0f", ms);
    return text;
}

class Viewer {
public:
    Viewer(const ViewerOptions& options, NodePtr panel_node, NodePtr render_node,
           std::shared_ptr<const HostPicture> input)
        : options_(options),
          node_(std::move(panel_node)),
          render_node_(std::move(render_node)),
          input_(std::move(input))
    {
    }

    int run();

private:
    bool open_window();
    void close_window();
    void choose_window_size();
    void frame();
    void take_results();
    void handle_pointer(const PointerEvent& e);
    void handle_key(int key);
    void request_preview();
    RegV snapshot();
    void save_project();
    void export_picture();
    void say(const std::string& message, bool also_print = true);
    std::string status_line() const;
    void draw_overlay(int fb_width, int fb_height, double window_height, double fb_scale);
    void write_state(double window_width, double window_height);

    static Viewer& of(GLFWwindow* window) { return *static_cast<Viewer*>(glfwGetWindowUserPointer(window)); }

    ViewerOptions options_;
    NodePtr node_;
    NodePtr render_node_;
    std::shared_ptr<const HostPicture> input_;

    GLFWwindow* window_ = nullptr;
    bool imgui_ready_ = false;
    std::unique_ptr<ControlPanel> panel_;
    std::unique_ptr<PictureTexture> texture_;
    std::unique_ptr<RenderWorker> worker_;

    std::vector<PointerEvent> pointer_events_;
    // The pointer's position as the window's events last reported it: a
    // button event carries none of its own, and asking the display server
    // would give where the pointer is now, not where it was pressed.
    double cursor_x_ = -1.0;
    double cursor_y_ = -1.0;
    bool cursor_known_ = false;
    std::vector<int> keys_;
    int frames_to_draw_ = frames_after_input;

    Rect picture_;
    Size preview_size_;
    Size requested_size_;
    bool dragging_ = false;

    std::string message_;
    double render_ms_ = -1.0;
    Size shown_size_;
    long frames_ = 0;
    long renders_ = 0;
    long exports_ = 0;
    std::string last_state_;
};

int Viewer::run()
{
    if (!open_window()) return 1;

    // The panel node shows the full-size picture: handle and mouse positions
    // are pixels of it, whatever size the preview renders at.
    node_->set_output_size(input_->width, input_->height);
    node_->set_input_length(1);
    node_->set_aspect(input_->pixel_aspect);
    node_->notify_output_changed();
    open_for_editing(*node_, shown_time);

    panel_ = std::make_unique<ControlPanel>(*node_);
    texture_ = std::make_unique<PictureTexture>();
    // The source is shown until the first render arrives.
    texture_->upload(options_.colour ? options_.colour->shown(*input_) : *input_);
    worker_ = std::make_unique<RenderWorker>(std::move(render_node_), input_, [] { glfwPostEmptyEvent(); },
                                             options_.colour);
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
            glfwWaitEventsTimeout(0.5);
        }
        frame();
    }

    if (worker_->busy()) std::cout << "trellin-view: finishing the render in progress\n" << std::flush;
    worker_->wait_idle(24 * 3600 * 1000);
    take_results();
    worker_.reset();
    close_window();
    return 0;
}

bool Viewer::open_window()
{
    glfwSetErrorCallback(
        [](int, const char* text) { std::cerr << "trellin-view: window system: " << text << "\n"; });
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
        v.pointer_events_.push_back({PointerEvent::Type::move, x, y});
        v.cursor_x_ = x;
        v.cursor_y_ = y;
        v.cursor_known_ = true;
        v.frames_to_draw_ = frames_after_input;
    });
    glfwSetMouseButtonCallback(window_, [](GLFWwindow* win, int button, int action, int) {
        Viewer& v = of(win);
        v.frames_to_draw_ = frames_after_input;
        if (button != GLFW_MOUSE_BUTTON_LEFT) return;
        if (!v.cursor_known_) {
            glfwGetCursorPos(win, &v.cursor_x_, &v.cursor_y_);
            v.cursor_known_ = true;
        }
        v.pointer_events_.push_back({action == GLFW_PRESS ? PointerEvent::Type::press : PointerEvent::Type::release,
                                     v.cursor_x_, v.cursor_y_});
    });
    glfwSetKeyCallback(window_, [](GLFWwindow* win, int key, int, int action, int) {
        Viewer& v = of(win);
        v.frames_to_draw_ = frames_after_input;
        if (action == GLFW_PRESS) v.keys_.push_back(key);
    });
    glfwSetWindowRefreshCallback(window_, [](GLFWwindow* win) { of(win).frames_to_draw_ = frames_after_input; });
    glfwSetWindowSizeCallback(window_,
                              [](GLFWwindow* win, int, int) { of(win).frames_to_draw_ = frames_after_input; });

    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGui::GetIO().IniFilename = nullptr;
    ImGui::StyleColorsDark();
    ImGui_ImplGlfw_InitForOpenGL(window_, true);
    ImGui_ImplOpenGL2_Init();
    imgui_ready_ = true;
    return true;
}

void Viewer::close_window()
{
    panel_.reset();
    texture_.reset();  // needs the context
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
    const double panel_h = panel_->height(max_w);
    ImGui::EndFrame();
    if (options_.window_width > 0) return;  // as asked

    // The picture at most at full size, the window no wider or higher than
    // the screen's work area.
    const double shown_w = double(input_->width) * (input_->pixel_aspect > 0.0 ? input_->pixel_aspect : 1.0);
    const double shown_h = double(input_->height);
    const double scale = std::min({1.0, max_w / shown_w, std::max(1.0, max_h - panel_h) / shown_h});
    const int w = int(std::clamp(std::ceil(shown_w * scale), double(std::min<double>(min_window_width, max_w)),
                                 max_w));
    const int h = int(std::ceil(shown_h * scale + panel_h));
    glfwSetWindowSize(window_, w, h);
}

RegV Viewer::snapshot()
{
    RegV reg;
    node_->reg_save(reg);
    return reg;
}

void Viewer::request_preview()
{
    if (preview_size_.width <= 0 || preview_size_.height <= 0) return;
    worker_->request_preview(snapshot(), preview_size_.width, preview_size_.height);
    requested_size_ = preview_size_;
}

void Viewer::say(const std::string& message, bool also_print)
{
    message_ = message;
    if (also_print) std::cout << "trellin-view: " << message << "\n" << std::flush;
}

void Viewer::save_project()
{
    try {
        trellin_app::save_project(*node_, options_.project_path,
                                  options_.colour ? &options_.colour->colour.options() : nullptr);
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
    worker_->request_export(snapshot(), options_.export_path);
    say("exporting the full-size picture to " + options_.export_path + " ...");
}

void Viewer::take_results()
{
    for (RenderResult& r : worker_->take_results()) {
        if (r.kind == JobKind::preview) {
            if (!r.ok) {
                say("render failed: " + r.message);
                continue;
            }
            if (texture_) texture_->upload(r.picture);
            render_ms_ = r.milliseconds;
            shown_size_ = Size{r.picture.width, r.picture.height};
            ++renders_;
        } else if (r.ok) {
            ++exports_;
            say("exported " + r.path + " (" + std::to_string(input_->width) + "x" + std::to_string(input_->height) +
                ", rendered in " + format_ms(r.milliseconds) + " ms)");
        } else {
            say("export to " + r.path + " failed: " + r.message);
        }
        frames_to_draw_ = frames_after_input;
    }
}

void Viewer::handle_pointer(const PointerEvent& e)
{
    const ImagePoint p = window_to_image(picture_, input_->width, input_->height, e.x, e.y);
    FXMouseEvent event;
    event.x = p.x;
    event.y = p.y;
    switch (e.type) {
    case PointerEvent::Type::press:
        if (dragging_ || !picture_.contains(e.x, e.y) || ImGui::GetIO().WantCaptureMouse) return;
        event.button = 1.0f;
        // A press that no handle takes starts no drag: the node hears
        // neither its moves nor its release.
        dragging_ = node_->overlay_event(nullptr, event_press, &event);
        return;
    case PointerEvent::Type::move:
        if (dragging_) {
            event.button = 1.0f;
            node_->overlay_event(nullptr, event_move, &event);
        } else if (picture_.contains(e.x, e.y) && !ImGui::GetIO().WantCaptureMouse) {
            node_->overlay_event(nullptr, event_move, &event);
        }
        return;
    case PointerEvent::Type::release:
        if (!dragging_) return;
        dragging_ = false;
        node_->overlay_event(nullptr, event_release, &event);
        return;
    }
}

void Viewer::handle_key(int key)
{
    if (ImGui::GetIO().WantCaptureKeyboard) return;  // typing into a control
    switch (key) {
    case GLFW_KEY_S: save_project(); break;
    case GLFW_KEY_E: export_picture(); break;
    case GLFW_KEY_ESCAPE:
        // Esc first closes an open drop-down list or colour picker.
        if (ImGui::IsPopupOpen("", ImGuiPopupFlags_AnyPopupId))
            ImGui::ClosePopupsOverWindow(nullptr, false);
        else
            glfwSetWindowShouldClose(window_, GLFW_TRUE);
        break;
    default: break;
    }
}

std::string Viewer::status_line() const
{
    std::string render;
    if (render_ms_ >= 0.0)
        render = "render " + format_ms(render_ms_) + " ms at " + std::to_string(shown_size_.width) + "x" +
                 std::to_string(shown_size_.height);
    else
        render = "rendering";
    if (worker_ && worker_->busy() && render_ms_ >= 0.0) render += " (rendering)";
    return render + "   |   S save   E export   Esc quit   |   " + message_;
}

void Viewer::draw_overlay(int fb_width, int fb_height, double window_height, double fb_scale)
{
    // Image pixels about the picture's centre over the shown picture; the
    // handles give their vertices relative to the centre of the node's
    // output picture (the full-size picture), y downwards.
    const Viewport v = picture_viewport(picture_, window_height, fb_scale);
    if (v.width <= 0 || v.height <= 0) return;
    glViewport(v.x, v.y, v.width, v.height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    const double w = input_->width;
    const double h = input_->height;
    glOrtho(-w / 2.0, w / 2.0, h / 2.0, -h / 2.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_TEXTURE_2D);
    glLineWidth(1.0f);
    node_->draw_overlay(nullptr);
    glViewport(0, 0, fb_width, fb_height);
}

void Viewer::frame()
{
    take_results();

    int win_w = 0, win_h = 0, fb_w = 0, fb_h = 0;
    glfwGetWindowSize(window_, &win_w, &win_h);
    glfwGetFramebufferSize(window_, &fb_w, &fb_h);
    const double fb_scale = win_w > 0 ? double(fb_w) / double(win_w) : 1.0;

    ImGui_ImplOpenGL2_NewFrame();
    ImGui_ImplGlfw_NewFrame();
    ImGui::NewFrame();

    // Pointer events use the picture's place as last drawn, which is where
    // the user saw it.
    std::vector<PointerEvent> events;
    events.swap(pointer_events_);
    for (const PointerEvent& e : events) handle_pointer(e);
    std::vector<int> keys;
    keys.swap(keys_);
    for (int key : keys) handle_key(key);

    const WindowLayout layout = split_window(win_w, win_h, panel_->height(win_w));
    picture_ = fit_picture(layout.picture_area, input_->width, input_->height, input_->pixel_aspect);
    preview_size_ = preview_size(picture_, fb_scale, input_->width, input_->height);

    for (CWidget* changed : panel_->draw(layout.panel, status_line())) {
        // A change in the panel reaches the node as a user's change does.
        node_->notify_control_changed(changed, 2, shown_time);
    }

    // The node asks for a new render by invalidating its cached frames: after
    // a panel change and after every handle release.
    const bool invalidated = !node_->invalidated_ranges().empty();
    node_->clear_host_records();
    if (invalidated) key_edits_at(*node_, shown_time);
    // A new size (the window changed) needs a new preview too.
    const bool resized =
        preview_size_.width != requested_size_.width || preview_size_.height != requested_size_.height;
    if (invalidated || resized) request_preview();

    ImGui::Render();
    glViewport(0, 0, fb_w, fb_h);
    glClearColor(0.10f, 0.10f, 0.11f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    texture_->draw(picture_, win_w, win_h, fb_w, fb_h);
    draw_overlay(fb_w, fb_h, win_h, fb_scale);
    ImGui_ImplOpenGL2_RenderDrawData(ImGui::GetDrawData());
    glfwSwapBuffers(window_);
    ++frames_;

    if (!options_.state_path.empty()) write_state(win_w, win_h);
}

void Viewer::write_state(double window_width, double window_height)
{
    using nlohmann::json;
    json state;
    state["window"] = {{"width", window_width}, {"height", window_height}};
    state["picture"] = {{"x", picture_.x}, {"y", picture_.y}, {"width", picture_.width}, {"height", picture_.height}};
    state["image"] = {{"width", input_->width}, {"height", input_->height}};
    state["preview"] = {{"width", shown_size_.width}, {"height", shown_size_.height}};
    state["frames"] = frames_;
    state["renders"] = renders_;
    state["exports"] = exports_;
    state["render_ms"] = render_ms_;
    state["busy"] = worker_->busy();
    state["dragging"] = dragging_;
    state["status"] = message_;
    json controls = json::array();
    const std::vector<ControlPanel::Drawn>& drawn = panel_->drawn();
    for (int i = 0; i < node_->num_controls(); ++i) {
        const CWidget* c = node_->control(i);
        if (c == nullptr) continue;
        json entry = {{"label", c->label()},
                      {"value", control_value_json(*c)},
                      {"disabled", c->is_disabled()},
                      {"hidden", c->is_hidden()}};
        for (const ControlPanel::Drawn& d : drawn) {
            if (d.control != c || !d.shown) continue;
            entry["rect"] = {{"x", d.rect.x}, {"y", d.rect.y}, {"width", d.rect.width}, {"height", d.rect.height}};
        }
        controls.push_back(std::move(entry));
    }
    state["controls"] = std::move(controls);
    std::string text = state.dump(1);
    if (text == last_state_) return;
    if (replace_file(options_.state_path, text)) last_state_ = std::move(text);
}

}  // namespace

int run_viewer(const ViewerOptions& options, NodePtr panel_node, NodePtr render_node,
               std::shared_ptr<const HostPicture> input)
{
    Viewer viewer(options, std::move(panel_node), std::move(render_node), std::move(input));
    return viewer.run();
}

}  // namespace trellin_view
