#include "apps/trellin-view/render_worker.h"

#include <chrono>
#include <exception>
#include <new>
#include <utility>

#include "apps/common/frame_render.h"
#include "apps/common/image_io.h"
#include "apps/common/output_file.h"

namespace trellin_view {

using trellin_app::HostPicture;

int render_scaled(FXNode& node, const HostPicture& input, int width, int height, HostPicture& output)
{
    return trellin_app::render_frame(node, input, output, 0.0, width, height);
}

RenderWorker::RenderWorker(trellin_app::NodePtr node, std::shared_ptr<const HostPicture> input,
                           std::function<void()> wake, std::shared_ptr<const ViewColour> colour)
    : node_(std::move(node)), input_(std::move(input)), wake_(std::move(wake)), colour_(std::move(colour))
{
    thread_ = std::thread([this] { run(); });
}

RenderWorker::~RenderWorker()
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        stopping_ = true;
        preview_.reset();
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

std::uint64_t RenderWorker::request_preview(RegV settings, int width, int height)
{
    std::uint64_t serial;
    {
        std::lock_guard<std::mutex> hold(lock_);
        serial = next_serial_++;
        preview_ = Job{JobKind::preview, serial, std::move(settings), width, height, {}};
    }
    changed_.notify_all();
    return serial;
}

std::uint64_t RenderWorker::request_export(RegV settings, std::string path)
{
    std::uint64_t serial;
    {
        std::lock_guard<std::mutex> hold(lock_);
        serial = next_serial_++;
        export_ = Job{JobKind::export_picture, serial, std::move(settings), input_->width, input_->height,
                      std::move(path)};
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
    return rendering_ || preview_ || export_;
}

bool RenderWorker::wait_idle(int timeout_ms)
{
    std::unique_lock<std::mutex> hold(lock_);
    return changed_.wait_for(hold, std::chrono::milliseconds(timeout_ms),
                             [this] { return !rendering_ && !preview_ && !export_; });
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
        rendering_ = true;
        hold.unlock();

        RenderResult result = render(job);

        hold.lock();
        rendering_ = false;
        if (result.kind == JobKind::preview) {
            // An older preview finished later than a newer one cannot happen
            // (one thread renders in order), so the newest result wins.
            preview_result_ = std::move(result);
        } else {
            export_results_.push_back(std::move(result));
        }
        changed_.notify_all();
        if (wake_) {
            hold.unlock();
            wake_();
            hold.lock();
        }
    }
}

RenderResult RenderWorker::render(const Job& job)
{
    RenderResult result;
    result.kind = job.kind;
    result.serial = job.serial;
    result.path = job.path;
    try {
        if (!node_->reg_load(job.settings)) {
            result.message = "the settings could not be loaded into the rendering node";
            return result;
        }
        HostPicture picture;
        const auto start = std::chrono::steady_clock::now();
        const int done = render_scaled(*node_, *input_, job.width, job.height, picture);
        result.milliseconds =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        if (done == 0) {
            result.message = "the effect refused the frame";
            return result;
        }
        if (job.kind == JobKind::export_picture) {
            // What a killed export left for this file goes first.
            trellin_app::remove_stale_temporaries(job.path);
            if (colour_) {
                trellin_app::RenderRecord record{job.settings.doc, colour_->input, 0};
                record.project["render"] = trellin_app::render_options_json(colour_->colour.options());
                trellin_app::ClipCount clipped;
                trellin_app::write_rendered(colour_->colour, std::move(picture), colour_->frame, job.path, {},
                                            record, clipped);
            } else {
                trellin_app::write_picture(picture, job.path);
            }
        } else {
            result.picture = colour_ ? colour_->shown(std::move(picture)) : std::move(picture);
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
