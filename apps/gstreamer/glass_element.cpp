#include "apps/gstreamer/glass_element.h"

#include <gst/video/video.h>

#include <exception>
#include <string>

#include "apps/common/core/environment_check.h"
#include "apps/gstreamer/effect_module.h"
#include "apps/gstreamer/frame_pixels.h"
#include "apps/gstreamer/glass_filter.h"

GST_DEBUG_CATEGORY_STATIC(trellin_glass_debug);
#define GST_CAT_DEFAULT trellin_glass_debug

struct _GstTrellinGlass {
    GstVideoFilter parent;
    trellin_gst::GlassFilter* filter;
    // Frames since the element started: the frame number of a stream that has
    // no frame rate or no timestamps.
    guint64 frames_seen;
    // One frame at the negotiated rate (0 when the rate is unknown); under the object lock.
    GstClockTime frame_duration;
};

G_DEFINE_TYPE(GstTrellinGlass, gst_trellin_glass, GST_TYPE_VIDEO_FILTER)

namespace {

enum { prop_none, prop_project, prop_look, first_control_prop };

// Frames are at most this wide and high.
#define TRELLIN_GST_CAPS                                  \
    "video/x-raw, format = (string) " TRELLIN_GST_FORMATS \
    ", width = (int) [ 1, 16384 ], "                      \
    "height = (int) [ 1, 16384 ], framerate = (fraction) [ 0/1, 2147483647/1 ]"

const trellin_gst::ControlProperty* control_property(guint id)
{
    const trellin_gst::Effect* e = trellin_gst::effect();
    if (e == nullptr || id < first_control_prop || id - first_control_prop >= e->properties.size()) return nullptr;
    return &e->properties[id - first_control_prop];
}

void set_property(GObject* object, guint id, const GValue* value, GParamSpec* pspec)
{
    GstTrellinGlass* self = GST_TRELLIN_GLASS(object);
    std::string fault;
    try {
        if (id == prop_project) {
            fault = self->filter->set_project(g_value_get_string(value));
        } else if (id == prop_look) {
            fault = self->filter->set_look(g_value_get_string(value));
        } else if (const trellin_gst::ControlProperty* p = control_property(id)) {
            fault = self->filter->write(*p, value);
        } else {
            G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
            return;
        }
    } catch (const std::exception& e) {
        fault = e.what();
    }
    if (!fault.empty())
        g_warning("%s: property '%s' not set: %s", GST_OBJECT_NAME(object), g_param_spec_get_name(pspec),
                  fault.c_str());
}

void get_property(GObject* object, guint id, GValue* value, GParamSpec* pspec)
{
    GstTrellinGlass* self = GST_TRELLIN_GLASS(object);
    if (id == prop_project) {
        const std::string path = self->filter->project();
        g_value_set_string(value, path.empty() ? nullptr : path.c_str());
    } else if (id == prop_look) {
        const std::string name = self->filter->look();
        g_value_set_string(value, name.empty() ? nullptr : name.c_str());
    } else if (const trellin_gst::ControlProperty* p = control_property(id)) {
        self->filter->read(*p, value);
    } else {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
    }
}

void finalize(GObject* object)
{
    delete GST_TRELLIN_GLASS(object)->filter;
    G_OBJECT_CLASS(gst_trellin_glass_parent_class)->finalize(object);
}

gboolean start(GstBaseTransform* trans)
{
    GstTrellinGlass* self = GST_TRELLIN_GLASS(trans);
    const std::string fault = self->filter->start();
    if (!fault.empty()) {
        GST_ELEMENT_ERROR(trans, LIBRARY, SETTINGS, ("%s", fault.c_str()), (nullptr));
        return FALSE;
    }
    // The module went on with its defaults: the pipeline runs, told so.
    for (const std::string& f : trellin_app::environment_faults())
        GST_ELEMENT_WARNING(trans, LIBRARY, SETTINGS, ("%s (taken as unset)", f.c_str()), (nullptr));
    self->frames_seen = 0;
    return TRUE;
}

gboolean stop(GstBaseTransform* trans)
{
    GST_TRELLIN_GLASS(trans)->filter->stop();
    return TRUE;
}

// Control sources set the properties for the buffer's stream time, as in
// every GStreamer element; the change reaches this very buffer.
void before_transform(GstBaseTransform* trans, GstBuffer* buffer)
{
    const GstClockTime stream_time =
        gst_segment_to_stream_time(&trans->segment, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer));
    if (GST_CLOCK_TIME_IS_VALID(stream_time)) gst_object_sync_values(GST_OBJECT(trans), stream_time);
}

