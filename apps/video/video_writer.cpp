#include "apps/video/video_writer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libavutil/timecode.h>
#include <libswscale/swscale.h>
}

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <climits>
#include <string_view>

#include "apps/common/core/output_file.h"
#include "apps/video/rgb_conversion.h"
#include "apps/video/video_audio.h"
#include "apps/video/video_libraries.h"

namespace trellin_video {

namespace {

// Metadata that describes one encoding of a stream, not the stream: wrong
// once it is encoded again or cut.
bool encoding_entry(const std::string& key)
{
    static const char* const names[] = {"encoder",
                                        "ENCODER",
                                        "DURATION",
                                        "duration",
                                        "BPS",
                                        "NUMBER_OF_FRAMES",
                                        "NUMBER_OF_BYTES",
                                        "_STATISTICS_TAGS",
                                        "_STATISTICS_WRITING_APP",
                                        "_STATISTICS_WRITING_DATE_UTC"};
    for (const std::string_view n : names)
        if (key == n || (key.starts_with(n) && key.size() > n.size() && key[n.size()] == '-')) return true;
    return false;
}

void copy_metadata(AVDictionary** to, const AVDictionary* from)
{
    const AVDictionaryEntry* e = nullptr;
    while ((e = av_dict_get(from, "", e, AV_DICT_IGNORE_SUFFIX)))
        if (!encoding_entry(e->key)) av_dict_set(to, e->key, e->value, 0);
}

// A "timecode" entry moved on by `frames` at `rate`, so that a range cut from
// a clip keeps the time of day its first frame had; an entry that does not
// read as a timecode at that rate is left as it is.
void move_timecode(AVDictionary** metadata, AVRational rate, long long frames)
{
    const AVDictionaryEntry* e = av_dict_get(*metadata, "timecode", nullptr, 0);
    if (!e || frames <= 0 || rate.num <= 0 || rate.den <= 0 || frames > INT_MAX) return;
    AVTimecode tc;
    if (av_timecode_init_from_string(&tc, rate, e->value, nullptr) < 0) return;
    char text[AV_TIMECODE_STR_SIZE];
    av_timecode_make_string(&tc, text, static_cast<int>(frames));
    av_dict_set(metadata, "timecode", text, 0);
}

std::string kind_of(const AVStream& s)
{
    const char* kind = av_get_media_type_string(s.codecpar->codec_type);
    return "stream " + std::to_string(s.index) + " (" + (kind ? kind : "data") + " " +
           avcodec_get_name(s.codecpar->codec_id) + ")";
}

}  // namespace

struct VideoWriter::State {
    std::string path;
    // The temporary file, removed unless finished, and by a signal that ends
    // the run meanwhile.
    std::unique_ptr<trellin_app::PendingOutput> pending_file;
    int fd = -1;  // pending_file's
    int write_error = 0;
    std::vector<std::string> finish_notes;  // what finish() has to say
    std::vector<std::int64_t> stream_end;   // per output stream: the end of its last packet, in its time base
    AVFormatContext* out = nullptr;
    AVIOContext* io = nullptr;
    AVCodecContext* encoder = nullptr;
    AVStream* video = nullptr;
    FrameFromPicture conversion;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    VideoFormat format;
    ColourTags tags;
    AVRational input_base{1, 25};
    std::int64_t offset = 0;  // taken off every timestamp, in input_base

    // The other streams.
    bool copying = false;
    StreamSource source;
    AVFormatContext* side = nullptr;
    std::vector<int> copied_to;                               // per source stream: the output stream, or -1
    std::vector<std::unique_ptr<AudioReencoder>> reencoders;  // per source stream, where encoded again
    AVPacket* pending = nullptr;
    bool pending_held = false;
    bool side_done = false;

    ~State()
    {
        av_frame_free(&frame);
        av_packet_free(&packet);
        av_packet_free(&pending);
        avcodec_free_context(&encoder);
        reencoders.clear();
        if (side) avformat_close_input(&side);
        avformat_free_context(out);
        if (io) {
            av_freep(&io->buffer);
            avio_context_free(&io);
        }
    }

    [[noreturn]] void fail(const std::string& what, int code) const
    {
        const int err = write_error ? AVERROR(write_error) : code;
        throw VideoError(path + ": " + what + " (" + error_text(err) + ")");
    }

