#include "apps/video/video_reader.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <string_view>
#include <vector>

#include "apps/common/core/picture_limits.h"
#include "apps/video/rgb_conversion.h"
#include "apps/video/video_libraries.h"

namespace trellin_video {

namespace {

// Containers FFmpeg opens that hold one picture, not a video: pictures go
// through the picture reader.
bool picture_demuxer(std::string_view name)
{
    return name.ends_with("_pipe") || name == "image2" || name == "tty";
}

// Picture formats that may hold an animation: one frame is a picture (read
// by the picture reader), more are a video.
bool animation_demuxer(std::string_view name)
{
    return name == "gif" || name == "apng";
}

struct FormatCloser {
    void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
using FormatPtr = std::unique_ptr<AVFormatContext, FormatCloser>;

FormatPtr open_format(const std::string& path, int* error = nullptr)
{
    quiet_libraries();
    AVFormatContext* f = nullptr;
    const int r = avformat_open_input(&f, path.c_str(), nullptr, nullptr);
    if (error) *error = r;
    return FormatPtr(r < 0 ? nullptr : f);
}

bool regular_file(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

int picture_stream(AVFormatContext* f)
{
    for (unsigned i = 0; i < f->nb_streams; ++i) {
        const AVStream* s = f->streams[i];
        if (s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !(s->disposition & AV_DISPOSITION_ATTACHED_PIC))
            return int(i);
    }
    return -1;
}

bool probe_video_file(const std::string& path)
{
    FormatPtr f = open_format(path);
    if (!f || picture_demuxer(f->iformat->name)) return false;
    if (avformat_find_stream_info(f.get(), nullptr) < 0) return false;
    const int stream = picture_stream(f.get());
    if (stream < 0) return false;
    if (!animation_demuxer(f->iformat->name)) return true;
    AVPacket* packet = av_packet_alloc();
    int frames = 0;
    while (packet && frames < 2 && av_read_frame(f.get(), packet) >= 0) {
        if (packet->stream_index == stream) ++frames;
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    return frames >= 2;
}

// The file as last seen: a command asks about its input more than once
// (checking options, then opening it), and each probe decodes.
struct ProbedFile {
    std::string path;
    std::filesystem::file_time_type written;
    std::uintmax_t size = 0;
    bool video = false;
};

}  // namespace

bool is_video_file(const std::string& path)
{
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::is_regular_file(status)) return false;
    const auto written = std::filesystem::last_write_time(path, ec);
    const std::uintmax_t size = ec ? 0 : std::filesystem::file_size(path, ec);
    if (ec) return probe_video_file(path);

    static std::mutex lock;
    static ProbedFile last;
    {
        std::lock_guard<std::mutex> hold(lock);
        if (last.path == path && last.written == written && last.size == size) return last.video;
    }
    const bool video = probe_video_file(path);
    std::lock_guard<std::mutex> hold(lock);
    last = ProbedFile{path, written, size, video};
    return video;
}

struct VideoReader::State {
    FormatPtr format;
    AVCodecContext* decoder = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    PictureFromFrame conversion;
    int stream = 0;
    // Every frame's presentation timestamp, in order, and its duration.
    std::vector<std::int64_t> times;
    std::vector<std::int64_t> durations;
    bool timed = true;        // the packets carry timestamps (else frames are counted as decoded)
    std::int64_t origin = 0;  // the stream's start: where frame 0 of an untimed stream is put
    long long next = 0;       // the frame the decoder gives next
    bool positioned = false;  // the decoder stands right before frame `next`
    bool draining = false;
    // Where each keyframe's packet starts in the file, by its presentation
    // timestamp: streams whose timestamps do not lead a search (MPEG-TS and
    // MPEG-PS, timed from wherever their clock stood) are searched by bytes.
    std::vector<std::pair<std::int64_t, std::int64_t>> keys;
    bool by_bytes = false;
    bool damaged = false;    // a packet is cut or the file ends in the middle of one
    long long declared = 0;  // the frames the header declares, when more than the file holds

