// trellinglass, the GStreamer element: a GstVideoFilter that renders every
// frame through a node of the effect. GObject's side of it (type, properties,
// the base classes' calls); the work is GlassFilter's.
#pragma once

#include <gst/video/gstvideofilter.h>

G_BEGIN_DECLS

#define GST_TYPE_TRELLIN_GLASS (gst_trellin_glass_get_type())
G_DECLARE_FINAL_TYPE(GstTrellinGlass, gst_trellin_glass, GST, TRELLIN_GLASS, GstVideoFilter)

G_END_DECLS
