/* AudioTranscoder.cpp — decode, resample through a FIFO of encoder-sized frames, encode. */
#include "media/AudioTranscoder.h"

#include <new>

#include "common/Errors.h"

namespace cfcli::media {

namespace {

[[noreturn]] void fail(const std::string& what, int err)
{
    throw CliError("cannot re-encode the audio: " + what + " (" + errorText(err) + ")", kExitBadInput);
}

} // namespace

AudioTranscoder::AudioTranscoder(const AVStream& input, const AVCodec& encoder, AVStream& output, bool globalHeader)
    : output_(output)
{
    const AVCodec* decoder = avcodec_find_decoder(input.codecpar->codec_id);
    if (decoder == nullptr) {
        fail(std::string("no decoder for ") + avcodec_get_name(input.codecpar->codec_id), AVERROR_DECODER_NOT_FOUND);
    }
    decoder_ = makeCodec(decoder);
    avcodec_parameters_to_context(decoder_.get(), input.codecpar);
    decoder_->pkt_timebase = input.time_base;
    if (const int err = avcodec_open2(decoder_.get(), decoder, nullptr); err < 0) {
        fail("its decoder does not open", err);
    }

    encoder_ = makeCodec(&encoder);
    int rate = decoder_->sample_rate;
    if (encoder.supported_samplerates != nullptr) {
        int best = encoder.supported_samplerates[0];
        for (const int* r = encoder.supported_samplerates; *r != 0; ++r) {
            if (*r == rate) {
                best = rate;
                break;
            }
        }
        rate = best;
    }
    encoder_->sample_rate = rate;
    encoder_->sample_fmt = encoder.sample_fmts != nullptr ? encoder.sample_fmts[0] : decoder_->sample_fmt;
    if (decoder_->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
        av_channel_layout_default(&encoder_->ch_layout, decoder_->ch_layout.nb_channels);
    } else {
        av_channel_layout_copy(&encoder_->ch_layout, &decoder_->ch_layout);
    }
    if (encoder_->ch_layout.nb_channels > 2 && encoder.id == AV_CODEC_ID_MP3) {
        av_channel_layout_uninit(&encoder_->ch_layout);
        encoder_->ch_layout = AV_CHANNEL_LAYOUT_STEREO;
    }
    encoder_->time_base = AVRational{1, rate};
    if (globalHeader) {
        encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    if (const int err = avcodec_open2(encoder_.get(), &encoder, nullptr); err < 0) {
        fail(std::string("the ") + encoder.name + " encoder does not open", err);
    }
    avcodec_parameters_from_context(output.codecpar, encoder_.get());
    output.time_base = encoder_->time_base;

    SwrContext* swr = nullptr;
    int err = swr_alloc_set_opts2(&swr, &encoder_->ch_layout, encoder_->sample_fmt, encoder_->sample_rate,
                                  &decoder_->ch_layout, decoder_->sample_fmt, decoder_->sample_rate, 0, nullptr);
    resampler_.reset(swr);
    if (err < 0 || (err = swr_init(swr)) < 0) {
        fail("the resampler does not open", err);
    }
    fifo_ = av_audio_fifo_alloc(encoder_->sample_fmt, encoder_->ch_layout.nb_channels, 4096);
    if (fifo_ == nullptr) {
        throw std::bad_alloc();
    }
    decoded_ = makeFrame();
    chunk_ = makeFrame();
    packet_ = makePacket();
}

AudioTranscoder::~AudioTranscoder()
{
    if (fifo_ != nullptr) {
        av_audio_fifo_free(fifo_);
    }
}

void AudioTranscoder::push(AVPacket* packet, const std::function<void(AVPacket&)>& out)
{
    if (avcodec_send_packet(decoder_.get(), packet) < 0) {
        return; /* an undecodable audio packet is left out; the decoder has said why */
    }
    while (avcodec_receive_frame(decoder_.get(), decoded_.get()) >= 0) {
        if (nextPts_ == AV_NOPTS_VALUE) {
            const std::int64_t ts = decoded_->best_effort_timestamp;
            nextPts_ = ts == AV_NOPTS_VALUE ? 0 : av_rescale_q(ts, decoder_->pkt_timebase, encoder_->time_base);
        }
        const int room = swr_get_out_samples(resampler_.get(), decoded_->nb_samples);
        if (av_audio_fifo_realloc(fifo_, av_audio_fifo_size(fifo_) + room) < 0) {
            throw std::bad_alloc();
        }
        uint8_t** planes = nullptr;
        int lines = 0;
        if (av_samples_alloc_array_and_samples(&planes, &lines, encoder_->ch_layout.nb_channels, room,
                                               encoder_->sample_fmt, 0) < 0) {
            throw std::bad_alloc();
        }
        const int got = swr_convert(resampler_.get(), planes, room, const_cast<const uint8_t**>(decoded_->extended_data),
                                    decoded_->nb_samples);
        if (got > 0) {
            av_audio_fifo_write(fifo_, reinterpret_cast<void**>(planes), got);
        }
        av_freep(&planes[0]);
        av_freep(&planes);
        av_frame_unref(decoded_.get());
        encodeReady(false, out);
    }
}

void AudioTranscoder::encodeReady(bool all, const std::function<void(AVPacket&)>& out)
{
    const bool variable = encoder_->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE;
    const int size = encoder_->frame_size > 0 && !variable ? encoder_->frame_size : 1024;
    while (av_audio_fifo_size(fifo_) >= size || (all && av_audio_fifo_size(fifo_) > 0)) {
        const int n = std::min(size, av_audio_fifo_size(fifo_));
        av_frame_unref(chunk_.get());
        chunk_->nb_samples = n;
        chunk_->format = encoder_->sample_fmt;
        chunk_->sample_rate = encoder_->sample_rate;
        av_channel_layout_copy(&chunk_->ch_layout, &encoder_->ch_layout);
        if (av_frame_get_buffer(chunk_.get(), 0) < 0) {
            throw std::bad_alloc();
        }
        av_audio_fifo_read(fifo_, reinterpret_cast<void**>(chunk_->data), n);
        chunk_->pts = nextPts_ == AV_NOPTS_VALUE ? 0 : nextPts_;
        nextPts_ = chunk_->pts + n;
        if (const int err = avcodec_send_frame(encoder_.get(), chunk_.get()); err < 0) {
            fail("the encoder refuses a frame", err);
        }
        drain(out);
    }
}

void AudioTranscoder::drain(const std::function<void(AVPacket&)>& out)
{
    while (avcodec_receive_packet(encoder_.get(), packet_.get()) >= 0) {
        av_packet_rescale_ts(packet_.get(), encoder_->time_base, output_.time_base);
        packet_->stream_index = output_.index;
        out(*packet_);
        av_packet_unref(packet_.get());
    }
}

void AudioTranscoder::finish(const std::function<void(AVPacket&)>& out)
{
    push(nullptr, out);
    encodeReady(true, out);
    avcodec_send_frame(encoder_.get(), nullptr);
    drain(out);
}

} // namespace cfcli::media
