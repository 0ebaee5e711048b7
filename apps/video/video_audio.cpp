#include "apps/video/video_audio.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <string>

#include "apps/video/video_error.h"

namespace trellin_video {

struct AudioReencoder::State {
    AVCodecContext* decoder = nullptr;
    AVCodecContext* encoder = nullptr;
    SwrContext* resampler = nullptr;
    AVAudioFifo* fifo = nullptr;
    AVFrame* decoded = nullptr;
    AVFrame* chunk = nullptr;
    AVPacket* packet = nullptr;
    AVStream* stream = nullptr;
    AVRational input_base{1, 1};
    std::int64_t next = AV_NOPTS_VALUE;  // the next sample's timestamp (1 / sample rate)

    ~State()
    {
        av_frame_free(&decoded);
        av_frame_free(&chunk);
        av_packet_free(&packet);
        av_audio_fifo_free(fifo);
        swr_free(&resampler);
        avcodec_free_context(&decoder);
        avcodec_free_context(&encoder);
    }

    int frame_size() const { return encoder->frame_size > 0 ? encoder->frame_size : 1024; }

    void drain(const std::function<void(AVPacket&)>& emit)
    {
        for (;;) {
            const int r = avcodec_receive_packet(encoder, packet);
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return;
            if (r < 0) throw VideoError("the audio cannot be encoded (" + error_text(r) + ")");
            av_packet_rescale_ts(packet, encoder->time_base, stream->time_base);
            packet->stream_index = stream->index;
            emit(*packet);
            av_packet_unref(packet);
        }
    }

    // Encodes whole frames from the queue (and the rest when `all`).
    void encode(bool all, const std::function<void(AVPacket&)>& emit)
    {
        while (av_audio_fifo_size(fifo) >= frame_size() || (all && av_audio_fifo_size(fifo) > 0)) {
            const int n = std::min(av_audio_fifo_size(fifo), frame_size());
            av_frame_unref(chunk);
            chunk->nb_samples = n;
            chunk->format = encoder->sample_fmt;
            chunk->sample_rate = encoder->sample_rate;
            av_channel_layout_copy(&chunk->ch_layout, &encoder->ch_layout);
            if (av_frame_get_buffer(chunk, 0) < 0) throw VideoError("out of memory encoding the audio");
            av_audio_fifo_read(fifo, reinterpret_cast<void**>(chunk->data), n);
            chunk->pts = next;
            next += n;
            if (const int r = avcodec_send_frame(encoder, chunk); r < 0)
                throw VideoError("the audio cannot be encoded (" + error_text(r) + ")");
            drain(emit);
        }
    }

