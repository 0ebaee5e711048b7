#include "apps/common/picture/picture_frames.h"

#include <utility>

#include "apps/common/core/failure.h"
#include "apps/common/picture/picture_output.h"
#include "apps/common/picture/picture_settings.h"

namespace trellin_app {

PictureFileSource::PictureFileSource(const PictureColour& colour, FramePattern pattern, bool frame_notes)
    : colour_(colour), pattern_(std::move(pattern)), frame_notes_(frame_notes)
{
}

std::optional<NodeFrame> PictureFileSource::read(long long number)
{
    if (!pattern_.numbered() && still_) return *still_;
    const std::string name = frame_name(number);
    const std::string note = frame_notes_ ? " (frame " + std::to_string(number) + ")" : std::string();
    try {
        // The frame goes into the storage of one the node has rendered.
        PictureSource source;
        source.samples = spare_floats_.take();
        HostPicture picture = read_picture(name, &source, spare_picture());
        NodeFrame frame = colour_.to_node(std::move(picture), std::move(source), name);
        if (!frame.spare.empty()) spare_floats_.give(std::move(frame.spare));
        if (!pattern_.numbered()) still_ = frame;
        return frame;
    } catch (const PictureError& e) {
        throw Failure{exit_usage, e.what() + note};
    } catch (const ColourError& e) {
        throw Failure{exit_usage, e.what() + note};
    }
}

PictureFileSink::PictureFileSink(const PictureColour& colour, FramePattern pattern, WriteOptions options,
                                 RenderRecord record, const FrameSource& inputs)
    : colour_(colour), pattern_(std::move(pattern)), options_(options), record_(std::move(record)), inputs_(inputs)
{
}

bool PictureFileSink::holds(long long number) const
{
    return is_complete_picture(frame_name(number));
}

void PictureFileSink::prepare(long long number, const NodeFrame& frame) const
{
    // A colour configuration that cannot make the way out is found before
    // the node renders the frame.
    try {
        colour_.prepare_output(
            frame, colour_.output_space(file_output_form(output_format(frame_name(number)), options_.depth)));
    } catch (const ColourError& e) {
        throw Failure{exit_usage,
                      e.what() + (pattern_.numbered() ? " (frame " + std::to_string(number) + ")" : std::string())};
    }
}

FrameWritten PictureFileSink::write(long long number, HostPicture result, const NodeFrame& frame,
                                    const SplitParts& parts)
{
    RenderRecord made = record_;
    made.input = inputs_.frame_name(number);
    made.frame = number;
    FrameWritten w;
    const std::string path = frame_name(number);
    try {
        w.report = write_rendered(colour_, std::move(result), frame, path, options_, made, w.clipped, &parts);
    } catch (const PictureError& e) {
        throw Failure{exit_failed, e.what()};
    } catch (const ColourError& e) {
        throw Failure{exit_failed, e.what()};
    }
    if ((w.report.alpha_dropped || w.report.settings_dropped)) {
        std::lock_guard<std::mutex> hold(notes_lock_);
        if (!noted_) {
            noted_ = true;
            notes_ = write_notes(w.report, path);
        }
    }
    return w;
}

std::vector<std::string> PictureFileSink::take_notes()
{
    std::lock_guard<std::mutex> hold(notes_lock_);
    return std::exchange(notes_, {});
}

std::vector<std::string> write_notes(const WriteReport& report, const std::string& output)
{
    std::vector<std::string> notes;
    if (report.alpha_dropped)
        notes.push_back(output + ": the " + report.format + " format holds no alpha; wrote colour only");
    if (report.settings_dropped)
        notes.push_back(output + ": the settings were too large for the " + report.format + " format (at most " +
                        std::to_string(settings_capacity(report.format)) +
                        " characters read back whole); the picture carries none");
    return notes;
}

}  // namespace trellin_app
