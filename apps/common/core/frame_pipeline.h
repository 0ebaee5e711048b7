// A run of frames read, rendered through one node and written, in order, with
// the files handled beside the render: while the node renders frame k (on
// every processor), frame k + 1 is read and frame k - 1 written. Results are
// taken in frame order, so a fault stops the run exactly where it would
// without the overlap: the frames before it are written, the ones after it
// are not, and the fault of an earlier frame is the one reported.
//
// The stages say where frames come from and go to (picture files, piped raw
// frames); each may throw, and what it throws leaves run_pipeline as it is.
#pragma once

#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "apps/common/core/clip_count.h"
#include "apps/common/core/hdr_split.h"
#include "apps/common/core/host_picture.h"
#include "apps/common/core/node_frame.h"
#include "apps/common/core/write_report.h"
#include "contract/host_api.h"

namespace trellin_app {

struct PipelineFrame {
    long long number = 0;  // the node renders it at time = number
    std::string input;     // where it is read from and written to, as the stages name them
    std::string output;
};

// What writing a frame reports.
struct FrameWritten {
    WriteReport report;
    ClipCount clipped;  // samples the output's form clipped
    // The result's picture once written, handed back so that a later frame
    // renders into its storage (optional: empty when the stage kept it).
    HostPicture spare;
};

struct PipelineStages {
    // The next frame of the run; none at its end. Called on the calling
    // thread, in order, before the frame is read. Unset: frames 0, 1, 2, ...
    // until `read` gives none.
    std::function<std::optional<PipelineFrame>()> next;
    // Reads a frame into the form the node renders, on a thread of its own;
    // none ends the run (a stream that ended).
    std::function<std::optional<NodeFrame>(const PipelineFrame&)> read;
    // Told of each frame read, on the calling thread, before it renders.
    std::function<void(const PipelineFrame&, const NodeFrame&)> on_read;
    // Writes the node's result for a frame (whose picture has been let go),
    // with the rendered parts of the frame outside 0..1 (empty when it has
    // none), on a thread of its own.
    std::function<FrameWritten(const PipelineFrame&, HostPicture result, const NodeFrame& frame,
                               const SplitParts& parts)>
        write;
    // Told of each frame written, on the calling thread, in order.
    std::function<void(const PipelineFrame&, const FrameWritten&)> on_written;
    // Takes back a rendered frame's input picture, whose storage a later
    // read may fill (on the calling thread). Unset: it is let go.
    std::function<void(HostPicture)> reuse_input;
};

// Storage handed back by one stage for another to fill again (a rendered
// frame's input picture, float samples taken in), from any thread. take()
// gives an empty T when none is kept. A run has at most two frames' storage
// on its way back at once, so no more are kept: storage given back that no
// stage takes again (a still read once and copied) is let go rather than
// held to the run's end.
template <class T>
class Spares {
public:
    static constexpr std::size_t most = 2;

    void give(T storage)
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (kept_.size() < most) kept_.push_back(std::move(storage));
    }
    T take()
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (kept_.empty()) return T();
        T storage = std::move(kept_.back());
        kept_.pop_back();
        return storage;
    }

private:
    std::mutex lock_;
    std::vector<T> kept_;
};
using SparePictures = Spares<HostPicture>;

// The node refused a frame (the frames before it are written).
class FrameRefused : public std::runtime_error {
public:
    explicit FrameRefused(PipelineFrame frame);
    PipelineFrame frame;
};

// Runs the frames of `stages` through `node`, each rendered at `width` x
// `height` (0: the input's size). Returns the number of frames written.
long long run_pipeline(FXNode& node, const PipelineStages& stages, int width = 0, int height = 0);

}  // namespace trellin_app
