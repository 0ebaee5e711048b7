// Where a run's frames come from and where the node's results go: a still
// picture, a numbered sequence, a video file, raw piped frames or frames held
// in memory. render_frames (frame_run.h) runs a node from one into the other.
//
// A source reads one frame at a time on a thread of its own while the node
// renders the one before; a sink writes one frame at a time on a thread of
// its own while the node renders the one after. Both may throw: a Failure
// (failure.h) carries its exit code, and whatever they throw ends the run
// where it stands (the frames before it are written, none after it).
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "apps/common/core/frame_pipeline.h"
#include "apps/common/core/node_frame.h"

namespace trellin_app {

class FrameSource {
public:
    virtual ~FrameSource() = default;

    // How messages name where frame `number` comes from: a file, or
    // "frame N" for a stream.
    virtual std::string frame_name(long long number) const = 0;

    // Frame `number`, in the form the node renders; none when the source
    // has ended (a stream that ended between frames).
    virtual std::optional<NodeFrame> read(long long number) = 0;

    // What the run reports when the node refuses frame `number`.
    virtual std::string refusal(long long number) const
    {
        return frame_name(number) + ": the effect refused the frame (see its warning above)";
    }

    // Takes back a rendered frame's input picture, whose storage a later
    // read may fill (take it back with spare_picture()).
    void reuse(HostPicture picture) { spares_.give(std::move(picture)); }

protected:
    HostPicture spare_picture() { return spares_.take(); }

private:
    SparePictures spares_;
};

class FrameSink {
public:
    virtual ~FrameSink() = default;

    // How messages name where frame `number` goes.
    virtual std::string frame_name(long long number) const = 0;

    // Whether frame `number` is written already, whole (a run that keeps
    // finished frames leaves it out).
    virtual bool holds(long long /*number*/) const { return false; }

    // Checks, as soon as frame `number` is read, that its result can be
    // written (a colour conversion the output needs), so that a run stops
    // before the node renders a frame it could not write.
    virtual void prepare(long long /*number*/, const NodeFrame& /*frame*/) const {}

    // Writes the node's result for frame `number`, with the parts of it
    // rendered outside 0..1 (empty when it has none).
    virtual FrameWritten write(long long number, HostPicture result, const NodeFrame& frame,
                               const SplitParts& parts) = 0;

    // What the sink has to tell since it was last asked (an output that
    // cannot hold alpha, a video that keeps its input's tags), each once;
    // asked on the run's own thread after each frame written and at the end.
    virtual std::vector<std::string> take_notes() { return {}; }

    // Completes the output once every frame is written (a video's end).
    virtual void finish() {}
};

}  // namespace trellin_app
