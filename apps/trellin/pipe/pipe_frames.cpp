#include "apps/trellin/pipe/pipe_frames.h"

#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstring>
#include <utility>

#include "apps/common/core/failure.h"
#include "apps/common/core/frame_colour.h"
#include "apps/common/core/sample_convert.h"

using namespace trellin_app;

namespace trellin_cli {

namespace {

void write_fully(int fd, const std::uint8_t* data, std::size_t size, long long frame)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EPIPE)
                throw Failure{exit_failed, "frame " + std::to_string(frame) +
                                               ": the program reading standard output stopped (broken pipe); see "
                                               "its own messages for why"};
            throw Failure{exit_failed,
                          "frame " + std::to_string(frame) + ": cannot write standard output: " + std::strerror(errno)};
        }
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace

bool samples_as_sent(bool floats)
{
    return !floats && std::endian::native == std::endian::little;
}

PipeFrameSource::PipeFrameSource(RawFrameReader& reader, const PipeColour& colour, PipeFrameForm form,
                                 std::string size_text)
    : reader_(reader), colour_(colour), form_(std::move(form)), size_text_(std::move(size_text))
{
}

std::optional<NodeFrame> PipeFrameSource::read(long long number)
{
    // The frame goes into the storage of one the node has rendered.
    HostPicture picture = spare_picture();
    PictureSource source = form_.source;
    source.samples = spare_floats_.take();
    picture.width = form_.width;
    picture.height = form_.height;
    picture.samples = 4;
    picture.pixel_aspect = form_.pixel_aspect;
    const std::size_t pixels = std::size_t(form_.width) * std::size_t(form_.height);
    picture.data.resize(pixels * 4);
    try {
        const std::uint8_t* bytes = nullptr;
        if (samples_as_sent(form_.floats())) {
            if (!reader_.next_into(reinterpret_cast<std::uint8_t*>(picture.data.data()))) return std::nullopt;
            source.samples.clear();
        } else {
            if (!reader_.next_bytes(bytes)) return std::nullopt;
            if (form_.floats()) {
                source.samples.resize(pixels * 4);
                float_planes_to_rgba(bytes, source.samples.data(), pixels);
            } else {
                source.samples.clear();
                samples_from_le(bytes, picture.data.data(), picture.data.size());
            }
        }
    } catch (const RawFrameError& e) {
        throw Failure{exit_usage,
                      e.what() + std::string("; is --size ") + size_text_ + " the size of the frames sent?"};
    }
    NodeFrame frame = colour_.to_node(std::move(picture), std::move(source), frame_name(number));
    if (!frame.spare.empty()) spare_floats_.give(std::move(frame.spare));
    return frame;
}

PipeFrameSink::PipeFrameSink(int fd, const PipeColour& colour, const PipeFrameForm& form, int width, int height)
    : fd_(fd),
      colour_(colour),
      form_{"raw", form.floats(), form.source.associated_alpha},
      floats_(form.floats()),
      pixels_(std::size_t(width) * std::size_t(height)),
      frame_bytes_(pixels_ * std::size_t(floats_ ? raw_float_bytes_per_pixel : raw_bytes_per_pixel)),
      buffer_(samples_as_sent(floats_) ? 0 : frame_bytes_)
{
}

FrameWritten PipeFrameSink::write(long long number, HostPicture result, const NodeFrame& frame, const SplitParts& parts)
{
    OutputFrame out = colour_.from_node(std::move(result), frame, form_, parts);
    FrameWritten written;
    written.clipped = out.clipped;
    if (floats_) {
        if (out.samples.empty()) out.samples = unit_floats(out.picture, std::move(out.samples));
        rgba_to_float_planes(out.samples.data(), buffer_.data(), pixels_);
        write_fully(fd_, buffer_.data(), buffer_.size(), number);
    } else if (samples_as_sent(floats_)) {
        write_fully(fd_, reinterpret_cast<const std::uint8_t*>(out.picture.data.data()),
                    out.picture.data.size() * sizeof(std::uint16_t), number);
    } else {
        samples_to_le(out.picture.data.data(), buffer_.data(), out.picture.data.size());
        write_fully(fd_, buffer_.data(), buffer_.size(), number);
    }
    written.spare = std::move(out.picture);
    return written;
}

}  // namespace trellin_cli
