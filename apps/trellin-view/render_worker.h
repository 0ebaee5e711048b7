// Renders on a thread of its own, with a node of its own, so that the window
// stays responsive while a frame renders.
//
// The node that serves the panel and the handles lives on the window's
// thread; the node here only renders. Each request carries a snapshot of the
// panel node's settings (its saved-settings document), which this node loads
// before it renders, so the two never touch each other. A node starts no
// thread and takes no lock, so each one is used by one thread only.
//
// Requests: a preview at a given size (the node fits the full-size input to
// it) or an export at full size written to a file. A newer preview supersedes
// a preview that has not started yet, and the same holds for exports; a
// render that has started runs to its end (the node cannot be interrupted),
// and its result is still handed over.
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

#include "apps/common/host_picture.h"
#include "apps/common/module_loader.h"
#include "apps/common/picture_colour.h"
#include "host/regv.h"

namespace trellin_view {

enum class JobKind { preview, export_picture };

struct RenderResult {
    JobKind kind = JobKind::preview;
    std::uint64_t serial = 0;  // the request's number
    bool ok = false;
    trellin_app::HostPicture picture;  // a preview's picture (empty for an export)
    double milliseconds = 0.0;         // time spent in the node
    std::string path;                  // an export's file
    std::string message;               // what went wrong, when not ok
};

// The colours of the picture shown: previews go through the display's sRGB
// view, exports into the output's colour space with the settings in their
// metadata.
struct ViewColour {
    trellin_app::PictureColour colour;
    trellin_app::NodeFrame frame;  // the input's spaces and alpha (its picture is the worker's input)
    std::string input;             // the input as named, for the exports' settings

    // A rendered picture as the display shows it.
    trellin_app::HostPicture shown(trellin_app::HostPicture picture) const
    {
        return colour.for_display(std::move(picture), frame);
    }
};

// Renders `input` through `node` as frame 0 at `width` x `height` (the node
// resamples the input to that size). Returns the node's result (1 rendered).
int render_scaled(FXNode& node, const trellin_app::HostPicture& input, int width, int height,
                  trellin_app::HostPicture& output);

class RenderWorker {
public:
    // `wake` is called on the worker's thread after each result, to wake the
    // window's thread (it must be safe to call from any thread). Without
    // `colour` pictures are shown and exported as the node makes them.
    RenderWorker(trellin_app::NodePtr node, std::shared_ptr<const trellin_app::HostPicture> input,
                 std::function<void()> wake = {}, std::shared_ptr<const ViewColour> colour = nullptr);
    // Finishes the render in progress and a waiting export, drops a waiting
    // preview, and stops the thread.
    ~RenderWorker();
    RenderWorker(const RenderWorker&) = delete;
    RenderWorker& operator=(const RenderWorker&) = delete;

    // Returns the request's number (counting up from 1 across both kinds).
    std::uint64_t request_preview(RegV settings, int width, int height);
    std::uint64_t request_export(RegV settings, std::string path);

    // Results finished since the last call: at most one preview (the newest)
    // and the exports, in the order they finished.
    std::vector<RenderResult> take_results();

    // True while a request waits or renders.
    bool busy() const;

    // Waits until nothing waits or renders (for tests and shutting down in
    // order); false when `timeout_ms` passed first.
    bool wait_idle(int timeout_ms);

private:
    struct Job {
        JobKind kind = JobKind::preview;
        std::uint64_t serial = 0;
        RegV settings;
        int width = 0;
        int height = 0;
        std::string path;
    };

    void run();
    RenderResult render(const Job& job);

    trellin_app::NodePtr node_;
    std::shared_ptr<const trellin_app::HostPicture> input_;
    std::function<void()> wake_;
    std::shared_ptr<const ViewColour> colour_;

    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::optional<Job> preview_;
    std::optional<Job> export_;
    bool rendering_ = false;
    bool stopping_ = false;
    std::uint64_t next_serial_ = 1;
    std::optional<RenderResult> preview_result_;
    std::vector<RenderResult> export_results_;
    std::thread thread_;
};

}  // namespace trellin_view
