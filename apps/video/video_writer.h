// Writing rendered pictures as a video file, with the other streams of the
// video they came from.
//
// The file is written under a temporary name beside the output (the name
// output_file.h gives), every write checked, flushed to disk and renamed
// over the output only by finish(): a failure or a writer destroyed before
// finish() leaves no partial file and an existing output as it was.
//
// Streams of the source other than its picture stream come along: copied
// packet for packet when the container holds their codec; audio the
// container cannot hold is encoded again in the container's own audio codec,
// and anything else left out, each with a note. The source's metadata
// (creation time, timecode, ...), chapters and its picture stream's metadata
// and side data (rotation, mastering display) are carried over, and frames
// keep their timestamps (less the start of the range written).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "apps/common/core/host_picture.h"
#include "apps/video/video_codecs.h"
#include "apps/video/video_colour.h"
#include "apps/video/video_reader.h"

namespace trellin_video {

// The source of the other streams: a video file and the span of its picture
// stream's timeline being written.
struct StreamSource {
    std::string path;
    int picture_stream = 0;     // the stream the frames come from (not copied)
    Rational time_base;         // of the picture stream
    std::int64_t from = 0;      // the first frame's timestamp
    std::int64_t to = 0;        // the end of the last frame
    bool whole = true;          // the whole stream is written: every packet of every stream comes along
    long long first_frame = 0;  // the number of the first frame written, from 0: what a timecode moves by
};

struct VideoFormat {
    int width = 0;
    int height = 0;
    int samples = 4;  // of the pictures written: 3 or 4
    double pixel_aspect = 1.0;
    Rational frame_rate{25, 1};
    Rational time_base{1, 25};  // the unit of the timestamps write() takes
    std::string space;          // the colour space of the pictures written
    ColourTags source_tags;     // the input video's tags (its matrix is kept for YUV output)
};

class VideoWriter {
public:
    // Opens the temporary file, sets up the encoder and the copied streams
    // and writes the container's header. `notes` receives one line for each
    // stream encoded again or left out. Throws VideoError naming `path`.
    VideoWriter(const std::string& path, const VideoOutputPlan& plan, const VideoFormat& format,
                const StreamSource* source, std::vector<std::string>& notes);
    ~VideoWriter();
    VideoWriter(const VideoWriter&) = delete;
    VideoWriter& operator=(const VideoWriter&) = delete;

    // Encodes one picture of the format's size at `timestamp` (in the
    // format's time base, before the start of the range is taken off).
    void write(const trellin_app::HostPicture& picture, std::int64_t timestamp);
    // Ends the streams, writes the trailer and puts the file in place.
    // Returns one line for each stream it lengthened to the picture's length.
    std::vector<std::string> finish();

    // The tags the output carries.
    const ColourTags& tags() const;
    // The file's streams: "video ffv1 48x32, audio pcm_s16le".
    std::string streams_text() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace trellin_video
