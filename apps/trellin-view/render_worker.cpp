#include "apps/trellin-view/render_worker.h"

#include <chrono>
#include <exception>
#include <new>
#include <utility>

#include "apps/common/core/frame_render.h"
#include "apps/common/picture/image_io.h"
#include "apps/common/core/output_file.h"

namespace trellin_view {

using trellin_app::HostPicture;

int render_scaled(FXNode& node, const HostPicture& input, double time, int width, int height, HostPicture& output)
{
    return trellin_app::render_frame(node, input, output, time, width, height);
}

namespace {

// Renders the frame with the parts outside 0..1 its colour handling split off.
int render_source(FXNode& node, const ShotFrame& source, double time, int width, int height, HostPicture& output,
                  trellin_app::SplitParts& parts)
{
    if (!source.colour) return render_scaled(node, *source.picture, time, width, height, output);
    return trellin_app::render_split(node, *source.picture, source.colour->parts, output, parts, time, width, height);
}

}  // namespace

RenderWorker::RenderWorker(trellin_app::NodePtr node, FrameFetch frames, std::function<void()> wake,
                           std::shared_ptr<const trellin_app::PictureColour> colour)
    : node_(std::move(node)), frames_(std::move(frames)), wake_(std::move(wake)), colour_(std::move(colour))
{
    thread_ = std::thread([this] { run(); });
}

RenderWorker::~RenderWorker()
{
    drop_previews();
    {
        std::lock_guard<std::mutex> hold(lock_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void RenderWorker::drop_previews()
{
    std::lock_guard<std::mutex> hold(lock_);
    preview_.reset();
    preview_result_.reset();
    if (running_ && running_->kind == JobKind::preview) node_->request_abort();
}

void RenderWorker::cancel_running_preview()
{
    if (running_ && running_->kind == JobKind::preview && !running_->fast) node_->request_abort();
}

std::uint64_t RenderWorker::request_preview(trellin_app::SettingsSnapshot settings, long long frame, int width,
                                            int height, bool fast)
{
    std::uint64_t serial;
    {
        std::lock_guard<std::mutex> hold(lock_);
        serial = next_serial_++;
        preview_ = Job{JobKind::preview, serial, std::move(settings), frame, width, height, fast, {}};
        cancel_running_preview();
    }
    changed_.notify_all();
    return serial;
}

std::uint64_t RenderWorker::request_export(trellin_app::SettingsSnapshot settings, long long frame, std::string path)
{
    std::uint64_t serial;
    {
        std::lock_guard<std::mutex> hold(lock_);
        serial = next_serial_++;
        export_ = Job{JobKind::export_picture, serial, std::move(settings), frame, 0, 0, false, std::move(path)};
    }
    changed_.notify_all();
    return serial;
}

std::vector<RenderResult> RenderWorker::take_results()
{
    std::lock_guard<std::mutex> hold(lock_);
    std::vector<RenderResult> results;
    if (preview_result_) {
        results.push_back(std::move(*preview_result_));
        preview_result_.reset();
    }
    for (RenderResult& r : export_results_) results.push_back(std::move(r));
    export_results_.clear();
    return results;
}

bool RenderWorker::busy() const
{
    std::lock_guard<std::mutex> hold(lock_);
    // A result not yet taken counts: playback asks for its next frame once
    // the renderer is idle, and a frame that finished just after the window
    // took the results would otherwise be shown late and never marked as
    // rendered.
    return running_ || preview_ || export_ || preview_result_;
}

long RenderWorker::cancelled() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return cancelled_;
}

bool RenderWorker::wait_idle(int timeout_ms)
{
    std::unique_lock<std::mutex> hold(lock_);
    return changed_.wait_for(hold, std::chrono::milliseconds(timeout_ms),
                             [this] { return !running_ && !preview_ && !export_; });
}

void RenderWorker::run()
{
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        changed_.wait(hold, [this] { return stopping_ || preview_ || export_; });
        // Previews are of no use once the window goes; an export asked for is.
        if (stopping_) preview_.reset();
        if (stopping_ && !export_) return;
        // The preview first: it is what the window waits for.
        std::optional<Job>& next = preview_ ? preview_ : export_;
        Job job = std::move(*next);
        next.reset();
        running_ = Job{job.kind, job.serial, {}, job.frame, job.width, job.height, job.fast, {}};
        // Cancellation is asked for under the lock and only while a job runs,
        // so a request left from the job before cannot reach this one.
        node_->clear_abort();
        hold.unlock();

        bool cancelled = false;
        RenderResult result = render(job, cancelled);

        hold.lock();
        running_.reset();
        if (cancelled) {
            ++cancelled_;
        } else if (result.kind == JobKind::preview) {
            // An older preview finished later than a newer one cannot happen
            // (one thread renders in order), so the newest result wins.
            preview_result_ = std::move(result);
        } else {
            export_results_.push_back(std::move(result));
        }
        changed_.notify_all();
        if (wake_ && !cancelled) {
            hold.unlock();
            wake_();
            hold.lock();
        }
    }
}

RenderResult RenderWorker::render(const Job& job, bool& cancelled)
{
    RenderResult result;
    result.kind = job.kind;
    result.serial = job.serial;
    result.frame = job.frame;
    result.fast = job.fast;
    result.path = job.path;
    try {
        result.source = frames_(job.frame);
        if (!result.source.picture) {
            result.message = "frame " + std::to_string(job.frame) + " could not be read";
            return result;
        }
        if (!job.settings.apply_to(*node_)) {
            result.message = "the settings could not be loaded into the rendering node";
            return result;
        }
        const HostPicture& input = *result.source.picture;
        const int width = job.width > 0 ? job.width : input.width;
        const int height = job.height > 0 ? job.height : input.height;
        HostPicture picture;
        trellin_app::SplitParts parts;
        const auto start = std::chrono::steady_clock::now();
        const int done = render_source(*node_, result.source, double(job.frame), width, height, picture, parts);
        result.milliseconds =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        if (done == 0) {
            cancelled = node_->abort_pending();
            result.message = "the effect refused the frame";
            return result;
        }
        if (job.kind == JobKind::export_picture) {
            // What a killed export left for this file goes first.
            trellin_app::remove_stale_temporaries(job.path);
            if (colour_ && result.source.colour) {
                // As `trellin render` writes this frame: its settings with
                // the colour options, the input's file and the frame number.
                trellin_app::RenderRecord record{job.settings.settings().doc, result.source.path, job.frame};
                record.project["render"] = trellin_app::render_options_json(colour_->options());
                trellin_app::ClipCount clipped;
                trellin_app::write_rendered(*colour_, std::move(picture), *result.source.colour, job.path, {}, record,
                                            clipped, &parts);
            } else {
                trellin_app::write_picture(picture, job.path);
            }
        } else if (colour_ && result.source.colour) {
            result.picture = colour_->for_display(std::move(picture), *result.source.colour, &parts);
        } else {
            result.picture = std::move(picture);
        }
        result.ok = true;
    } catch (const std::bad_alloc&) {
        result.message = "out of memory";
    } catch (const std::exception& e) {
        result.message = e.what();
    }
    return result;
}

}  // namespace trellin_view
