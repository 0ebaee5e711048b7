#include "apps/ofx/overlay_interact.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <vector>

#include "apps/ofx/effect_instance.h"
#include "apps/ofx/host_suites.h"

namespace trellin_ofx {

namespace {

constexpr OverlayEventKind event_press = OverlayEventKind::press;
constexpr OverlayEventKind event_move = OverlayEventKind::move;
constexpr OverlayEventKind event_release = OverlayEventKind::release;

// What one interact keeps between pen events: the drag under way.
struct OverlayState {
    bool dragging = false;
    bool edit_open = false;
    trellin_app::SettingsSnapshot last;  // the overlay node's settings the host's parameters hold
};

OfxPropertySetHandle interact_props(const void* handle)
{
    OfxPropertySetHandle props = nullptr;
    const HostSuites& h = host_suites();
    if (h.interact == nullptr || h.interact->interactGetPropertySet(
                                     static_cast<OfxInteractHandle>(const_cast<void*>(handle)), &props) != kOfxStatOK)
        return nullptr;
    return props;
}

EffectInstance* instance_of(OfxPropertySetHandle in_args, OfxPropertySetHandle interact)
{
    void* effect = get_pointer(in_args, kOfxPropEffectInstance);
    if (effect == nullptr) effect = get_pointer(interact, kOfxPropEffectInstance);
    if (effect == nullptr) return nullptr;
    OfxPropertySetHandle props = nullptr;
    if (host_suites().effect->getPropertySet(static_cast<OfxImageEffectHandle>(effect), &props) != kOfxStatOK)
        return nullptr;
    return static_cast<EffectInstance*>(get_pointer(props, kOfxPropInstanceData));
}

// The picture the handles measure: the source's region of definition at the
// full resolution, in canonical coordinates, and the size the node is told it
// has. The node draws its handles and tests its hits in pixels of that size,
// so the picture is told at the size it shows on the screen (the interact's
// pixel scale: canonical units per screen pixel): the handles keep their
// size in screen pixels at any zoom of the host's viewer, while their places
// stay fractions of the picture. `scale_x` and `scale_y` are canonical units
// per node pixel.
struct Place {
    OfxRectD region{0.0, 0.0, 0.0, 0.0};
    double aspect = 1.0;
    int width = 0;
    int height = 0;
    double scale_x = 1.0;
    double scale_y = 1.0;
};

// Tells the node the picture is `width` x `height` pixels.
void size_place(Place& place, int width, int height)
{
    place.width = width;
    place.height = height;
    place.scale_x = (place.region.x2 - place.region.x1) / width;
    place.scale_y = (place.region.y2 - place.region.y1) / height;
}

bool place_of(EffectInstance& instance, OfxTime time, OfxPropertySetHandle in_args, Place& place)
{
    if (!instance.source_region(time, place.region)) return false;
    place.aspect = instance.source_pixel_aspect();
    const double w = (place.region.x2 - place.region.x1) / place.aspect;
    const double h = place.region.y2 - place.region.y1;
    if (!(w >= 1.0 && h >= 1.0 && w < 1e6 && h < 1e6)) return false;
    // Screen pixels per source pixel, within the range a viewer zooms over.
    double pixel = get_double(in_args, kOfxInteractPropPixelScale, 1, 1.0);
    if (!(pixel >= 1.0 / 64.0 && pixel <= 64.0)) pixel = 1.0;
    size_place(place, std::max(1, static_cast<int>(w / pixel + 0.5)), std::max(1, static_cast<int>(h / pixel + 0.5)));
    return true;
}

OfxStatus draw(EffectInstance& instance, OfxPropertySetHandle in_args, const OverlayState& state)
{
    const OfxTime time = get_double(in_args, kOfxPropTime);
    Place place;
    if (!place_of(instance, time, in_args, place)) return kOfxStatReplyDefault;
    std::lock_guard<std::mutex> lock(instance.overlay_lock());
    FXNode& node = instance.overlay_node(time, place.width, place.height, place.aspect, !state.dragging);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    // Node pixels about the picture's centre, y down, onto canonical
    // coordinates, y up.
    glTranslated((place.region.x1 + place.region.x2) / 2.0, (place.region.y1 + place.region.y2) / 2.0, 0.0);
    glScaled(place.scale_x, -place.scale_y, 1.0);
    // The node tells nothing by its result: it always draws its handles.
    node.draw_overlay(nullptr);
    glPopMatrix();
    return kOfxStatOK;
}

OfxStatus pen(EffectInstance& instance, OfxPropertySetHandle in_args, OverlayState& state, const void* handle,
              OverlayEventKind kind)
{
    const OfxTime time = get_double(in_args, kOfxPropTime);
    Place place;
    if (!place_of(instance, time, in_args, place)) return kOfxStatReplyDefault;
    const double x = get_double(in_args, kOfxInteractPropPenPosition, 0);
    const double y = get_double(in_args, kOfxInteractPropPenPosition, 1);

    std::lock_guard<std::mutex> lock(instance.overlay_lock());
    if (kind != event_press && !state.dragging) return kOfxStatReplyDefault;
    // The node tests a press against its handles as it last drew them, and a
    // drag moves them in the pixels of that draw: the pen is put in those
    // pixels, whatever the zoom of the viewer it comes from (a host may zoom,
    // or show the picture in a second viewer, between a draw and a press).
    if (int drawn_width = 0, drawn_height = 0; instance.overlay_size(drawn_width, drawn_height))
        size_place(place, drawn_width, drawn_height);
    FXNode& node = instance.overlay_node(time, place.width, place.height, place.aspect, kind == event_press);
    if (kind == event_press) state.last = instance.overlay_settings();

    FXMouseEvent event;
    event.x = static_cast<float>((x - place.region.x1) / place.scale_x);
    event.y = static_cast<float>((place.region.y2 - y) / place.scale_y);
    event.button = kind == event_release ? 0.0f : 1.0f;
    const bool taken = node.overlay_event(nullptr, kind, &event);

    if (kind == event_press) state.dragging = taken;
    if (state.dragging || kind == event_release) instance.write_changed(time, state.last, state.edit_open);
    if (kind == event_release) {
        instance.end_edit(state.edit_open);
        state.dragging = false;
    }
    if (host_suites().interact != nullptr)
        host_suites().interact->interactRedraw(static_cast<OfxInteractHandle>(const_cast<void*>(handle)));
    return taken || kind != event_press ? kOfxStatOK : kOfxStatReplyDefault;
}

}  // namespace

OfxStatus overlay_main(const char* action, const void* handle, OfxPropertySetHandle in_args,
                       OfxPropertySetHandle /*out_args*/)
{
    try {
        if (action == nullptr) return kOfxStatReplyDefault;
        if (std::strcmp(action, kOfxActionDescribe) == 0) return kOfxStatOK;
        OfxPropertySetHandle props = interact_props(handle);
        if (std::strcmp(action, kOfxActionCreateInstance) == 0) {
            if (props == nullptr) return kOfxStatFailed;
            host_suites().props->propSetPointer(props, kOfxPropInstanceData, 0, new OverlayState);
            return kOfxStatOK;
        }
        auto* state = static_cast<OverlayState*>(get_pointer(props, kOfxPropInstanceData));
        if (std::strcmp(action, kOfxActionDestroyInstance) == 0) {
            delete state;
            if (props != nullptr) host_suites().props->propSetPointer(props, kOfxPropInstanceData, 0, nullptr);
            return kOfxStatOK;
        }
        EffectInstance* instance = instance_of(in_args, props);
        if (instance == nullptr || state == nullptr) return kOfxStatReplyDefault;
        if (std::strcmp(action, kOfxInteractActionDraw) == 0) return draw(*instance, in_args, *state);
        if (std::strcmp(action, kOfxInteractActionPenDown) == 0)
            return pen(*instance, in_args, *state, handle, event_press);
        if (std::strcmp(action, kOfxInteractActionPenMotion) == 0)
            return pen(*instance, in_args, *state, handle, event_move);
        if (std::strcmp(action, kOfxInteractActionPenUp) == 0)
            return pen(*instance, in_args, *state, handle, event_release);
        return kOfxStatReplyDefault;
    } catch (...) {
        // Nothing crosses into the host: a fault in an interact draws nothing.
        return kOfxStatFailed;
    }
}

}  // namespace trellin_ofx
