// The host services the node is written against: the node base class and its
// save/load side, the host controls, the image record, the control panel and
// mouse-event records, and the free functions of the services and core
// libraries (registration, aspect correction, antialiasing, multiprocessing,
// warnings).
//
// This is the one place where the module learns what the host offers. The
// stand-in host library (host/) implements it; host programs use the same
// declarations plus the host-side extras declared under host/.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// What the host library exports (and, on Windows, what its users import).
#if defined(_WIN32) && defined(TRELLIN_HOST_LIBRARY)
#define HOST_API __declspec(dllexport)
#elif defined(_WIN32)
#define HOST_API __declspec(dllimport)
#else
#define HOST_API __attribute__((visibility("default")))
#endif

class RegV;
class FXNode;

// ---------------------------------------------------------------------------
// Image record
// ---------------------------------------------------------------------------

// Set in `flags` when the rows are stored bottom row first.
constexpr std::uint8_t IMAGE_BOTTOM_UP = 8;

// A host image: interleaved 16-bit samples at full range (0..65535), `samples`
// per pixel (3: colour, 4: colour and alpha), rows packed one after another.
struct HOST_API _image_str {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t samples = 4;
    std::uint8_t flags = 0;
    std::uint16_t* data = nullptr;
};

// ---------------------------------------------------------------------------
// Controls
// ---------------------------------------------------------------------------

enum class ControlKind { numeric, boolean, option, color, label };

// One keyframe: a time and up to four values (numeric: value; boolean: 0/1;
// option: item index; colour: r, g, b, a).
struct ControlKey {
    double time = 0.0;
    double v[4] = {0.0, 0.0, 0.0, 0.0};
};

// Base of every host control. The host owns its controls; a node creates them
// through its factory operations and keeps plain pointers.
class HOST_API CWidget {
public:
    CWidget(ControlKind kind, std::string label);
    virtual ~CWidget();
    CWidget(const CWidget&) = delete;
    CWidget& operator=(const CWidget&) = delete;

    ControlKind kind() const { return kind_; }
    const std::string& label() const { return label_; }

    void hide();
    void show();
    bool is_hidden() const { return hidden_; }
    void disable();
    void enable();
    bool is_disabled() const { return disabled_; }

    // Keeps the control off the control panel (the panel skips it).
    bool panel_excluded = false;

    // Animation. Keys are kept sorted by time; a key at an existing time
    // replaces it. Numeric and colour controls interpolate linearly between
    // keys, booleans and options hold the earlier key; before the first key
    // and after the last the control holds that key's value.
    void set_key(const ControlKey& key);
    void clear_keys();
    const std::vector<ControlKey>& keys() const { return keys_; }
    // Sets the value to the one at `time`; does nothing without keys or when
    // `time` is -1.0 ("now").
    void evaluate_at(double time);

    // Number of values the control carries (0 for a label).
    virtual int value_count() const = 0;
    virtual void get_values(double* out) const = 0;
    // Stores values as they are (no range check; see the kinds).
    virtual void set_values(const double* in) = 0;
    virtual bool interpolates() const = 0;

private:
    ControlKind kind_;
    std::string label_;
    bool hidden_ = false;
    bool disabled_ = false;
    std::vector<ControlKey> keys_;
};

class HOST_API CNumeric : public CWidget {
public:
    CNumeric(std::string label, double def, double min, double max, double step, bool flag);

    double value;
    const double default_value;
    const double minimum;
    const double maximum;
    const double step;
    const bool flag;

    // The host's float assignment: the value is clamped into the range.
    CNumeric& operator=(float v);
    bool in_range(double v) const { return v >= minimum && v <= maximum; }

    int value_count() const override { return 1; }
    void get_values(double* out) const override { out[0] = value; }
    void set_values(const double* in) override { value = in[0]; }
    bool interpolates() const override { return true; }
};

class HOST_API CBoolean : public CWidget {
public:
    CBoolean(std::string label, bool def, bool flag);

    bool state;
    const bool default_state;
    const bool flag;

    int value_count() const override { return 1; }
    void get_values(double* out) const override { out[0] = state ? 1.0 : 0.0; }
    void set_values(const double* in) override { state = in[0] != 0.0; }
    bool interpolates() const override { return false; }
};

class HOST_API COption : public CWidget {
public:
    // `items` is comma-separated, as the node passes it.
    COption(std::string label, const char* items, int def);

