#include "node/frame_images.h"

#include "pixels/image_exchange.h"
#include "pixels/resampler.h"

namespace vx {

namespace {

// `record` when it has width x height; otherwise a new record in its place.
bool fit(ImageVx*& record, int width, int height)
{
    if (record && record->width == width && record->height == height) return true;
    delete record;
    record = ImageVx::create(width, height);
    return record != nullptr;
}

}  // namespace

FrameImages::~FrameImages()
{
    release();
}

bool FrameImages::prepare(const _image_str* in, const _image_str* out, bool leave_unread)
{
    const int w = out->width;
    const int h = out->height;
    if (!fit(input, w, h) || !fit(output, w, h)) {
        release();
        return false;
    }
    needs_reading_ = false;
    if (in->width == w && in->height == h) {
        needs_reading_ = leave_unread;
        if (!leave_unread) read_host_image(in, input);
        return true;
    }
    if (!fit(source_, in->width, in->height) || !fit(intermediate_, w, in->height)) {
        release();
        return false;
    }
    read_host_image(in, source_);
    Resampler().run(source_, input, intermediate_);
    return true;
}

void FrameImages::release()
{
    for (ImageVx** record : {&input, &output, &source_, &intermediate_}) {
        delete *record;
        *record = nullptr;
    }
}

}  // namespace vx