// The element adds one frame to the latency upstream reports: a live
// pipeline that renders each frame within a frame's time keeps up, and a
// frame that comes later is dropped through QoS.
gboolean query(GstBaseTransform* trans, GstPadDirection direction, GstQuery* q)
{
    const gboolean answered = GST_BASE_TRANSFORM_CLASS(gst_trellin_glass_parent_class)->query(trans, direction, q);
    if (answered && direction == GST_PAD_SRC && GST_QUERY_TYPE(q) == GST_QUERY_LATENCY) {
        gboolean live = FALSE;
        GstClockTime min = 0, max = GST_CLOCK_TIME_NONE;
        gst_query_parse_latency(q, &live, &min, &max);
        GST_OBJECT_LOCK(trans);
        const GstClockTime frame = GST_TRELLIN_GLASS(trans)->frame_duration;
        GST_OBJECT_UNLOCK(trans);
        min += frame;
        if (GST_CLOCK_TIME_IS_VALID(max)) max += frame;
        gst_query_set_latency(q, live, min, max);
    }
    return answered;
}

gboolean set_info(GstVideoFilter* filter, GstCaps*, GstVideoInfo* in_info, GstCaps*, GstVideoInfo* out_info)
{
    if (GST_VIDEO_INFO_FORMAT(in_info) != GST_VIDEO_INFO_FORMAT(out_info) ||
        GST_VIDEO_INFO_WIDTH(in_info) != GST_VIDEO_INFO_WIDTH(out_info) ||
        GST_VIDEO_INFO_HEIGHT(in_info) != GST_VIDEO_INFO_HEIGHT(out_info))
        return FALSE;
    const gint n = GST_VIDEO_INFO_FPS_N(in_info), d = GST_VIDEO_INFO_FPS_D(in_info);
    GST_OBJECT_LOCK(filter);
    GST_TRELLIN_GLASS(filter)->frame_duration = n > 0 && d > 0 ? gst_util_uint64_scale_int(GST_SECOND, d, n) : 0;
    GST_OBJECT_UNLOCK(filter);
    GST_DEBUG_OBJECT(filter, "frames of %dx%d %s", GST_VIDEO_INFO_WIDTH(in_info), GST_VIDEO_INFO_HEIGHT(in_info),
                     GST_VIDEO_INFO_NAME(in_info));
    return TRUE;
}

// The frame number of a buffer: its running time times the frame rate,
// rounded to the nearest frame; the count of frames since the start when the
// stream has no rate or the buffer no time.
guint64 frame_number(GstTrellinGlass* self, GstVideoFrame* frame)
{
    GstBaseTransform* trans = GST_BASE_TRANSFORM(self);
    const GstVideoInfo& info = GST_VIDEO_FILTER(self)->in_info;
    const gint n = GST_VIDEO_INFO_FPS_N(&info), d = GST_VIDEO_INFO_FPS_D(&info);
    const GstClockTime running =
        gst_segment_to_running_time(&trans->segment, GST_FORMAT_TIME, GST_BUFFER_PTS(frame->buffer));
    const guint64 seen = self->frames_seen++;
    if (n <= 0 || d <= 0 || !GST_CLOCK_TIME_IS_VALID(running)) return seen;
    return gst_util_uint64_scale_round(running, guint64(n), GST_SECOND * guint64(d));
}