    // Resamples `frame` (null: what the resampler holds) into the queue.
    void queue(const AVFrame* frame)
    {
        const int in = frame ? frame->nb_samples : 0;
        const int room = swr_get_out_samples(resampler, in);
        if (room <= 0) return;
        AVFrame* out = av_frame_alloc();
        out->nb_samples = room;
        out->format = encoder->sample_fmt;
        av_channel_layout_copy(&out->ch_layout, &encoder->ch_layout);
        out->sample_rate = encoder->sample_rate;
        if (av_frame_get_buffer(out, 0) < 0) {
            av_frame_free(&out);
            throw VideoError("out of memory encoding the audio");
        }
        const int got = swr_convert(resampler, out->data, room,
                                    frame ? const_cast<const std::uint8_t**>(frame->extended_data) : nullptr, in);
        if (got > 0) av_audio_fifo_write(fifo, reinterpret_cast<void**>(out->data), got);
        av_frame_free(&out);
    }
};

AudioReencoder::AudioReencoder(const AVStream& input, AVFormatContext& output) : state_(std::make_unique<State>())
{
    State& s = *state_;
    const AVCodec* decoder = avcodec_find_decoder(input.codecpar->codec_id);
    const AVCodec* encoder = avcodec_find_encoder(output.oformat->audio_codec);
    if (std::string(output.oformat->name) == "mxf") encoder = avcodec_find_encoder(AV_CODEC_ID_PCM_S24LE);
    if (!decoder) throw VideoError(std::string("no decoder for ") + avcodec_get_name(input.codecpar->codec_id));
    if (!encoder) throw VideoError(std::string("no audio encoder for ") + output.oformat->name);
    s.decoder = avcodec_alloc_context3(decoder);
    s.encoder = avcodec_alloc_context3(encoder);
    s.decoded = av_frame_alloc();
    s.chunk = av_frame_alloc();
    s.packet = av_packet_alloc();
    if (!s.decoder || !s.encoder || !s.decoded || !s.chunk || !s.packet) throw VideoError("out of memory");
    avcodec_parameters_to_context(s.decoder, input.codecpar);
    s.decoder->pkt_timebase = input.time_base;
    s.input_base = input.time_base;
    if (const int r = avcodec_open2(s.decoder, decoder, nullptr); r < 0)
        throw VideoError(std::string("the ") + decoder->name + " decoder cannot open (" + error_text(r) + ")");

    // The input's rate where the encoder takes it, else 48 kHz or the encoder's first.
    int rate = s.decoder->sample_rate;
    if (std::string(output.oformat->name) == "mxf") rate = 48000;
    if (const int* rates = encoder->supported_samplerates) {
        bool found = false;
        for (const int* r = rates; *r; ++r) found |= *r == rate;
        for (const int* r = rates; !found && *r; ++r) found = (*r == 48000) && (rate = 48000);
        if (!found) rate = rates[0];
    }
    s.encoder->sample_rate = rate;
    s.encoder->sample_fmt = encoder->sample_fmts ? encoder->sample_fmts[0] : s.decoder->sample_fmt;
    if (s.decoder->ch_layout.nb_channels > 0)
        av_channel_layout_copy(&s.encoder->ch_layout, &s.decoder->ch_layout);
    else
        av_channel_layout_default(&s.encoder->ch_layout, 2);
    if (s.encoder->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&s.encoder->ch_layout, s.encoder->ch_layout.nb_channels);
    s.encoder->time_base = AVRational{1, rate};
    if (output.oformat->flags & AVFMT_GLOBALHEADER) s.encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (const int r = avcodec_open2(s.encoder, encoder, nullptr); r < 0)
        throw VideoError(std::string("the ") + encoder->name + " encoder cannot open (" + error_text(r) + ")");

    AVChannelLayout in_layout{};
    av_channel_layout_copy(&in_layout, &s.decoder->ch_layout);
    if (in_layout.order == AV_CHANNEL_ORDER_UNSPEC) av_channel_layout_default(&in_layout, in_layout.nb_channels);
    const int r = swr_alloc_set_opts2(&s.resampler, &s.encoder->ch_layout, s.encoder->sample_fmt, rate, &in_layout,
                                      s.decoder->sample_fmt, s.decoder->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&in_layout);
    if (r < 0 || swr_init(s.resampler) < 0) throw VideoError("the audio cannot be resampled");
    s.fifo = av_audio_fifo_alloc(s.encoder->sample_fmt, s.encoder->ch_layout.nb_channels, s.frame_size());
    if (!s.fifo) throw VideoError("out of memory");

    s.stream = avformat_new_stream(&output, nullptr);
    if (!s.stream) throw VideoError("out of memory");
    avcodec_parameters_from_context(s.stream->codecpar, s.encoder);
    s.stream->time_base = s.encoder->time_base;
    av_dict_copy(&s.stream->metadata, input.metadata, 0);
    s.stream->disposition = input.disposition;
}

AudioReencoder::~AudioReencoder() = default;

AVStream& AudioReencoder::stream() const
{
    return *state_->stream;
}

std::string AudioReencoder::codec() const
{
    return state_->encoder->codec->name;
}

void AudioReencoder::feed(const AVPacket& packet, const std::function<void(AVPacket&)>& emit)
{
    State& s = *state_;
    const int sent = avcodec_send_packet(s.decoder, &packet);
    if (sent < 0 && sent != AVERROR_INVALIDDATA)
        throw VideoError("the audio cannot be decoded (" + error_text(sent) + ")");
    while (avcodec_receive_frame(s.decoder, s.decoded) == 0) {
        if (s.next == AV_NOPTS_VALUE)
            s.next = s.decoded->pts == AV_NOPTS_VALUE
                         ? 0
                         : av_rescale_q(s.decoded->pts, s.input_base, AVRational{1, s.encoder->sample_rate});
        s.queue(s.decoded);
        av_frame_unref(s.decoded);
        s.encode(false, emit);
    }
}

void AudioReencoder::finish(const std::function<void(AVPacket&)>& emit)
{
    State& s = *state_;
    if (s.next == AV_NOPTS_VALUE) s.next = 0;
    avcodec_send_packet(s.decoder, nullptr);
    while (avcodec_receive_frame(s.decoder, s.decoded) == 0) {
        s.queue(s.decoded);
        av_frame_unref(s.decoded);
    }
    s.queue(nullptr);
    s.encode(true, emit);
    avcodec_send_frame(s.encoder, nullptr);
    s.drain(emit);
}

}  // namespace trellin_video