    static int write_bytes(void* opaque, std::uint8_t* bytes, int size)
    {
        auto* s = static_cast<State*>(opaque);
        int left = size;
        while (left > 0) {
            const ssize_t n = ::write(s->fd, bytes, std::size_t(left));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                s->write_error = n < 0 ? errno : ENOSPC;
                return AVERROR(s->write_error);
            }
            bytes += n;
            left -= int(n);
        }
        return size;
    }

    static std::int64_t seek_bytes(void* opaque, std::int64_t offset, int whence)
    {
        auto* s = static_cast<State*>(opaque);
        if (whence & AVSEEK_SIZE) {
            struct stat st {};
            return ::fstat(s->fd, &st) == 0 ? std::int64_t(st.st_size) : AVERROR(errno);
        }
        const off_t at = ::lseek(s->fd, off_t(offset), whence & ~AVSEEK_FORCE);
        return at < 0 ? AVERROR(errno) : std::int64_t(at);
    }

    void write_packet(AVPacket& p)
    {
        if (p.pts != AV_NOPTS_VALUE && p.stream_index >= 0) {
            if (stream_end.size() < out->nb_streams) stream_end.resize(out->nb_streams, AV_NOPTS_VALUE);
            std::int64_t& end = stream_end[std::size_t(p.stream_index)];
            end = std::max(end == AV_NOPTS_VALUE ? INT64_MIN : end, p.pts + std::max<std::int64_t>(p.duration, 0));
        }
        if (const int r = av_interleaved_write_frame(out, &p); r < 0) fail("cannot be written", r);
    }

    // Writes the other streams' packets up to `until` (the picture stream's
    // time, in input_base); all of them with INT64_MAX.
    void pump(std::int64_t until)
    {
        while (copying && !side_done) {
            if (!pending_held) {
                if (av_read_frame(side, pending) < 0) {
                    side_done = true;
                    break;
                }
                const int i = pending->stream_index;
                if (copied_to[std::size_t(i)] < 0 && !reencoders[std::size_t(i)]) {
                    av_packet_unref(pending);
                    continue;
                }
                pending_held = true;
            }
            const AVStream* in = side->streams[pending->stream_index];
            const std::int64_t t = pending->dts != AV_NOPTS_VALUE ? pending->dts : pending->pts;
            const std::int64_t at = t == AV_NOPTS_VALUE ? LLONG_MIN : av_rescale_q(t, in->time_base, input_base);
            if (until != INT64_MAX && at != LLONG_MIN && at > until) break;
            pending_held = false;
            if (!source.whole && at != LLONG_MIN) {
                const std::int64_t end = at + av_rescale_q(pending->duration, in->time_base, input_base);
                if (end <= source.from || at >= source.to) {
                    av_packet_unref(pending);
                    continue;
                }
            }
            const std::int64_t shift = av_rescale_q(offset, input_base, in->time_base);
            if (pending->pts != AV_NOPTS_VALUE) pending->pts -= shift;
            if (pending->dts != AV_NOPTS_VALUE) pending->dts -= shift;
            const std::size_t i = std::size_t(pending->stream_index);
            if (reencoders[i]) {
                reencoders[i]->feed(*pending, [this](AVPacket& p) { write_packet(p); });
                av_packet_unref(pending);
                continue;
            }
            AVStream* o = out->streams[copied_to[i]];
            av_packet_rescale_ts(pending, in->time_base, o->time_base);
            pending->stream_index = o->index;
            pending->pos = -1;
            write_packet(*pending);
        }
    }

    // Writes what the encoder has ready.
    void drain()
    {
        for (;;) {
            const int r = avcodec_receive_packet(encoder, packet);
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return;
            if (r < 0) fail("the pictures cannot be encoded", r);
            const std::int64_t t = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
            if (t != AV_NOPTS_VALUE) pump(av_rescale_q(t, encoder->time_base, input_base) + offset);
            av_packet_rescale_ts(packet, encoder->time_base, video->time_base);
            packet->stream_index = video->index;
            write_packet(*packet);
        }
    }