GstFlowReturn transform_frame(GstVideoFilter* filter, GstVideoFrame* in, GstVideoFrame* out)
{
    GstTrellinGlass* self = GST_TRELLIN_GLASS(filter);
    const double time = static_cast<double>(frame_number(self, in));
    const gint par_n = GST_VIDEO_INFO_PAR_N(&filter->in_info), par_d = GST_VIDEO_INFO_PAR_D(&filter->in_info);
    const double aspect = par_n > 0 && par_d > 0 ? double(par_n) / double(par_d) : 1.0;
    std::string fault;
    try {
        fault = self->filter->render(*in, *out, time, aspect);
    } catch (const std::exception& e) {
        fault = e.what();
    }
    if (!fault.empty()) {
        GST_ELEMENT_ERROR(filter, STREAM, FAILED, ("frame %.0f: %s", time, fault.c_str()), (nullptr));
        return GST_FLOW_ERROR;
    }
    return GST_FLOW_OK;
}

}  // namespace

static void gst_trellin_glass_class_init(GstTrellinGlassClass* klass)
{
    GST_DEBUG_CATEGORY_INIT(trellin_glass_debug, "trellinglass", 0, "Trellin cell glass");
    GObjectClass* object_class = G_OBJECT_CLASS(klass);
    object_class->set_property = set_property;
    object_class->get_property = get_property;
    object_class->finalize = finalize;

    g_object_class_install_property(
        object_class, prop_project,
        g_param_spec_string(
            "project", "Project",
            "A project file (JSON, as trellin --project reads it): every control's value and keys. "
            "Properties set after it change single controls and drop their keys",
            nullptr, static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | GST_PARAM_MUTABLE_PLAYING)));
    g_object_class_install_property(
        object_class, prop_look,
        g_param_spec_string(
            "look", "Look",
            "A named look (trellin looks lists them; any case): every control's value and keys. Properties "
            "given beside it change single controls of it, whatever their order",
            nullptr, static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | GST_PARAM_MUTABLE_PLAYING)));
    if (const trellin_gst::Effect* e = trellin_gst::effect()) {
        for (std::size_t i = 0; i < e->properties.size(); ++i)
            g_object_class_install_property(object_class, guint(first_control_prop + i), e->properties[i].param);
    } else {
        g_warning("trellinglass: %s", trellin_gst::load_error().c_str());
    }

    GstElementClass* element_class = GST_ELEMENT_CLASS(klass);
    gst_element_class_set_static_metadata(
        element_class, "Trellin cell glass", "Filter/Effect/Video",
        "Lays a grid of glass cells over the picture and refracts the picture through them; 16-bit RGBA "
        "(RGBA64_LE) or 8-bit RGB(A), properties that control sources animate, frame = running time x frame rate",
        "Kelvoids");
    for (const GstPadDirection direction : {GST_PAD_SINK, GST_PAD_SRC}) {
        GstCaps* caps = gst_caps_from_string(TRELLIN_GST_CAPS);
        const char* name = direction == GST_PAD_SINK ? "sink" : "src";
        gst_element_class_add_pad_template(element_class, gst_pad_template_new(name, direction, GST_PAD_ALWAYS, caps));
        gst_caps_unref(caps);
    }

    GstBaseTransformClass* trans_class = GST_BASE_TRANSFORM_CLASS(klass);
    trans_class->start = start;
    trans_class->stop = stop;
    trans_class->before_transform = before_transform;
    trans_class->query = query;
    trans_class->passthrough_on_same_caps = FALSE;

    GstVideoFilterClass* filter_class = GST_VIDEO_FILTER_CLASS(klass);
    filter_class->set_info = set_info;
    filter_class->transform_frame = transform_frame;
}

static void gst_trellin_glass_init(GstTrellinGlass* self)
{
    self->filter = new trellin_gst::GlassFilter(trellin_gst::effect());
    self->frames_seen = 0;
    self->frame_duration = 0;
    gst_base_transform_set_qos_enabled(GST_BASE_TRANSFORM(self), TRUE);
}
