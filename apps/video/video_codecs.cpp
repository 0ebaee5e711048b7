#include "apps/video/video_codecs.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <utility>
#include <vector>

#include "apps/video/video_libraries.h"

namespace trellin_video {

namespace {

struct ContainerDefault {
    const char* extension;
    const char* muxer;
    const char* encoder;
    const char* pix_fmt;
    const char* alpha_pix_fmt;  // null: the default codec keeps no alpha
    int crf;
    const char* profile;
};

constexpr ContainerDefault defaults[] = {
    {".mov", "mov", "prores_ks", "yuv444p10le", "yuva444p10le", -1, "4444"},
    {".mkv", "matroska", "ffv1", "gbrp16le", "gbrap16le", -1, nullptr},
    {".mp4", "mp4", "libx264", "yuv420p", nullptr, 18, nullptr},
    {".mxf", "mxf", "dnxhd", "yuv422p10le", nullptr, -1, "dnxhr_hqx"},
    {".webm", "webm", "libvpx-vp9", "yuv420p", "yuva420p", 24, nullptr},
};

// The codecs offered in messages, in this order, where the container takes them.
constexpr const char* offered[] = {"prores_ks",  "ffv1",      "libx264",    "libx265",  "dnxhd",   "libvpx-vp9",
                                   "libaom-av1", "libsvtav1", "mpeg2video", "mpeg4",    "mjpeg",   "png",
                                   "qtrle",      "utvideo",   "huffyuv",    "rawvideo", "jpeg2000"};

// The highest constant rate factor of encoders whose FFmpeg option allows
// more than they take (their lowest is 0).
constexpr std::pair<const char*, int> crf_ranges[] = {{"libx264", 51},  {"libx264rgb", 51}, {"libx265", 51},
                                                      {"libvpx", 63},   {"libvpx-vp9", 63}, {"libaom-av1", 63},
                                                      {"libsvtav1", 63}};

// The video codecs MXF holds (its muxer lists none).
constexpr AVCodecID mxf_codecs[] = {AV_CODEC_ID_DNXHD,   AV_CODEC_ID_MPEG2VIDEO, AV_CODEC_ID_H264,
                                    AV_CODEC_ID_DVVIDEO, AV_CODEC_ID_JPEG2000,   AV_CODEC_ID_PRORES};

std::string lower_extension(const std::string& path)
{
    std::string e = std::filesystem::path(path).extension().string();
    std::transform(e.begin(), e.end(), e.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return e;
}

const ContainerDefault* container_of(const std::string& path)
{
    const std::string e = lower_extension(path);
    for (const ContainerDefault& d : defaults)
        if (e == d.extension) return &d;
    return nullptr;
}

// Whether the muxer's own set-up takes a picture stream of `id`, tried on a
// file written nowhere. Some muxers list codecs that one of their kinds
// refuses when the file is begun: mov lists VP9 but writes it to .mp4 only.
bool muxer_sets_up(const AVOutputFormat* muxer, AVCodecID id)
{
    quiet_libraries();
    AVFormatContext* f = nullptr;
    if (avformat_alloc_output_context2(&f, muxer, nullptr, nullptr) < 0 || !f) return false;
    bool takes = false;
    AVStream* st = avformat_new_stream(f, nullptr);
    if (st && avio_open_dyn_buf(&f->pb) >= 0) {
        st->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
        st->codecpar->codec_id = id;
        st->codecpar->width = 64;
        st->codecpar->height = 64;
        st->time_base = AVRational{1, 25};
        takes = avformat_init_output(f, nullptr) >= 0;
        std::uint8_t* bytes = nullptr;
        avio_close_dyn_buf(f->pb, &bytes);
        av_free(bytes);
        f->pb = nullptr;
    }
    avformat_free_context(f);
    return takes;
}

bool container_takes(const AVOutputFormat* muxer, AVCodecID id)
{
    if (std::string(muxer->name) == "mxf") return std::ranges::find(mxf_codecs, id) != std::end(mxf_codecs);
    return avformat_query_codec(muxer, id, FF_COMPLIANCE_NORMAL) == 1 && muxer_sets_up(muxer, id);
}

std::string offered_names(const AVOutputFormat* muxer)
{
    std::string names;
    for (const char* name : offered) {
        const AVCodec* c = avcodec_find_encoder_by_name(name);
        if (!c || !container_takes(muxer, c->id)) continue;
        names += (names.empty() ? "" : ", ") + std::string(name);
    }
    return names;
}

std::vector<std::string> pix_fmt_names(const AVCodec* codec)
{
    std::vector<std::string> names;
    for (const AVPixelFormat* p = codec->pix_fmts; p && *p != AV_PIX_FMT_NONE; ++p)
        names.emplace_back(av_get_pix_fmt_name(*p));
    return names;
}

std::string joined(const std::vector<std::string>& names, std::size_t most = 24)
{
    std::string text;
    for (std::size_t i = 0; i < names.size() && i < most; ++i) text += (i ? ", " : "") + names[i];
    if (names.size() > most) text += ", ...";
    return text;
}

bool has_alpha(AVPixelFormat f)
{
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(f);
    return d && (d->flags & AV_PIX_FMT_FLAG_ALPHA);
}

std::int64_t parse_bitrate(const std::string& text)
{
    std::size_t used = 0;
    double value = 0;
    try {
        value = std::stod(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    double scale = 1;
    const std::string rest = text.substr(used);
    if (rest == "k" || rest == "K")
        scale = 1e3;
    else if (rest == "M" || rest == "m")
        scale = 1e6;
    else if (rest == "G" || rest == "g")
        scale = 1e9;
    else if (!rest.empty())
        used = 0;
    const double bits = value * scale;
    if (used == 0 || !std::isfinite(bits) || bits < 1000 || bits > 1e11)
        throw VideoOptionError("--bitrate " + text + ": not a bitrate (give bits per second, e.g. 8M or 800k)");
    return static_cast<std::int64_t>(bits);
}

}  // namespace

bool is_video_output(const std::string& path)
{
    return container_of(path) != nullptr;
}

VideoOutputPlan plan_video_output(const std::string& path, const VideoCodecOptions& options, bool alpha)
{
    const ContainerDefault* d = container_of(path);
    if (!d)
        throw VideoOptionError(path +
                               ": no video container known for its extension (use .mov, .mkv, .mp4, "
                               ".mxf or .webm)");
    const AVOutputFormat* muxer = av_guess_format(d->muxer, nullptr, nullptr);
    if (!muxer) throw VideoOptionError(path + ": this FFmpeg cannot write " + d->muxer + " files");

    VideoOutputPlan plan;
    plan.container = d->muxer;
    const bool chosen = !options.codec.empty();
    const AVCodec* codec = nullptr;
    if (chosen) {
        codec = avcodec_find_encoder_by_name(options.codec.c_str());
        if (!codec)
            if (const AVCodecDescriptor* desc = avcodec_descriptor_get_by_name(options.codec.c_str()))
                codec = avcodec_find_encoder(desc->id);
        if (!codec || codec->type != AVMEDIA_TYPE_VIDEO)
            throw VideoOptionError("--codec " + options.codec + ": no such video encoder; for " + d->extension + ": " +
                                   offered_names(muxer));
        if (!container_takes(muxer, codec->id))
            throw VideoOptionError("--codec " + options.codec + ": " + d->extension + " files cannot hold " +
                                   avcodec_get_name(codec->id) + "; they hold " + offered_names(muxer));
    } else {
        codec = avcodec_find_encoder_by_name(d->encoder);
        if (!codec) throw VideoOptionError(path + ": this FFmpeg has no " + d->encoder + " encoder (give --codec)");
        plan.crf = d->crf;
        if (d->profile) plan.profile = d->profile;
    }
    plan.encoder = codec->name;

    const std::vector<std::string> layouts = pix_fmt_names(codec);
    if (!options.pix_fmt.empty()) {
        const AVPixelFormat f = av_get_pix_fmt(options.pix_fmt.c_str());
        if (f == AV_PIX_FMT_NONE ||
            (!layouts.empty() && std::ranges::find(layouts, av_get_pix_fmt_name(f)) == layouts.end()))
            throw VideoOptionError("--pix-fmt " + options.pix_fmt + ": " + plan.encoder + " takes " +
                                   (layouts.empty() ? std::string("no such layout") : joined(layouts)));
        plan.pix_fmt = av_get_pix_fmt_name(f);
    } else if (!chosen) {
        plan.pix_fmt = alpha && d->alpha_pix_fmt ? d->alpha_pix_fmt : d->pix_fmt;
    } else if (codec->pix_fmts) {
        const AVPixelFormat want = alpha ? AV_PIX_FMT_RGBA64LE : AV_PIX_FMT_RGB48LE;
        plan.pix_fmt = av_get_pix_fmt_name(avcodec_find_best_pix_fmt_of_list(codec->pix_fmts, want, alpha, nullptr));
    } else {
        plan.pix_fmt = alpha ? "rgba64le" : "rgb48le";
    }
    plan.alpha = has_alpha(av_get_pix_fmt(plan.pix_fmt.c_str()));

    if (options.crf >= 0) {
        const AVOption* o = codec->priv_class ? av_opt_find(const_cast<AVClass**>(&codec->priv_class), "crf", nullptr,
                                                            0, AV_OPT_SEARCH_FAKE_OBJ)
                                              : nullptr;
        if (!o) throw VideoOptionError("--crf: " + plan.encoder + " has no constant rate factor (use --bitrate)");
        // FFmpeg's option bounds some encoders' factor loosely (libx264's runs
        // to the largest float): their own ranges, where they take less.
        int lowest = std::max(0, int(o->min)), highest = int(std::min(o->max, 1e9));
        for (const auto& [encoder, top] : crf_ranges)
            if (plan.encoder == encoder) highest = std::min(highest, top);
        if (options.crf < lowest || options.crf > highest)
            throw VideoOptionError("--crf " + std::to_string(options.crf) + ": " + plan.encoder + " takes " +
                                   std::to_string(lowest) + " to " + std::to_string(highest));
        plan.crf = options.crf;
    }
    if (!options.bitrate.empty()) {
        plan.bitrate = parse_bitrate(options.bitrate);
        if (options.crf < 0) plan.crf = -1;  // a bitrate alone replaces the default quality
    }
    if (options.gop < 0) throw VideoOptionError("--gop: give a frame count of 1 or more");
    plan.gop = options.gop;
    return plan;
}

}  // namespace trellin_video