    // MXF files end with their shortest stream: sound that ends before the
    // picture would take the last frames with it. PCM sound (all MXF holds)
    // is made as long as the picture with silence, and a note says so.
    void pad_sound_to_picture()
    {
        if (!copying || std::string(out->oformat->name) != "mxf") return;
        const std::int64_t picture_start = source.from - offset, picture_end = source.to - offset;
        for (unsigned i = 0; i < out->nb_streams; ++i) {
            AVStream* o = out->streams[i];
            const AVCodecParameters* par = o->codecpar;
            const int bits = av_get_bits_per_sample(par->codec_id);
            const int channels = par->ch_layout.nb_channels;
            if (par->codec_type != AVMEDIA_TYPE_AUDIO || bits <= 0 || bits % 8 || channels <= 0 ||
                par->sample_rate <= 0)
                continue;
            const AVRational sample_base{1, par->sample_rate};
            const std::int64_t want = av_rescale_q(picture_end, input_base, o->time_base);
            std::int64_t at = i < stream_end.size() && stream_end[i] != AV_NOPTS_VALUE
                                  ? stream_end[i]
                                  : av_rescale_q(picture_start, input_base, o->time_base);
            if (at >= want) continue;
            const std::int64_t missing =
                av_rescale_q_rnd(want - at, o->time_base, sample_base, AVRounding(AV_ROUND_UP | AV_ROUND_PASS_MINMAX));
            const int chunk = std::max(1, par->sample_rate / 25);
            for (std::int64_t done = 0; done < missing;) {
                const int n = int(std::min<std::int64_t>(chunk, missing - done));
                AVPacket* p = av_packet_alloc();
                if (!p || av_new_packet(p, n * channels * (bits / 8)) < 0) {
                    av_packet_free(&p);
                    throw VideoError(path + ": out of memory");
                }
                std::memset(p->data, 0, std::size_t(p->size));
                p->pts = p->dts = at + av_rescale_q(done, sample_base, o->time_base);
                p->duration = av_rescale_q(n, sample_base, o->time_base);
                p->stream_index = int(i);
                p->flags |= AV_PKT_FLAG_KEY;
                try {
                    write_packet(*p);
                } catch (...) {
                    av_packet_free(&p);
                    throw;
                }
                av_packet_free(&p);
                done += n;
            }
            {
                char seconds[32];
                std::snprintf(seconds, sizeof seconds, "%.2f", double(missing) / par->sample_rate);
                finish_notes.push_back(path + ": stream " + std::to_string(i) + " (audio " +
                                       avcodec_get_name(par->codec_id) + ") made as long as the picture with " +
                                       seconds + " s of silence: an MXF file ends with its shortest stream");
            }
        }
    }

