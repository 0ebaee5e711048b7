// The node base: its control factory and lookup, and the records a host
// program reads back (overlay requests, invalidated ranges, notifications).
#include <cctype>
#include <cstring>
#include <utility>

#include "host/text_match.h"
#include "host/node_registry.h"
#include "contract/host_api.h"

MediaDescriptor::~MediaDescriptor() = default;

void MediaDescriptor::Destroy()
{
    delete this;
}

RegIO::~RegIO() = default;

FXNode::FXNode()
{
    std::memset(node_uuid, 0, sizeof node_uuid);
}

FXNode::~FXNode()
{
    unregister_node(this);
}

void FXNode::set_name(const char* name)
{
    name_ = name != nullptr ? name : "";
}

// Operations a node does not override: the host's neutral answers.
void FXNode::set_flags(std::uint32_t) {}
const char* FXNode::get_description()
{
    return "";
}
int FXNode::get_input_format(int)
{
    return 0;
}
void FXNode::get_input_count(int& min_inputs, int& max_inputs)
{
    min_inputs = 1;
    max_inputs = 1;
}
void FXNode::set_output_format(int) {}
void FXNode::notify_output_changed()
{
    ++output_changes_;
}
int FXNode::process(double)
{
    return 0;
}
int FXNode::process_image(double, _image_str**, _image_str*)
{
    return 0;
}
bool FXNode::prefetch(double)
{
    return false;
}
bool FXNode::layout_controls(CPanel*)
{
    return false;
}
int FXNode::get_animation_mode()
{
    return 0;
}

bool FXNode::evaluate_controls(double time, bool)
{
    for (auto& c : controls_) c->evaluate_at(time);
    return true;
}

bool FXNode::notify_control_changed(CWidget*, int, double)
{
    ++control_changes_;
    return true;
}

bool FXNode::redraw_pending()
{
    return false;
}
bool FXNode::draw_overlay(void*)
{
    return false;
}
bool FXNode::redraw_background()
{
    return false;
}
bool FXNode::redraw_foreground()
{
    return false;
}
bool FXNode::has_overlay()
{
    return false;
}
bool FXNode::overlay_event(void*, OverlayEventKind, FXMouseEvent*)
{
    return false;
}
bool FXNode::overlay_process(void*)
{
    return false;
}
void FXNode::release_frame_storage() {}

CWidget* FXNode::control(int i) const
{
    if (i < 0 || i >= num_controls()) return nullptr;
    return controls_[static_cast<std::size_t>(i)].get();
}

CWidget* FXNode::find_control(const std::string& label) const
{
    // Full labels first, so that a control whose full label equals another
    // option's short label is still found under its own name.
    for (auto& c : controls_) {
        if (host_detail::same_text_ignoring_case(c->label(), label)) return c.get();
    }
    for (auto& c : controls_) {
        if (c->kind() != ControlKind::option) continue;
        if (host_detail::same_text_ignoring_case(static_cast<const COption&>(*c).short_label(), label)) return c.get();
    }
    return nullptr;
}

void FXNode::set_ovl_update_pending()
{
    ++ovl_updates_;
}

void FXNode::invalidate_range(double from, double to)
{
    invalidated_.emplace_back(from, to);
}

int FXNode::get_input_length(int)
{
    return input_length_;
}

void FXNode::get_output_size(int& width, int& height)
{
    width = output_width_;
    height = output_height_;
}

double FXNode::get_aspect()
{
    return aspect_;
}

void FXNode::set_output_size(int width, int height)
{
    output_width_ = width;
    output_height_ = height;
}

void FXNode::clear_host_records()
{
    ovl_updates_ = 0;
    control_changes_ = 0;
    output_changes_ = 0;
    invalidated_.clear();
}

template <class T>
T* FXNode::adopt(std::unique_ptr<T> control)
{
    T* raw = control.get();
    controls_.push_back(std::move(control));
    return raw;
}

CNumeric* FXNode::Numeric(const char* label, double def, double min, double max, double step, bool flag)
{
    return adopt(std::make_unique<CNumeric>(label != nullptr ? label : "", def, min, max, step, flag));
}

CBoolean* FXNode::Boolean(const char* label, bool def, bool flag)
{
    return adopt(std::make_unique<CBoolean>(label != nullptr ? label : "", def, flag));
}

COption* FXNode::Option(const char* label, const char* items, int def)
{
    return adopt(std::make_unique<COption>(label != nullptr ? label : "", items, def));
}

CColor* FXNode::Color(const char* label, const double* rgba, bool flag)
{
    return adopt(std::make_unique<CColor>(label != nullptr ? label : "", rgba, flag));
}

CLabel* FXNode::Label(const char* text)
{
    return adopt(std::make_unique<CLabel>(text != nullptr ? text : ""));
}