    int index;
    const int default_index;
    const std::vector<std::string>& items() const { return items_; }
    // The label up to its format marker: "Edge: %s" gives "Edge".
    std::string short_label() const;

    int value_count() const override { return 1; }
    void get_values(double* out) const override { out[0] = index; }
    void set_values(const double* in) override;
    bool interpolates() const override { return false; }

private:
    std::vector<std::string> items_;
};

class HOST_API CColor : public CWidget {
public:
    CColor(std::string label, const double* rgba, bool flag);

    double rgba[4];
    double default_rgba[4];
    const bool flag;

    void get_value(double& r, double& g, double& b, double& a) const;

    int value_count() const override { return 4; }
    void get_values(double* out) const override;
    void set_values(const double* in) override;
    bool interpolates() const override { return true; }
};

class HOST_API CLabel : public CWidget {
public:
    explicit CLabel(std::string text);

    int value_count() const override { return 0; }
    void get_values(double*) const override {}
    void set_values(const double*) override {}
    bool interpolates() const override { return false; }
};

// ---------------------------------------------------------------------------
// Control panel and mouse events
// ---------------------------------------------------------------------------

// The panel a node lays its controls out on. The host panel records every
// placement so that a viewer can draw the grid.
class HOST_API CPanel {
public:
    struct Placement {
        CWidget* control;
        int column;
        int row;
        int span_a;
        int span_b;
    };
    virtual ~CPanel();
    virtual void place_widget(CWidget* control, int column, int row, int a, int b);
    const std::vector<Placement>& placements() const { return placements_; }
    void clear() { placements_.clear(); }

private:
    std::vector<Placement> placements_;
};

// Mouse event as the viewer hands it to a node: pointer position in image
// pixels and the button pressure (above 0 while a button is held).
struct FXMouseEvent {
    float x = 0.0f;
    float y = 0.0f;
    std::int32_t modifiers = 0;
    float button = 0.0f;
};

// Why a host tells a node that a control changed (FXNode's
// notify_control_changed `reason`). Only a finished change makes the frames
// rendered so far stale; any other value is taken as a change under way.
namespace change_reason {
inline constexpr int under_way = 0;  // the user is still moving the value (a slider's drag)
inline constexpr int finished = 2;   // the value is set: a handle released, a field entered
}  // namespace change_reason

// What the pointer did, as the viewer tells a node's overlay_event. A node
// treats any other value as a move without a button.
enum class OverlayEventKind : std::int32_t {
    press = 0,    // a button went down
    move = 1,     // the pointer moved; FXMouseEvent::button is above 0 while a button is held
    release = 2,  // the button came up
};

// ---------------------------------------------------------------------------
// Node base
// ---------------------------------------------------------------------------

class HOST_API MediaDescriptor {
public:
    virtual ~MediaDescriptor();
    // Destroys the object through its most derived destructor.
    virtual void Destroy();
};

class HOST_API RegIO {
public:
    virtual ~RegIO();
    virtual bool reg_load(const RegV& reg) = 0;
    virtual bool reg_save(RegV& reg) = 0;
};

class HOST_API FXNode : public MediaDescriptor, public RegIO {
public:
    FXNode();
    ~FXNode() override;
    FXNode(const FXNode&) = delete;
    FXNode& operator=(const FXNode&) = delete;

    // The node-UUID text field the node fills in.
    char node_uuid[48];

    void set_name(const char* name);
    const std::string& name() const { return name_; }

    // Virtual operations, in the host's slot order.
    virtual void set_flags(std::uint32_t flags);
    virtual const char* get_description();
    virtual int get_input_format(int input);
    virtual void get_input_count(int& min_inputs, int& max_inputs);
    virtual void set_output_format(int format);
    virtual void notify_output_changed();
    virtual int process(double time);
    virtual int process_image(double time, _image_str** inputs, _image_str* output);
    virtual bool prefetch(double time);
    virtual bool layout_controls(CPanel* panel);
    virtual int get_animation_mode();
    virtual bool evaluate_controls(double time, bool flag);
    virtual bool notify_control_changed(CWidget* widget, int reason, double time);
    virtual bool redraw_pending();
    virtual bool draw_overlay(void* host);
    virtual bool redraw_background();
    virtual bool redraw_foreground();
    virtual bool has_overlay();
    virtual bool overlay_event(void* host, OverlayEventKind kind, FXMouseEvent* event);
    virtual bool overlay_process(void* host);
    // Asks the node to give back the memory it keeps from one frame to the
    // next; the next frame allocates it again.
    virtual void release_frame_storage();

