// libgsttrellin.so: the plug-in and its one element, trellinglass.
#include <gst/gst.h>

#include "apps/gstreamer/glass_element.h"

#ifndef TRELLIN_VERSION
#define TRELLIN_VERSION "0"
#endif
// GStreamer's plug-in descriptor names the package it comes from.
#define PACKAGE "trellin"

namespace {

gboolean plugin_init(GstPlugin* plugin)
{
    return gst_element_register(plugin, "trellinglass", GST_RANK_NONE, GST_TYPE_TRELLIN_GLASS);
}

}  // namespace

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, trellin,
                  "Trellin cell glass: a grid of glass cells that refracts the picture", plugin_init, TRELLIN_VERSION,
                  "unknown", "Trellin", "none")