    void open_source(std::vector<std::string>& notes, AVRational rate)
    {
        if (const int r = avformat_open_input(&side, source.path.c_str(), nullptr, nullptr); r < 0)
            throw VideoError(source.path + ": cannot be opened again for its streams (" + error_text(r) + ")");
        avformat_find_stream_info(side, nullptr);
        copy_metadata(&out->metadata, side->metadata);
        copied_to.assign(side->nb_streams, -1);
        reencoders.resize(side->nb_streams);
        for (unsigned i = 0; i < side->nb_streams; ++i) {
            AVStream* in = side->streams[i];
            const AVCodecParameters* par = in->codecpar;
            if (int(i) == source.picture_stream) {
                in->discard = AVDISCARD_ALL;
                continue;
            }
            // A timecode track is made again from the picture stream's timecode.
            const bool timecode = par->codec_type == AVMEDIA_TYPE_DATA && par->codec_tag == MKTAG('t', 'm', 'c', 'd');
            const bool takes =
                par->codec_id != AV_CODEC_ID_NONE &&
                (std::string(out->oformat->name) == "mxf"
                     ? (par->codec_id == AV_CODEC_ID_PCM_S16LE || par->codec_id == AV_CODEC_ID_PCM_S24LE) &&
                           par->sample_rate == 48000  // all FFmpeg's MXF writer takes
                     : avformat_query_codec(out->oformat, par->codec_id, FF_COMPLIANCE_NORMAL) == 1);
            const bool picture = par->codec_type == AVMEDIA_TYPE_VIDEO;
            if (takes && !picture && !timecode) {
                AVStream* o = avformat_new_stream(out, nullptr);
                if (!o || avcodec_parameters_copy(o->codecpar, par) < 0) throw VideoError(path + ": out of memory");
                o->codecpar->codec_tag = 0;
                o->time_base = in->time_base;
                o->disposition = in->disposition;
                copy_metadata(&o->metadata, in->metadata);
                copied_to[i] = o->index;
                continue;
            }
            in->discard = AVDISCARD_ALL;
            if (timecode) continue;
            if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
                try {
                    reencoders[i] = std::make_unique<AudioReencoder>(*in, *out);
                } catch (const VideoError& e) {
                    notes.push_back(source.path + ": " + kind_of(*in) + " left out: " + out->oformat->name +
                                    " files cannot hold it and " + e.what());
                    continue;
                }
                in->discard = AVDISCARD_DEFAULT;
                notes.push_back(source.path + ": " + kind_of(*in) + " encoded again as " + reencoders[i]->codec() +
                                ": " + out->oformat->name + " files cannot hold it as it is");
                continue;
            }
            notes.push_back(source.path + ": " + kind_of(*in) + " left out: " + out->oformat->name +
                            " files cannot hold it");
        }
        const AVStream* picture = side->streams[source.picture_stream];
        copy_metadata(&video->metadata, picture->metadata);
        if (!source.whole) {
            move_timecode(&out->metadata, rate, source.first_frame);
            move_timecode(&video->metadata, rate, source.first_frame);
        }
        for (int k = 0; k < picture->nb_side_data; ++k) {
            const AVPacketSideData& d = picture->side_data[k];
            if (std::uint8_t* to = av_stream_new_side_data(video, d.type, d.size)) std::memcpy(to, d.data, d.size);
            // Of the containers written here, only QuickTime and MP4 hold a
            // rotation (FFmpeg writes it into no other).
            const std::string muxer = out->oformat->name;
            if (d.type == AV_PKT_DATA_DISPLAYMATRIX && d.size >= 9 * sizeof(std::int32_t) && muxer != "mov" &&
                muxer != "mp4") {
                const double degrees = av_display_rotation_get(reinterpret_cast<const std::int32_t*>(d.data));
                const long turned = std::lround(std::isnan(degrees) ? 0.0 : degrees);
                if (turned % 360 != 0)
                    notes.push_back(source.path + ": its rotation (" + std::to_string(turned) +
                                    " degrees) is left out: " + muxer +
                                    " files cannot hold it, so players show the frames unturned; write .mov or "
                                    ".mp4 to keep it");
            }
        }
        // Chapters, moved with the range and cut to it.
        for (unsigned k = 0; k < side->nb_chapters; ++k) {
            const AVChapter* c = side->chapters[k];
            const std::int64_t shift = av_rescale_q(offset, input_base, c->time_base);
            const std::int64_t length = av_rescale_q(source.to - source.from, input_base, c->time_base);
            std::int64_t start = c->start - shift, end = c->end - shift;
            if (!source.whole) {
                if (end <= 0 || start >= length) continue;
                start = std::max<std::int64_t>(start, 0);
                end = std::min(end, length);
            }
            auto* made = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
            if (!made || av_dynarray_add_nofree(&out->chapters, reinterpret_cast<int*>(&out->nb_chapters), made) < 0)
                throw VideoError(path + ": out of memory");
            made->id = c->id;
            made->time_base = c->time_base;
            made->start = start;
            made->end = end;
            av_dict_copy(&made->metadata, c->metadata, 0);
        }
        if (!source.whole) {
            const std::int64_t from = av_rescale_q(source.from, input_base, AV_TIME_BASE_Q);
            av_seek_frame(side, -1, from, AVSEEK_FLAG_BACKWARD);
        }
        pending = av_packet_alloc();
        if (!pending) throw VideoError(path + ": out of memory");
        copying = true;
    }
};

