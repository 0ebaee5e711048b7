#include "apps/trellin-view/viewer.h"

#define GLFW_INCLUDE_NONE
#include <GL/gl.h>
#include <GLFW/glfw3.h>
#include <backends/imgui_impl_glfw.h>
#include <backends/imgui_impl_opengl2.h>
#include <imgui.h>
#include <imgui_internal.h>  // closing popups from outside them

#include <algorithm>
#include <optional>
#include <chrono>
#include <cmath>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "apps/trellin-view/control_panel.h"
#include "apps/trellin-view/overlay_drawing.h"
#include "apps/trellin-view/panel_layout.h"
#include "apps/trellin-view/picture_texture.h"
#include "apps/trellin-view/render_worker.h"
#include "apps/trellin-view/state_file.h"
#include "apps/trellin-view/time_bar.h"
#include "apps/trellin-view/ui_style.h"
#include "apps/trellin-view/view_session.h"

namespace trellin_view {

namespace {

using trellin_app::HostPicture;
using trellin_app::NodePtr;

// Frames drawn after each input, so that the panel sees a quick click both
// pressed and released.
constexpr int frames_after_input = 3;

// The narrowest window chosen; below the panel's own width it scrolls.
constexpr int min_window_width = 640;

// The window's input as its callbacks report it, handled once per frame.
struct InputEvent {
    enum class Type { press, move, release, scroll, key } type;
    int button = -1;  // press, release; a key's GLFW key
    double x = 0.0;   // the pointer's position
    double y = 0.0;
    double amount = 0.0;  // wheel steps, up positive
    int action = 0;       // a key's GLFW action
    int mods = 0;         // a key's modifiers
};

PointerButton pointer_button(int button)
{
    if (button == GLFW_MOUSE_BUTTON_LEFT) return PointerButton::left;
    if (button == GLFW_MOUSE_BUTTON_MIDDLE) return PointerButton::middle;
    return PointerButton::other;
}

ViewKey view_key(int key)
{
    switch (key) {
    case GLFW_KEY_SPACE:
        return ViewKey::space;
    case GLFW_KEY_RIGHT:
        return ViewKey::right;
    case GLFW_KEY_LEFT:
        return ViewKey::left;
    case GLFW_KEY_HOME:
        return ViewKey::home;
    case GLFW_KEY_END:
        return ViewKey::end;
    case GLFW_KEY_K:
        return ViewKey::k;
    case GLFW_KEY_B:
        return ViewKey::b;
    case GLFW_KEY_W:
        return ViewKey::w;
    case GLFW_KEY_1:
    case GLFW_KEY_KP_1:
        return ViewKey::one;
    case GLFW_KEY_F:
        return ViewKey::f;
    case GLFW_KEY_O:
        return ViewKey::o;
    case GLFW_KEY_S:
        return ViewKey::s;
    case GLFW_KEY_E:
        return ViewKey::e;
    case GLFW_KEY_ESCAPE:
        return ViewKey::escape;
    default:
        return ViewKey::other;
    }
}

KeyEvent key_event(const InputEvent& e)
{
    KeyEvent k;
    k.key = view_key(e.button);
    k.state = e.action == GLFW_PRESS    ? KeyEvent::State::press
              : e.action == GLFW_REPEAT ? KeyEvent::State::repeat
                                        : KeyEvent::State::release;
    k.shift = (e.mods & GLFW_MOD_SHIFT) != 0;
    return k;
}

PointerEvent pointer_event(const InputEvent& e)
{
    PointerEvent p;
    switch (e.type) {
    case InputEvent::Type::press:
        p.type = PointerEvent::Type::press;
        break;
    case InputEvent::Type::release:
        p.type = PointerEvent::Type::release;
        break;
    case InputEvent::Type::scroll:
        p.type = PointerEvent::Type::scroll;
        break;
    default:
        p.type = PointerEvent::Type::move;
        break;
    }
    p.button = pointer_button(e.button);
    p.x = e.x;
    p.y = e.y;
    p.amount = e.amount;
    return p;
}

// The window shell: GLFW's window and events, Dear ImGui's panel and time
// bar, OpenGL drawing. What the input does is the session's (view_session.h).
class Viewer {
public:
    Viewer(const ViewerOptions& options, NodePtr panel_node, NodePtr render_node, std::shared_ptr<const Shot> shot)
        : options_(options),
          panel_node_(std::move(panel_node)),
          render_node_(std::move(render_node)),
          shot_(std::move(shot)),
          image_(*shot_->first().picture)
    {
    }

