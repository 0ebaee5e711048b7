// Renders on a thread of its own, with a node of its own, so that the window
// stays responsive while a frame renders.
//
// The node that serves the panel and the handles lives on the window's
// thread; the node here only renders. Each request carries a snapshot of the
// panel node's settings (its saved-settings document, keys included), which
// this node loads before it renders the request's frame at time = its frame
// number, so the two nodes never touch each other and a frame renders as
// `trellin render` renders it. A node starts no thread and takes no lock, so
// each one is used by one thread only; only its cancellation request crosses.
//
// With colour handling (the shot's PictureColour), previews come back as the
// display shows them and exports are written as `trellin render` writes the
// frame: in the output's space, with the settings in their metadata.
//
// Requests: a preview of a frame at a given size (the node fits the frame to
// it), or an export of a frame at its full size written to a file. A newer
// preview replaces a preview that has not started yet, and the same holds for
// exports. A newer preview also cancels a full-size preview that is
// rendering: the node abandons it at its next poll and it is dropped, never
// handed over as done. A fast preview (a reduced size while the user drags)
// is left to finish, so that a pointer that keeps moving still sees
// pictures. Exports are never cancelled.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "apps/common/core/settings_snapshot.h"
#include "apps/common/core/host_picture.h"
#include "apps/common/core/module_loader.h"
#include "apps/common/picture/picture_colour.h"
#include "apps/trellin-view/shot.h"
#include "host/regv.h"

namespace trellin_view {

enum class JobKind { preview, export_picture };

// A frame of the shot, as the node takes it (it may throw, naming the file).
using FrameFetch = std::function<ShotFrame(long long frame)>;

struct RenderResult {
    JobKind kind = JobKind::preview;
    std::uint64_t serial = 0;  // the request's number
    long long frame = 0;
    bool fast = false;  // a reduced-size preview
    bool ok = false;
    trellin_app::HostPicture picture;  // a preview's picture as shown (empty for an export)
    ShotFrame source;                  // the frame rendered
    double milliseconds = 0.0;         // time spent in the node
    std::string path;                  // an export's file
    std::string message;               // what went wrong, when not ok
};

// Renders `input` through `node` as the frame at `time`, at `width` x
// `height` (the node resamples the input to that size; at the input's own
// size exactly as `trellin render` does). Returns the node's result (1
// rendered).
int render_scaled(FXNode& node, const trellin_app::HostPicture& input, double time, int width, int height,
                  trellin_app::HostPicture& output);

// Where the viewer sends the renders it asks for (a RenderWorker; tests give
// their own).
class RenderRequests {
public:
    virtual ~RenderRequests() = default;
    // Each returns the request's number.
    virtual std::uint64_t request_preview(trellin_app::SettingsSnapshot settings, long long frame, int width,
                                          int height, bool fast = false) = 0;
    virtual std::uint64_t request_export(trellin_app::SettingsSnapshot settings, long long frame, std::string path) = 0;
    // True while a request waits or renders, or its preview waits to be
    // taken: a result is always seen before the renderer counts as idle.
    virtual bool busy() const = 0;
};

class RenderWorker : public RenderRequests {
public:
    // `wake` is called on the worker's thread after each result, to wake the
    // window's thread (it must be safe to call from any thread). Without
    // `colour` pictures are shown and exported as the node makes them.
    RenderWorker(trellin_app::NodePtr node, FrameFetch frames, std::function<void()> wake = {},
                 std::shared_ptr<const trellin_app::PictureColour> colour = nullptr);
    // Cancels a preview in progress, finishes an export in progress and a
    // waiting one, drops a waiting preview, and stops the thread.
    ~RenderWorker();
    RenderWorker(const RenderWorker&) = delete;
    RenderWorker& operator=(const RenderWorker&) = delete;

    // Each returns the request's number (counting up from 1 across both kinds).
    std::uint64_t request_preview(trellin_app::SettingsSnapshot settings, long long frame, int width, int height,
                                  bool fast = false) override;
    std::uint64_t request_export(trellin_app::SettingsSnapshot settings, long long frame, std::string path) override;

    // Results finished since the last call: at most one preview (the newest)
    // and the exports, in the order they finished.
    std::vector<RenderResult> take_results();

    // True while a request waits or renders, or a preview result waits to
    // be taken.
    bool busy() const override;
    // Previews cancelled while they rendered, so far.
    long cancelled() const;

    // Drops a waiting preview and a preview result not yet taken, and
    // cancels one rendering, fast or not (when the window goes, previews are
    // of no more use; exports go on).
    void drop_previews();

    // Waits until nothing waits or renders (for tests and shutting down in
    // order); false when `timeout_ms` passed first.
    bool wait_idle(int timeout_ms);

private:
    struct Job {
        JobKind kind = JobKind::preview;
        std::uint64_t serial = 0;
        trellin_app::SettingsSnapshot settings;
        long long frame = 0;
        int width = 0;  // 0: the frame's own size
        int height = 0;
        bool fast = false;
        std::string path;
    };

    void run();
    RenderResult render(const Job& job, bool& cancelled);
    // Asks the node to abandon the preview it renders, unless that is fast.
    void cancel_running_preview();

    trellin_app::NodePtr node_;
    FrameFetch frames_;
    std::function<void()> wake_;
    std::shared_ptr<const trellin_app::PictureColour> colour_;

    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::optional<Job> preview_;
    std::optional<Job> export_;
    std::optional<Job> running_;  // what renders now (without its settings)
    bool stopping_ = false;
    std::uint64_t next_serial_ = 1;
    long cancelled_ = 0;
    std::optional<RenderResult> preview_result_;
    std::vector<RenderResult> export_results_;
    std::thread thread_;
};

}  // namespace trellin_view