VideoWriter::VideoWriter(const std::string& path, const VideoOutputPlan& plan, const VideoFormat& format,
                         const StreamSource* source, std::vector<std::string>& notes)
    : state_(std::make_unique<State>())
{
    quiet_libraries();
    State& s = *state_;
    s.path = path;
    s.format = format;
    s.input_base = AVRational{format.time_base.num, format.time_base.den};
    if (source && !source->whole) s.offset = source->from;

    const AVCodec* codec = avcodec_find_encoder_by_name(plan.encoder.c_str());
    const AVPixelFormat pix_fmt = av_get_pix_fmt(plan.pix_fmt.c_str());
    if (!codec || pix_fmt == AV_PIX_FMT_NONE) throw VideoError(path + ": no encoder " + plan.encoder);
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(pix_fmt);
    const bool yuv = !(desc->flags & AV_PIX_FMT_FLAG_RGB) && desc->nb_components >= 3;
    s.tags = tags_of_space(format.space, format.source_tags, yuv);

    if (avformat_alloc_output_context2(&s.out, nullptr, plan.container.c_str(), path.c_str()) < 0 || !s.out)
        throw VideoError(path + ": cannot make a " + plan.container + " file");

    s.encoder = avcodec_alloc_context3(codec);
    s.frame = av_frame_alloc();
    s.packet = av_packet_alloc();
    if (!s.encoder || !s.frame || !s.packet) throw VideoError(path + ": out of memory");
    AVCodecContext* e = s.encoder;
    e->width = format.width;
    e->height = format.height;
    e->pix_fmt = pix_fmt;
    const AVRational rate{format.frame_rate.num, format.frame_rate.den};
    // MXF's edit units are frames; elsewhere the input's own time base keeps
    // its timestamps exact, where the encoder takes it: MPEG-1 and MPEG-2
    // count in frames of their standard rates, MPEG-4 Part 2 in units of at
    // most 1/65535 s.
    const bool frame_units = plan.container == "mxf" || codec->supported_framerates ||
                             (codec->id == AV_CODEC_ID_MPEG4 && s.input_base.den > 65535);
    e->time_base = frame_units && rate.num > 0 ? av_inv_q(rate) : s.input_base;
    if (rate.num > 0) e->framerate = rate;
    e->sample_aspect_ratio = av_d2q(format.pixel_aspect, 100000);
    e->color_primaries = AVColorPrimaries(s.tags.primaries);
    e->color_trc = AVColorTransferCharacteristic(s.tags.transfer);
    e->colorspace = AVColorSpace(s.tags.matrix);
    e->color_range = AVColorRange(s.tags.range);
    e->thread_count = 0;
    if (plan.gop > 0) e->gop_size = plan.gop;
    if (plan.bitrate > 0) e->bit_rate = plan.bitrate;
    if (s.out->oformat->flags & AVFMT_GLOBALHEADER) e->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* options = nullptr;
    if (!plan.profile.empty()) av_dict_set(&options, "profile", plan.profile.c_str(), 0);
    if (plan.crf >= 0) av_dict_set_int(&options, "crf", plan.crf, 0);
    if (plan.encoder == "ffv1") {
        av_dict_set(&options, "level", "3", 0);
        av_dict_set(&options, "slicecrc", "1", 0);
        av_dict_set(&options, "slices", "4", 0);
        if (plan.gop <= 0) e->gop_size = 1;
    }
    if (plan.encoder == "libvpx-vp9") {
        if (plan.bitrate <= 0) e->bit_rate = 0;  // quality alone (constant quality)
        av_dict_set(&options, "row-mt", "1", 0);
    }
    if (plan.encoder == "prores_ks") av_dict_set(&options, "vendor", "apl0", 0);
    const int opened = avcodec_open2(e, codec, &options);
    av_dict_free(&options);
    if (opened < 0)
        throw VideoError(path + ": the " + plan.encoder + " encoder does not take " + std::to_string(format.width) +
                         "x" + std::to_string(format.height) + " " + plan.pix_fmt + " pictures (" + error_text(opened) +
                         ")");

    s.video = avformat_new_stream(s.out, nullptr);
    if (!s.video) throw VideoError(path + ": out of memory");
    avcodec_parameters_from_context(s.video->codecpar, e);
    s.video->time_base = e->time_base;
    if (rate.num > 0) s.video->avg_frame_rate = s.video->r_frame_rate = rate;
    s.video->sample_aspect_ratio = e->sample_aspect_ratio;

    if (source) {
        s.source = *source;
        s.open_source(notes, rate);
    }
    av_dict_set(&s.out->metadata, "encoder", nullptr, 0);

    trellin_app::remove_stale_temporaries(path);
    try {
        s.pending_file = std::make_unique<trellin_app::PendingOutput>(path);
    } catch (const trellin_app::OutputError& e) {
        throw VideoError(e.what());
    }
    s.fd = s.pending_file->descriptor();
    constexpr int buffer_size = 1 << 18;
    auto* buffer = static_cast<std::uint8_t*>(av_malloc(buffer_size));
    s.io = buffer ? avio_alloc_context(buffer, buffer_size, 1, &s, nullptr, &State::write_bytes, &State::seek_bytes)
                  : nullptr;
    if (!s.io) {
        av_free(buffer);
        throw VideoError(path + ": out of memory");
    }
    s.out->pb = s.io;
    s.out->flags |= AVFMT_FLAG_CUSTOM_IO;
    if (const int r = avformat_write_header(s.out, nullptr); r < 0) {
        // Refused with nothing written: the container cannot hold this stream
        // (Matroska holds raw video only in layouts it has a tag for).
        if (r == AVERROR(EINVAL) && s.write_error == 0)
            throw VideoError(path + ": " + plan.container + " files cannot hold " + plan.encoder + " video in " +
                             plan.pix_fmt + " (" + error_text(r) + "); give another --pix-fmt or --codec");
        s.fail("cannot be written", r);
    }

    s.frame->format = pix_fmt;
    s.frame->width = format.width;
    s.frame->height = format.height;
    if (av_frame_get_buffer(s.frame, 0) < 0) throw VideoError(path + ": out of memory");
    // Encoders that tag every frame (ProRes) take the tags from the frame.
    s.frame->color_primaries = e->color_primaries;
    s.frame->color_trc = e->color_trc;
    s.frame->colorspace = e->colorspace;
    s.frame->color_range = e->color_range;
    s.frame->sample_aspect_ratio = e->sample_aspect_ratio;
    if (!s.conversion.prepare(pix_fmt, format.width, format.height, format.samples,
                              yuv ? sws_getCoefficients(s.tags.matrix) : nullptr, s.tags.range == AVCOL_RANGE_JPEG))
        throw VideoError(path + ": no conversion to " + plan.pix_fmt);
}