    int run();

private:
    bool open_window();
    void close_window();
    void choose_window_size();
    void frame();
    void take_results();
    void draw_handle_marks();
    void draw_picture(int fb_width, int fb_height, double window_width, double window_height);
    void draw_wipe_line();
    void write_state(double window_width, double window_height);

    static Viewer& of(GLFWwindow* window) { return *static_cast<Viewer*>(glfwGetWindowUserPointer(window)); }

    ViewerOptions options_;
    NodePtr panel_node_;   // until the session takes it
    NodePtr render_node_;  // until the worker takes it
    std::shared_ptr<const Shot> shot_;
    const HostPicture& image_;  // the first frame: the shot's size and pixel aspect

    GLFWwindow* window_ = nullptr;
    bool imgui_ready_ = false;
    double ui_scale_ = 1.0;
    std::unique_ptr<ControlPanel> panel_;
    std::unique_ptr<PictureTexture> result_texture_;
    std::unique_ptr<PictureTexture> input_texture_;
    std::unique_ptr<RenderWorker> worker_;
    std::unique_ptr<ViewSession> session_;

    // Input as the window's callbacks report it, handled once per frame.
    std::vector<InputEvent> events_;
    // The pointer's position as the window's events last reported it: a
    // button event carries none of its own, and asking the display server
    // would give where the pointer is now, not where it was pressed.
    double cursor_x_ = -1.0;
    double cursor_y_ = -1.0;
    bool cursor_known_ = false;
    int frames_to_draw_ = frames_after_input;
    double fb_scale_ = 1.0;
    const HostPicture* input_uploaded_ = nullptr;
    long frames_ = 0;
    std::string last_state_;
};

int Viewer::run()
{
    if (!open_window()) return 1;

    result_texture_ = std::make_unique<PictureTexture>();
    input_texture_ = std::make_unique<PictureTexture>();
    // The source is shown until the first render arrives.
    result_texture_->upload(*shot_->first().shown);
    std::shared_ptr<const Shot> shot = shot_;
    worker_ = std::make_unique<RenderWorker>(
        std::move(render_node_),
        [shot](long long frame) {
            ShotFrame f = shot->frame(frame);
            // The next frame is read while this one renders.
            if (const std::optional<long long> next = shot->next_frame(frame)) shot->read_ahead(*next);
            return f;
        },
        [] { glfwPostEmptyEvent(); }, shot_->colour());

    SessionOptions session;
    session.project_path = options_.project_path;
    session.export_path = options_.export_path;
    session.image_width = image_.width;
    session.image_height = image_.height;
    session.pixel_aspect = image_.pixel_aspect;
    session.frames = shot_->frames();
    session.fps = options_.fps;
    session.ui_scale = ui_scale_;
    if (const auto& colour = shot_->colour())
        session.render = std::shared_ptr<const trellin_app::RenderOptions>(colour, &colour->options());
    session_ = std::make_unique<ViewSession>(std::move(session), std::move(panel_node_), *worker_);
    session_->set_first_source(shot_->first().shown);
    panel_ = std::make_unique<ControlPanel>(session_->node());
    choose_window_size();
    glfwShowWindow(window_);

    while (!glfwWindowShouldClose(window_)) {
        if (frames_to_draw_ > 0) {
            --frames_to_draw_;
            glfwPollEvents();
        } else {
            glfwWaitEventsTimeout(session_->wait_seconds(ViewClock::now()));
        }
        frame();
    }

    const bool kept = session_->keep_unsaved();
    worker_->drop_previews();
    if (worker_->busy()) std::cout << "trellin-view: finishing the export in progress\n" << std::flush;
    worker_->wait_idle(24 * 3600 * 1000);
    take_results();
    panel_.reset();
    session_.reset();
    worker_.reset();
    close_window();
    return kept ? 0 : 1;
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
    // The window's close button asks as Esc does.
    glfwSetWindowCloseCallback(window_, [](GLFWwindow* win) {
        Viewer& v = of(win);
        v.frames_to_draw_ = frames_after_input;
        if (v.session_ && !v.session_->may_close()) glfwSetWindowShouldClose(win, GLFW_FALSE);
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
    // The panel takes at most its share of the window (it scrolls beyond).
    const auto panel_room = [&](double width) { return std::min(panel_->height(width), max_h * max_panel_share); };
    const double below = panel_room(min_w) + time_bar_height(min_w);
    const double scale = std::min({1.0, max_w / shown_w, std::max(1.0, max_h - below) / shown_h});
    const int w = int(std::clamp(std::ceil(shown_w * scale), min_w, max_w));
    const int h = int(std::min(max_h, std::ceil(shown_h * scale + panel_room(w) + time_bar_height(w))));
    ImGui::EndFrame();
    if (options_.window_width <= 0) glfwSetWindowSize(window_, w, h);
}

void Viewer::take_results()
{
    std::vector<RenderResult> results = worker_->take_results();
    if (results.empty()) return;
    frames_to_draw_ = frames_after_input;
    if (session_->take_results(std::move(results))) result_texture_->upload(session_->shown());
}

void Viewer::draw_picture(int fb_width, int fb_height, double window_width, double window_height)
{
    ViewSession& s = *session_;
    const Rect& area = s.layout().picture_area;
    const Rect& picture = s.navigation().picture();
    const bool input_only = s.shows_input() && !s.wipe();
    const std::shared_ptr<const HostPicture>& source = s.shown_source();
    if ((s.shows_input() || s.wipe()) && source && input_uploaded_ != source.get()) {
        input_texture_->upload(*source);
        input_uploaded_ = source.get();
    }
    if (input_only) {
        input_texture_->draw(picture, area, window_width, window_height, fb_width, fb_height);
        return;
    }
    result_texture_->draw(picture, area, window_width, window_height, fb_width, fb_height);
    if (s.wipe()) {
        // The input left of the dividing line, the result right of it (the
        // line itself is drawn with the interface, over both).
        const double at = s.wipe_at();
        input_texture_->draw(picture, Rect{area.x, area.y, at - area.x, area.height}, window_width, window_height,
                             fb_width, fb_height);
    }
    draw_node_overlay(s.node(), OverlayPlace{picture, area, image_.width, image_.height, window_height, fb_scale_},
                      s.outline());
}

void Viewer::draw_wipe_line()
{
    // A line across the picture with a diamond grip at its middle.
    const ViewSession& s = *session_;
    const Rect& area = s.layout().picture_area;
    const float at = float(s.wipe_at());
    const float grip = float(5.0 * ui_scale_);
    const float mid = float(area.y + area.height * 0.5);
    ImDrawList* list = ImGui::GetBackgroundDrawList();
    list->AddLine(ImVec2(at, float(area.y)), ImVec2(at, float(area.y + area.height)), IM_COL32(255, 255, 255, 220),
                  float(std::max(1.0, 1.5 * ui_scale_)));
    list->AddQuadFilled(ImVec2(at, mid - 2.0f * grip), ImVec2(at + grip, mid), ImVec2(at, mid + 2.0f * grip),
                        ImVec2(at - grip, mid), IM_COL32(255, 255, 255, 230));
}

void Viewer::draw_handle_marks()
{
    // Each handle off the picture: a box on the edge, an arrow from it
    // towards the handle, and its name.
    const ViewSession& s = *session_;
    if (s.shows_input() && !s.wipe()) return;
    ImDrawList* list = ImGui::GetBackgroundDrawList();
    const float box = float(4.0 * ui_scale_);
    const float arrow = float(9.0 * ui_scale_);
    const ImU32 light = IM_COL32(255, 255, 255, 235);
    const ImU32 dark = IM_COL32(5, 5, 8, 190);
    for (const HandleMark& m : s.outside_marks()) {
        const ImVec2 c(float(m.x), float(m.y));
        const ImVec2 d(float(m.towards_x), float(m.towards_y));
        const ImVec2 n(-d.y, d.x);
        // The arrow lies inside the picture, its tip on the box's edge.
        const ImVec2 tip(c.x - d.x * box, c.y - d.y * box);
        const ImVec2 base(tip.x - d.x * arrow, tip.y - d.y * arrow);
        const ImVec2 b1(base.x + n.x * arrow * 0.5f, base.y + n.y * arrow * 0.5f);
        const ImVec2 b2(base.x - n.x * arrow * 0.5f, base.y - n.y * arrow * 0.5f);
        for (const auto& [colour, width] : {std::pair{dark, 3.0f}, std::pair{light, 1.0f}}) {
            const float w = float(width * std::max(1.0, ui_scale_));
            list->AddRect(ImVec2(c.x - box, c.y - box), ImVec2(c.x + box, c.y + box), colour, 0.0f, 0, w);
            list->AddTriangle(tip, b1, b2, colour, w);
        }
        const std::string text = m.label + " (off the picture)";
        const ImVec2 size = ImGui::CalcTextSize(text.c_str());
        // Beside the arrow, on the picture's side, kept inside the area.
        const Rect& area = s.layout().picture_area;
        const float tx = std::clamp(base.x - d.x * size.x * 0.6f - size.x * 0.5f, float(area.x),
                                    float(area.x + area.width) - size.x);
        const float ty = std::clamp(base.y - d.y * size.y * 1.2f - size.y * 0.5f, float(area.y),
                                    float(area.y + area.height) - size.y);
        list->AddRectFilled(ImVec2(tx - 2.0f, ty), ImVec2(tx + size.x + 2.0f, ty + size.y), dark);
        list->AddText(ImVec2(tx, ty), light, text.c_str());
    }
}

void Viewer::frame()
{
    take_results();

    int win_w = 0, win_h = 0, fb_w = 0, fb_h = 0;
    glfwGetWindowSize(window_, &win_w, &win_h);
    glfwGetFramebufferSize(window_, &fb_w, &fb_h);
    fb_scale_ = win_w > 0 ? double(fb_w) / double(win_w) : 1.0;
    ViewSession& s = *session_;
    s.begin_frame(ViewClock::now(), fb_scale_);

    ImGui_ImplOpenGL2_NewFrame();
    ImGui_ImplGlfw_NewFrame();
    ImGui::NewFrame();

    // Pointer events use the picture's place as last drawn, which is where
    // the user saw it.
    std::vector<InputEvent> events;
    events.swap(events_);
    for (const InputEvent& e : events) {
        if (e.type != InputEvent::Type::key) {
            s.pointer(pointer_event(e), ImGui::GetIO().WantCaptureMouse);
            continue;
        }
        if (s.key(key_event(e), ImGui::GetIO().WantCaptureKeyboard) != KeyOutcome::escape) continue;
        // Esc first closes an open drop-down list, colour picker or menu.
        if (ImGui::IsPopupOpen("", ImGuiPopupFlags_AnyPopupId))
            ImGui::ClosePopupsOverWindow(nullptr, false);
        else if (s.may_close())
            glfwSetWindowShouldClose(window_, GLFW_TRUE);
    }

    s.place(split_window(win_w, win_h, time_bar_height(win_w), panel_->height(win_w)));

    TimeBarView bar;
    bar.timeline = &s.timeline();
    BarKeys keys = s.bar_keys();
    bar.key_times = std::move(keys.selected);
    bar.other_key_times = std::move(keys.others);
    bar.selected = std::move(keys.names);
    bar.showing = s.showing();
    bar.status = s.status_line(cursor_x_, cursor_y_, cursor_known_);
    const TimeBarInput scrub = draw_time_bar(s.layout().time_bar, bar);
    s.scrub(scrub.go_to, scrub.scrubbing);
    if (s.wipe()) draw_wipe_line();
    draw_handle_marks();

    const ControlPanel::Input input = panel_->draw(s.layout().panel, s.time());
    s.panel_input(input.changed, input.active, input.key_actions, input.selected);
    s.tick();

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

void Viewer::write_state(double window_width, double window_height)
{
    using nlohmann::json;
    const std::vector<ControlPanel::Drawn>& drawn = panel_->drawn();
    json state = session_->state([&drawn](const CWidget& c, json& entry) {
        for (const ControlPanel::Drawn& d : drawn) {
            if (d.control != &c || !d.shown) continue;
            entry["rect"] = {{"x", d.rect.x}, {"y", d.rect.y}, {"width", d.rect.width}, {"height", d.rect.height}};
            json texts = json::array();
            for (const ControlPanel::DrawnText& t : d.texts)
                texts.push_back({{"text", t.text}, {"width", t.width}, {"room", t.room}});
            entry["texts"] = std::move(texts);
            if (!d.caption.empty()) entry["caption"] = d.caption;
        }
    });
    state["window"] = {{"width", window_width}, {"height", window_height}};
    state["ui_scale"] = ui_scale_;
    state["frames"] = frames_;
    state["cancelled"] = worker_->cancelled();
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