    ~State()
    {
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&decoder);
    }
};

VideoReader::VideoReader(const std::string& path, Decoding decoding) : path_(path), state_(std::make_unique<State>())
{
    State& s = *state_;
    if (!regular_file(path)) throw VideoError(path + ": no such file");
    int error = 0;
    s.format = open_format(path, &error);
    if (!s.format) throw VideoError(path + ": not a video FFmpeg can open (" + error_text(error) + ")");
    AVFormatContext* f = s.format.get();
    if (avformat_find_stream_info(f, nullptr) < 0) throw VideoError(path + ": its streams cannot be read");
    s.stream = picture_stream(f);
    if (s.stream < 0) throw VideoError(path + ": holds no picture stream");
    AVStream* st = f->streams[s.stream];
    const AVCodecParameters* par = st->codecpar;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    if (!codec)
        throw VideoError(path + ": no decoder for its picture stream (" + avcodec_get_name(par->codec_id) + ")");
    if (const std::string fault = trellin_app::picture_size_fault(par->width, par->height); !fault.empty())
        throw VideoError(path + ": " + fault);

    s.decoder = avcodec_alloc_context3(codec);
    s.packet = av_packet_alloc();
    s.frame = av_frame_alloc();
    if (!s.decoder || !s.packet || !s.frame) throw VideoError(path + ": out of memory");
    avcodec_parameters_to_context(s.decoder, par);
    s.decoder->pkt_timebase = st->time_base;
    // (Beside a render, frame threads made a 1080p H.264 render take 8 %
    // more processor time and 8 % longer; ProRes and HEVC renders no less.)
    s.decoder->thread_count = 0;
    s.decoder->thread_type = decoding == Decoding::alone ? FF_THREAD_FRAME | FF_THREAD_SLICE : FF_THREAD_SLICE;
    // A damaged frame is an error, not a picture with holes.
    s.decoder->err_recognition |= AV_EF_EXPLODE | AV_EF_CRCCHECK;
    if (const int r = avcodec_open2(s.decoder, codec, nullptr); r < 0)
        throw VideoError(path + ": the " + codec->name + " decoder cannot open it (" + error_text(r) + ")");

    info_.width = par->width;
    info_.height = par->height;
    info_.stream_index = s.stream;
    info_.codec = avcodec_get_name(par->codec_id);
    info_.format = f->iformat->name;
    info_.time_base = {st->time_base.num, st->time_base.den};
    const AVRational rate = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
    info_.frame_rate = rate.num > 0 && rate.den > 0 ? Rational{rate.num, rate.den} : Rational{0, 1};
    const AVRational sar = av_guess_sample_aspect_ratio(f, st, nullptr);
    info_.pixel_aspect = sar.num > 0 && sar.den > 0 ? av_q2d(sar) : 1.0;
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(AVPixelFormat(par->format));
    if (!desc) throw VideoError(path + ": its picture stream has no known sample layout");
    info_.alpha = (desc->flags & AV_PIX_FMT_FLAG_ALPHA) != 0;
    info_.yuv = (desc->flags & AV_PIX_FMT_FLAG_RGB) == 0 && desc->nb_components >= 3;
    info_.tags = {int(par->color_primaries), int(par->color_trc), int(par->color_space), int(par->color_range)};

    // The index: every picture packet's timestamp, read without decoding.
    for (unsigned i = 0; i < f->nb_streams; ++i)
        if (int(i) != s.stream) f->streams[i]->discard = AVDISCARD_ALL;
    std::vector<std::pair<std::int64_t, std::int64_t>> packets;
    int ended = 0;
    while ((ended = av_read_frame(f, s.packet)) >= 0) {
        if (s.packet->flags & AV_PKT_FLAG_CORRUPT) s.damaged = true;
        if (s.packet->stream_index == s.stream && !(s.packet->flags & AV_PKT_FLAG_DISCARD)) {
            // Packets without a presentation time (MPEG-PS gives most only a
            // decoding time) leave the frames to be counted as decoded.
            const std::int64_t t = s.packet->pts != AV_NOPTS_VALUE ? s.packet->pts : s.packet->dts;
            if (s.packet->pts == AV_NOPTS_VALUE) s.timed = false;
            packets.emplace_back(t, s.packet->duration);
            if ((s.packet->flags & AV_PKT_FLAG_KEY) && s.packet->pos >= 0 && t != AV_NOPTS_VALUE)
                s.keys.emplace_back(t, s.packet->pos);
        }
        av_packet_unref(s.packet);
    }
    if (ended != AVERROR_EOF) s.damaged = true;
    if (packets.empty()) throw VideoError(path + ": its picture stream holds no frames");
    if (s.timed) std::sort(packets.begin(), packets.end());
    if (st->start_time != AV_NOPTS_VALUE) s.origin = st->start_time;
    std::sort(s.keys.begin(), s.keys.end());
    s.by_bytes = (f->iformat->flags & AVFMT_TS_DISCONT) && !(f->iformat->flags & AVFMT_NO_BYTE_SEEK) && !s.keys.empty();
    for (const auto& [t, d] : packets) {
        s.times.push_back(t);
        s.durations.push_back(d);
    }
    // A frame shows until the next one begins.
    for (std::size_t i = 0; s.timed && i + 1 < s.times.size(); ++i) s.durations[i] = s.times[i + 1] - s.times[i];

    // A file cut short holds fewer frames than its header declares: those
    // past the cut are counted, and reading the first of them fails.
    // (A length in time may round to one frame more than there are.)
    const auto indexed = static_cast<long long>(s.times.size());
    if (st->nb_frames > indexed) {
        s.declared = st->nb_frames;
    } else if (st->nb_frames <= 0 && rate.num > 0) {
        const std::int64_t length =
            st->duration > 0 ? av_rescale_q(st->duration, st->time_base, AV_TIME_BASE_Q) : f->duration;
        if (s.timed && length > 0) {
            // The frames missing are those of the time between the last
            // frame's end and the stream's length: counting the whole length
            // at the nominal rate would take a variable-rate stream's gaps for
            // missing frames.
            const std::int64_t start = st->start_time != AV_NOPTS_VALUE ? st->start_time : s.times.front();
            const std::int64_t last_end = s.times.back() + std::max<std::int64_t>(s.durations.back(), 0);
            std::int64_t end = av_rescale_q(last_end - start, st->time_base, AV_TIME_BASE_Q);
            // A container's length may count from time 0 rather than from
            // the stream's start (Matroska's does): a stream that starts
            // late is not taken for one cut short.
            if (st->duration <= 0) end = std::max(end, av_rescale_q(last_end, st->time_base, AV_TIME_BASE_Q));
            const long long missing = length > end ? av_rescale_q(length - end, AV_TIME_BASE_Q, av_inv_q(rate)) : 0;
            if (missing > 1) s.declared = indexed + missing;
        } else {
            const long long expected = length > 0 ? av_rescale_q(length, AV_TIME_BASE_Q, av_inv_q(rate)) : 0;
            if (expected > indexed + 1) s.declared = expected;
        }
    }
    if (s.damaged && s.declared <= indexed) s.declared = indexed + 1;
}

VideoReader::~VideoReader() = default;

long long VideoReader::frame_count() const
{
    return std::max(static_cast<long long>(state_->times.size()), state_->declared);
}

std::int64_t VideoReader::timestamp(long long number) const
{
    const State& s = *state_;
    if (!s.timed) {
        const AVRational tb{info_.time_base.num, info_.time_base.den};
        const AVRational rate{info_.frame_rate.num, info_.frame_rate.den};
        return s.origin + (rate.num > 0 ? av_rescale_q(number, av_inv_q(rate), tb) : number);
    }
    if (number >= static_cast<long long>(s.times.size()))
        return s.times.back() + (number + 1 - static_cast<long long>(s.times.size())) * s.durations.back();
    return s.times[std::size_t(number)];
}

std::int64_t VideoReader::duration(long long number) const
{
    const State& s = *state_;
    const std::size_t i = std::min(std::size_t(number), s.durations.size() - 1);
    const std::int64_t d = s.timed ? s.durations[i] : 0;
    if (d > 0) return d;
    return timestamp(1) - timestamp(0) > 0 ? timestamp(1) - timestamp(0) : 1;
}

trellin_app::PictureSource VideoReader::source() const
{
    trellin_app::PictureSource source;
    source.format = "video";
    source.alpha = info_.alpha;
    source.metadata_space = space_of_tags(info_.tags);
    if (!source.metadata_space.empty()) source.metadata_origin = "its colour tags";
    return source;
}

std::string VideoReader::conversion_text() const
{
    if (!info_.yuv) return "RGB";
    return matrix_text(matrix_for(info_.tags, info_.height), info_.tags.range);
}

void VideoReader::read(long long number, trellin_app::HostPicture& picture)
{
    State& s = *state_;
    AVFormatContext* f = s.format.get();
    auto frame_fault = [&](const std::string& why) {
        return VideoError(path_ + ": frame " + std::to_string(number) + " could not be decoded (" + why + ")");
    };
    if (number < 0 || number >= frame_count())
        throw frame_fault("the stream has frames 0 to " + std::to_string(frame_count() - 1));
    // Seeks to the keyframe at or before frame `from` (the start when untimed).
    auto seek = [&](long long from) {
        int r = -1;
        if (s.by_bytes) {
            // The last keyframe that shows at or before the frame: the frames
            // shown from it on are decoded from it on.
            const std::int64_t t = s.timed ? s.times[std::size_t(from)] : INT64_MIN;
            auto key = std::upper_bound(s.keys.begin(), s.keys.end(), std::pair{t, INT64_MAX});
            const std::int64_t pos = key == s.keys.begin() ? 0 : std::prev(key)->second;
            r = avformat_seek_file(f, -1, INT64_MIN, pos, INT64_MAX, AVSEEK_FLAG_BYTE);
        }
        if (s.timed && r < 0) r = av_seek_frame(f, s.stream, s.times[std::size_t(from)], AVSEEK_FLAG_BACKWARD);
        if (r < 0) r = av_seek_frame(f, s.stream, s.times.front(), AVSEEK_FLAG_BACKWARD);
        if (r < 0) r = avformat_seek_file(f, -1, INT64_MIN, 0, INT64_MAX, AVSEEK_FLAG_BYTE);
        if (r < 0) throw frame_fault("the file cannot be searched: " + error_text(r));
        avcodec_flush_buffers(s.decoder);
        s.draining = false;
        s.positioned = false;
        s.next = s.timed ? -1 : 0;
    };
    // The next decoded frame; false at the end of the stream.
    auto decode = [&]() -> bool {
        for (;;) {
            const int r = avcodec_receive_frame(s.decoder, s.frame);
            if (r == 0) return true;
            if (r == AVERROR_EOF) return false;
            if (r != AVERROR(EAGAIN)) throw frame_fault(error_text(r));
            if (s.draining) return false;
            const int got = av_read_frame(f, s.packet);
            if (got < 0) {
                s.draining = true;
                avcodec_send_packet(s.decoder, nullptr);
                continue;
            }
            if (s.packet->stream_index == s.stream) {
                const int sent = avcodec_send_packet(s.decoder, s.packet);
                av_packet_unref(s.packet);
                if (sent < 0 && sent != AVERROR(EAGAIN)) throw frame_fault(error_text(sent));
            } else {
                av_packet_unref(s.packet);
            }
        }
    };
    // The number of the frame just decoded.
    auto number_of = [&]() -> long long {
        if (!s.timed) return s.next;
        std::int64_t t = s.frame->best_effort_timestamp;
        if (t == AV_NOPTS_VALUE) t = s.frame->pts;
        const auto at = std::lower_bound(s.times.begin(), s.times.end(), t);
        if (at != s.times.end() && *at == t) return at - s.times.begin();
        return s.next >= 0 ? s.next : 0;
    };

    if (number >= static_cast<long long>(s.times.size())) throw frame_fault("the file ends before it: it is cut short");
    // Frames a little ahead are decoded to; others are sought.
    constexpr long long decode_ahead = 48;
    if (!s.positioned || number < s.next || number > s.next + decode_ahead) seek(number);
    bool restarted = false;
    for (;;) {
        if (!decode()) {
            s.positioned = false;
            throw frame_fault("the stream ends before it");
        }
        if (s.frame->decode_error_flags != 0 || (s.frame->flags & AV_FRAME_FLAG_CORRUPT)) {
            s.positioned = false;
            throw frame_fault("its data is damaged");
        }
        const long long got = number_of();
        s.next = got + 1;
        s.positioned = true;
        if (got < number) continue;
        if (got > number) {
            // The seek landed past the frame: decode from the start instead.
            if (restarted || !s.timed) throw frame_fault("it is missing from the stream");
            restarted = true;
            seek(0);
            continue;
        }
        break;
    }

    AVFrame* fr = s.frame;
    const AVPixelFormat from = AVPixelFormat(fr->format);
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(from);
    const bool alpha = info_.alpha;
    const int samples = alpha ? 4 : 3;
    const int* coefficients = nullptr;
    bool full = false;
    if (desc && !(desc->flags & AV_PIX_FMT_FLAG_RGB)) {
        ColourTags tags = info_.tags;
        if (fr->colorspace != AVCOL_SPC_UNSPECIFIED) tags.matrix = fr->colorspace;
        if (fr->color_range != AVCOL_RANGE_UNSPECIFIED) tags.range = fr->color_range;
        const std::string_view name = desc->name;
        full = tags.range == AVCOL_RANGE_JPEG || name.starts_with("yuvj");
        coefficients = sws_getCoefficients(matrix_for(tags, fr->height));
    }
    if (!s.conversion.prepare(from, fr->width, fr->height, samples, coefficients, full))
        throw frame_fault(std::string("no conversion from ") + (desc ? desc->name : "its samples"));
    const std::size_t size = std::size_t(fr->width) * std::size_t(fr->height) * std::size_t(samples);
    picture.width = fr->width;
    picture.height = fr->height;
    picture.samples = samples;
    picture.pixel_aspect = info_.pixel_aspect;
    if (picture.data.size() != size) picture.data.resize(size);
    s.conversion.convert(fr->data, fr->linesize, picture.data.data());
    av_frame_unref(fr);
}

}  // namespace trellin_video