VideoWriter::~VideoWriter() = default;

const ColourTags& VideoWriter::tags() const
{
    return state_->tags;
}

std::string VideoWriter::streams_text() const
{
    std::string text;
    for (unsigned i = 0; i < state_->out->nb_streams; ++i) {
        const AVCodecParameters* par = state_->out->streams[i]->codecpar;
        const char* kind = av_get_media_type_string(par->codec_type);
        if (i) text.append(", ");
        text.append(kind ? kind : "data").append(" ").append(avcodec_get_name(par->codec_id));
        if (par->codec_type == AVMEDIA_TYPE_VIDEO)
            text.append(" ").append(std::to_string(par->width)).append("x").append(std::to_string(par->height));
    }
    return text;
}

void VideoWriter::write(const trellin_app::HostPicture& picture, std::int64_t timestamp)
{
    State& s = *state_;
    if (picture.width != s.format.width || picture.height != s.format.height || picture.samples != s.format.samples)
        throw VideoError(s.path + ": a frame of " + std::to_string(picture.width) + "x" +
                         std::to_string(picture.height) + " in a video of " + std::to_string(s.format.width) + "x" +
                         std::to_string(s.format.height));
    if (const int r = av_frame_make_writable(s.frame); r < 0) s.fail("out of memory", r);
    s.conversion.convert(picture.data.data(), s.frame->data, s.frame->linesize);
    s.frame->pts = av_rescale_q(timestamp - s.offset, s.input_base, s.encoder->time_base);
    if (const int r = avcodec_send_frame(s.encoder, s.frame); r < 0) s.fail("the pictures cannot be encoded", r);
    s.drain();
}

std::vector<std::string> VideoWriter::finish()
{
    State& s = *state_;
    if (const int r = avcodec_send_frame(s.encoder, nullptr); r < 0) s.fail("the pictures cannot be encoded", r);
    s.drain();
    s.pump(INT64_MAX);
    for (auto& r : s.reencoders)
        if (r) r->finish([&s](AVPacket& p) { s.write_packet(p); });
    s.pad_sound_to_picture();
    if (const int r = av_write_trailer(s.out); r < 0) s.fail("cannot be written", r);
    avio_flush(s.io);
    if (s.io->error < 0) s.fail("cannot be written", s.io->error);
    s.fd = -1;
    try {
        s.pending_file->commit();
    } catch (const trellin_app::OutputError& e) {
        throw VideoError(e.what());
    }
    return std::move(s.finish_notes);
}

}  // namespace trellin_video
