// What one trellinglass element does, apart from GObject: it keeps the
// property values in a settings node, and renders frames with a node of its
// own.
//
// Properties may be set from any thread at any time (an application, a
// control source on the streaming thread); each call holds the filter's lock
// for as long as it reads or writes the settings node. Before each frame the
// streaming thread takes a snapshot of the settings (the host's saved-settings
// document, values and keys) under the lock when they have changed, and the
// render node loads it: a change takes effect from the next frame, and a
// frame in progress never sees half of one.
#pragma once

#include <gst/video/video.h>

#include <mutex>
#include <set>
#include <string>

#include "apps/common/core/host_picture.h"
#include "apps/common/core/module_loader.h"
#include "apps/gstreamer/effect_module.h"

namespace trellin_gst {

class GlassFilter {
public:
    // `effect` may be null (the module could not be loaded): the properties
    // then do nothing and start() refuses.
    explicit GlassFilter(const Effect* effect);

    void read(const ControlProperty& p, GValue* value) const;
    // Returns why the value was refused; empty when it was stored.
    std::string write(const ControlProperty& p, const GValue* value);

    // Restores every control, values and keys, from a project file (empty or
    // null: nothing is loaded and nothing changes but the name). A file that
    // cannot be used is refused as a whole: the controls keep their values,
    // the returned text says why, and start() refuses until another project
    // is set.
    std::string set_project(const char* path);
    std::string project() const;

    // Restores every control from a named look (look_library.h), then gives
    // back the controls set through properties since the last project, so
    // that explicit properties win whatever their order (as --look then
    // --set). Null: nothing changes but the name. An empty name, or a look
    // that cannot be found or used, is refused as a project is.
    std::string set_look(const char* name);
    std::string look() const;

    // Before streaming: makes the render node. Returns why the element cannot
    // run; empty when it can.
    std::string start();
    void stop();

    // Renders the frame at `time` (a frame number) from `in` into `out` (the
    // same format and size), with pixels of `pixel_aspect`. Returns why it
    // failed; empty when it rendered.
    std::string render(GstVideoFrame& in, GstVideoFrame& out, double time, double pixel_aspect);

private:
    // Brings the render node up to the settings when they changed.
    void take_settings();

    const Effect* effect_;
    mutable std::mutex lock_;
    trellin_app::NodePtr settings_;  // under lock_
    bool changed_ = true;            // under lock_
    std::string project_;            // under lock_
    std::string project_fault_;      // under lock_
    std::string look_;               // under lock_
    std::string look_fault_;         // under lock_
    std::set<int> set_controls_;     // under lock_: controls set through properties since the last project

    // The streaming thread's own.
    trellin_app::NodePtr render_node_;
    trellin_app::HostPicture input_, output_;
};

}  // namespace trellin_gst