    // Save and restore of the control values (and keys), by label.
    bool reg_load(const RegV& reg) override;
    bool reg_save(RegV& reg) override;
    bool save_controls(RegV& reg);
    bool load_controls(const RegV& reg);

    // Controls created so far, in creation order.
    int num_controls() const { return static_cast<int>(controls_.size()); }
    CWidget* control(int i) const;
    // Case-insensitive lookup by label; an option also answers to its short
    // label ("Edge" for "Edge: %s"). Null when there is none.
    CWidget* find_control(const std::string& label) const;

    void set_ovl_update_pending();
    void invalidate_range(double from, double to);

    int get_input_length(int input);
    void get_output_size(int& width, int& height);
    double get_aspect();

    // Cancelling the frame in progress. A host program that no longer wants
    // the frame a node is processing on another thread calls request_abort;
    // the node polls abort_pending while it renders, stops early, and its
    // process_image then returns 0: the output is not the frame (it keeps what
    // it held, or holds the rows written before the render stopped). The request
    // stands, and refuses every frame, until clear_abort. Safe to call from
    // any thread.
    void request_abort() { abort_.store(true, std::memory_order_relaxed); }
    void clear_abort() { abort_.store(false, std::memory_order_relaxed); }
    bool abort_pending() const { return abort_.load(std::memory_order_relaxed); }

    // What a host program sets before asking for a frame.
    void set_input_length(int frames) { input_length_ = frames; }
    void set_output_size(int width, int height);
    void set_aspect(double aspect) { aspect_ = aspect; }

    // What a host program reads back.
    int ovl_update_requests() const { return ovl_updates_; }
    const std::vector<std::pair<double, double>>& invalidated_ranges() const { return invalidated_; }
    int control_change_count() const { return control_changes_; }
    int output_change_count() const { return output_changes_; }
    void clear_host_records();

protected:
    CNumeric* Numeric(const char* label, double def, double min, double max, double step, bool flag);
    CBoolean* Boolean(const char* label, bool def, bool flag);
    COption* Option(const char* label, const char* items, int def);
    CColor* Color(const char* label, const double* rgba, bool flag);
    CLabel* Label(const char* text);

private:
    template <class T>
    T* adopt(std::unique_ptr<T> control);

    std::string name_;
    std::vector<std::unique_ptr<CWidget>> controls_;
    int ovl_updates_ = 0;
    int control_changes_ = 0;
    int output_changes_ = 0;
    std::vector<std::pair<double, double>> invalidated_;
    int input_length_ = 1;
    int output_width_ = 0;
    int output_height_ = 0;
    double aspect_ = 1.0;
    std::atomic<bool> abort_{false};
};

// ---------------------------------------------------------------------------
// Free functions of the services library
// ---------------------------------------------------------------------------

// Registers a newly created node with the host. Always succeeds here.
HOST_API bool FXNode_register(const FXNode* node);
// The pixel aspect a picture of this size is shown with.
HOST_API double aspect_correction(double aspect, int width, int height);
// Turns line antialiasing (smoothing with blending) on (1) or off (0) in the
// current OpenGL context.
HOST_API void gl_antialiasing(int on);

// ---------------------------------------------------------------------------
// Core library: multiprocessing and warnings
// ---------------------------------------------------------------------------

// Number of processors `smp_exec` runs on.
HOST_API int smp_numprocs();
// Calls `fn(arg)` once on each processor, concurrently, and returns when every
// call has returned. Inside such a call `smp_id` gives the processor number.
using smp_func = void (*)(void* arg);
HOST_API void smp_exec(smp_func fn, void* arg);
// The processor number (0 .. smp_numprocs() - 1) of the calling `smp_exec`
// call; 0 outside one.
HOST_API int smp_id();

// Shows a warning text to the user.
HOST_API void msgwarn(const char* text);

// ---------------------------------------------------------------------------
// Module entry points (what a node module exports)
// ---------------------------------------------------------------------------

extern "C" {
using FXNodeInfoFn = const char* (*)(char* uuid_out);
using FXNodeCreateFn = FXNode* (*)();
using FXNodeLoadFn = FXNode* (*)(const RegV& reg);
}
