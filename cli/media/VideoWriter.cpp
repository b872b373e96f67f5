/* VideoWriter.cpp — encoder and muxer set up from the plan, frames and audio packets through them, and every
   result checked. */
#include "media/VideoWriter.h"

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include <cstring>

#include "common/Cleanup.h"
#include "common/Errors.h"

namespace cfcli::media {

AudioPlan planAudio(const AVOutputFormat* container, const AVStream& audio, const std::string& inputName,
                    const std::string& outputName)
{
    const AVCodecID id = audio.codecpar->codec_id;
    int takes = avformat_query_codec(container, id, FF_COMPLIANCE_NORMAL);
    if (id == AV_CODEC_ID_OPUS && std::strcmp(container->name, "mov") == 0) {
        takes = 0; /* listed as taken, yet the header is refused unless experimental features are allowed */
    }
    if (takes == 1 || (takes < 0 && id == container->audio_codec)) {
        return {AudioMode::Copy, nullptr, ""};
    }
    const AVCodec* encoder =
        container->audio_codec != AV_CODEC_ID_NONE ? avcodec_find_encoder(container->audio_codec) : nullptr;
    if (encoder != nullptr) {
        return {AudioMode::Encode, encoder,
                "the audio of " + quoteName(inputName) + " is re-encoded as " + encoder->name + ": the format of " +
                    quoteName(outputName) + " does not take " + avcodec_get_name(id) + " as it is"};
    }
    return {AudioMode::None, nullptr,
            "the audio of " + quoteName(inputName) + " is left out: the format of " + quoteName(outputName) +
                " cannot hold audio"};
}

VideoWriter::VideoWriter(const WriterSetup& setup) : setup_(setup), output_(*setup.output)
{
    AVFormatContext* raw = output_.format();
    int err = 0;
    if (std::strcmp(raw->oformat->name, "yuv4mpegpipe") == 0) {
        raw->strict_std_compliance = FF_COMPLIANCE_UNOFFICIAL; /* deep formats are not in the format's first list */
    }

    const AVCodec* codec = setup.video.codec;
    encoder_ = makeCodec(codec);
    encoder_->width = setup.width;
    encoder_->height = setup.height;
    encoder_->pix_fmt = setup.video.format;
    timing_ = chooseTiming(output_.container(), codec, setup.timeBase, setup.frameRate, setup.gridRate, output_.name());
    if (!timing_.note.empty() && setup.note) {
        setup.note(timing_.note);
    }
    encoder_->time_base = timing_.timeBase;
    encoder_->framerate = timing_.frameRate;
    encoder_->sample_aspect_ratio = setup.sampleAspect;
    encoder_->thread_count = 0;
    const bool rgb = isRgbFormat(setup.video.format);
    encoder_->colorspace = rgb ? AVCOL_SPC_RGB : setup.colour.matrix;
    encoder_->color_range = rgb ? AVCOL_RANGE_JPEG : setup.colour.range;
    encoder_->color_primaries = setup.colour.primaries;
    encoder_->color_trc = setup.colour.transfer;
    if (output_.container()->flags & AVFMT_GLOBALHEADER) {
        encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    AVDictionary* options = nullptr;
    if (std::strcmp(codec->name, "libvpx-vp9") == 0) {
        /* libvpx's own default is a low fixed bit rate; constant quality as for H.264 suits any size */
        av_dict_set(&options, "crf", "31", 0);
        av_dict_set(&options, "b", "0", 0);
        av_dict_set(&options, "row-mt", "1", 0);
        av_dict_set(&options, "cpu-used", "4", 0);
    }
    if (std::strcmp(codec->name, "libx265") == 0) {
        av_dict_set(&options, "x265-params", "log-level=error", 0); /* not its banner and statistics */
    }
    if (setup.crf) {
        if (av_opt_find(encoder_->priv_data, "crf", nullptr, 0, 0) == nullptr) {
            av_dict_free(&options);
            throw UsageError(std::string("--crf: the ") + codec->name +
                             " encoder has no constant-quality setting; give its own options with --encoder-opt");
        }
        av_dict_set_int(&options, "crf", *setup.crf, 0);
    }
    for (const auto& [key, value] : setup.encoderOptions) {
        av_dict_set(&options, key.c_str(), value.c_str(), 0);
    }
    {
        const cleanup::InterruptsBlocked blocked; /* the codec's threads start here */
        err = avcodec_open2(encoder_.get(), codec, &options);
    }
    if (err < 0) {
        av_dict_free(&options);
        output_.fail(std::string("the ") + codec->name + " encoder does not open with " +
                 av_get_pix_fmt_name(setup.video.format) + " at " + std::to_string(setup.width) + "x" +
                 std::to_string(setup.height),
             err);
    }
    if (const AVDictionaryEntry* left = av_dict_get(options, "", nullptr, AV_DICT_IGNORE_SUFFIX)) {
        const std::string key = left->key;
        av_dict_free(&options);
        throw UsageError("--encoder-opt " + quoteName(key) + ": the " + codec->name + " encoder has no such option");
    }
    av_dict_free(&options);

    videoStream_ = output_.addStream();
    avcodec_parameters_from_context(videoStream_->codecpar, encoder_.get());
    videoStream_->time_base = encoder_->time_base;
    videoStream_->avg_frame_rate = timing_.frameRate;
    videoStream_->r_frame_rate = timing_.frameRate;
    videoStream_->sample_aspect_ratio = setup.sampleAspect;
    if (!setup.displayMatrix.empty()) {
        std::uint8_t* data = av_stream_new_side_data(videoStream_, AV_PKT_DATA_DISPLAYMATRIX, setup.displayMatrix.size());
        if (data != nullptr) {
            std::memcpy(data, setup.displayMatrix.data(), setup.displayMatrix.size());
        }
    }

    if (setup.audio != nullptr && setup.audioPlan.mode != AudioMode::None) {
        audioStream_ = output_.addStream();
        if (setup.audioPlan.mode == AudioMode::Copy) {
            avcodec_parameters_copy(audioStream_->codecpar, setup.audio->codecpar);
            audioStream_->codecpar->codec_tag = 0;
            audioStream_->time_base = setup.audio->time_base;
        } else {
            transcoder_ = std::make_unique<AudioTranscoder>(*setup.audio, *setup.audioPlan.encoder, *audioStream_,
                                                            (output_.container()->flags & AVFMT_GLOBALHEADER) != 0);
        }
        audioShift_ = av_rescale_q(setup.audioStart, setup.timeBase, setup.audio->time_base);
    }
    for (const AVStream* in : setup.extras) {
        AVStream* out = output_.addStream();
        avcodec_parameters_copy(out->codecpar, in->codecpar);
        out->codecpar->codec_tag = 0;
        out->time_base = in->time_base;
        out->disposition = in->disposition;
        av_dict_copy(&out->metadata, in->metadata, 0);
        extraStreams_.emplace_back(in, out);
    }

    output_.start(setup.metadata, setup.closingTags);
    frame_ = makeFrame();
    frame_->format = setup.video.format;
    frame_->width = setup.width;
    frame_->height = setup.height;
    if (av_frame_get_buffer(frame_.get(), 0) < 0) {
        throw std::bad_alloc();
    }
    packet_ = makePacket();
}

void VideoWriter::drainVideo()
{
    while (true) {
        const int err = avcodec_receive_packet(encoder_.get(), packet_.get());
        if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) {
            return;
        }
        if (err < 0) {
            output_.fail(std::string("the ") + encoder_->codec->name + " encoder failed", err);
        }
        av_packet_rescale_ts(packet_.get(), encoder_->time_base, videoStream_->time_base);
        packet_->stream_index = videoStream_->index;
        output_.write(*packet_);
    }
}

void VideoWriter::send(std::int64_t pts)
{
    frame_->pts = pts;
    lastPts_ = pts;
    frame_->sample_aspect_ratio = encoder_->sample_aspect_ratio;
    frame_->colorspace = encoder_->colorspace;
    frame_->color_range = encoder_->color_range;
    frame_->color_primaries = encoder_->color_primaries;
    frame_->color_trc = encoder_->color_trc;
    const int err = avcodec_send_frame(encoder_.get(), frame_.get());
    if (err < 0) {
        output_.fail(std::string("the ") + encoder_->codec->name + " encoder refuses a frame", err);
    }
    drainVideo();
}

void VideoWriter::write(const cfhost::World& world, std::int64_t pts)
{
    std::int64_t t = av_rescale_q_rnd(pts, setup_.timeBase, encoder_->time_base, AV_ROUND_NEAR_INF) - closedUp_;
    if (timing_.constant && lastPts_ != AV_NOPTS_VALUE) {
        /* One frame a step, as a player expects: a frame that comes before its step is dropped, and the previous
           frame (still in frame_) fills the steps a late one leaves, unless the gap is a jump in the times
           longer than any hold (a broken or restarted recording), which would write hours of one picture. */
        if (t <= lastPts_) {
            ++dropped_;
            return;
        }
        const double longest = setup_.longestHold * av_q2d(timing_.frameRate);
        if (static_cast<double>(t - lastPts_ - 1) > longest) {
            closedUp_ += t - lastPts_ - 1;
            t = lastPts_ + 1;
            ++gapsClosed_;
        }
        while (lastPts_ + 1 < t) {
            ++repeated_;
            send(lastPts_ + 1);
        }
    } else if (lastPts_ != AV_NOPTS_VALUE && t <= lastPts_) {
        t = lastPts_ + 1;
    }
    if (av_frame_make_writable(frame_.get()) < 0) {
        throw std::bad_alloc();
    }
    convert_.convert(world, setup_.colour, *frame_);
    send(t);
}

void VideoWriter::writeAudio(AVPacket* packet)
{
    for (const auto& [in, out] : extraStreams_) {
        if (packet->stream_index == in->index) {
            /* times count from the input's start, as the video's and the audio's do */
            const std::int64_t shift = av_rescale_q(setup_.audioStart, setup_.timeBase, in->time_base);
            for (std::int64_t* t : {&packet->pts, &packet->dts}) {
                if (*t != AV_NOPTS_VALUE) {
                    *t -= shift;
                }
            }
            av_packet_rescale_ts(packet, in->time_base, out->time_base);
            packet->stream_index = out->index;
            packet->pos = -1;
            output_.write(*packet);
            return;
        }
    }
    if (audioStream_ == nullptr || setup_.audio == nullptr || packet->stream_index != setup_.audio->index) {
        return;
    }
    if (packet->pts != AV_NOPTS_VALUE) {
        packet->pts -= audioShift_;
    }
    if (packet->dts != AV_NOPTS_VALUE) {
        packet->dts -= audioShift_;
    }
    if (transcoder_) {
        transcoder_->push(packet, [this](AVPacket& out) { output_.write(out); });
        return;
    }
    av_packet_rescale_ts(packet, setup_.audio->time_base, audioStream_->time_base);
    packet->stream_index = audioStream_->index;
    packet->pos = -1;
    output_.write(*packet);
}

void VideoWriter::finish(const std::function<Tags(const MuxedOutput::Span&)>& closing)
{
    if ((repeated_ > 0 || dropped_ > 0) && setup_.note) {
        const AVRational r = timing_.frameRate;
        setup_.note(std::to_string(repeated_) + " frames were repeated and " + std::to_string(dropped_) +
                    " dropped to keep the video in time: " + output_.name() + " stores only a constant rate (" +
                    std::to_string(r.num) + (r.den == 1 ? "" : "/" + std::to_string(r.den)) + " fps)");
    }
    if (gapsClosed_ > 0 && setup_.note) {
        setup_.note(std::to_string(gapsClosed_) + (gapsClosed_ == 1 ? " jump" : " jumps") +
                    " in the video's times longer than " + std::to_string(static_cast<long>(setup_.longestHold)) +
                    " s " + (gapsClosed_ == 1 ? "was" : "were") + " closed up in " + output_.name() +
                    " instead of holding one picture that long; the audio after it is no longer in step");
    }
    int err = avcodec_send_frame(encoder_.get(), nullptr);
    if (err < 0) {
        output_.fail("the encoder does not finish", err);
    }
    drainVideo();
    if (transcoder_) {
        transcoder_->finish([this](AVPacket& out) { output_.write(out); });
    }
    MuxedOutput::Span video = output_.written(videoStream_->index);
    for (std::int64_t* t : {&video.first, &video.last}) {
        if (*t != AV_NOPTS_VALUE) {
            *t = av_rescale_q(*t, videoStream_->time_base, AV_TIME_BASE_Q);
        }
    }
    output_.finish(closing ? closing(video) : Tags{});
}

} // namespace cfcli::media
