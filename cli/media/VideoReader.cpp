/* VideoReader.cpp — opening the input with libavformat, choosing a decoder that keeps alpha, reading what the
   stream declares, and the read/decode loop that counts damage instead of stopping at it. */
#include "media/VideoReader.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cstring>

#include "Cleanup.h"
#include "Errors.h"

namespace cfcli::media {

namespace {

/* The built-in VP8/VP9 decoders drop the alpha layer; libvpx's keep it. */
const AVCodec* decoderFor(const AVStream* stream)
{
    const AVDictionaryEntry* alpha = av_dict_get(stream->metadata, "alpha_mode", nullptr, 0);
    if (alpha != nullptr && std::string(alpha->value) == "1") {
        const char* name = stream->codecpar->codec_id == AV_CODEC_ID_VP9   ? "libvpx-vp9"
                           : stream->codecpar->codec_id == AV_CODEC_ID_VP8 ? "libvpx"
                                                                           : nullptr;
        if (name != nullptr) {
            if (const AVCodec* c = avcodec_find_decoder_by_name(name)) {
                return c;
            }
        }
    }
    return avcodec_find_decoder(stream->codecpar->codec_id);
}

bool validRate(AVRational r)
{
    return r.num > 0 && r.den > 0 && av_q2d(r) < 10000;
}

} // namespace

VideoReader::VideoReader(const std::string& path, const ReaderOptions& options) : name_(quoteName(path))
{
    Log::install();
    AVDictionary* dict = nullptr;
    for (const auto& [key, value] : options.demuxerOptions) {
        av_dict_set(&dict, key.c_str(), value.c_str(), 0);
    }
    const AVInputFormat* forced = options.format.empty() ? nullptr : av_find_input_format(options.format.c_str());
    AVFormatContext* raw = nullptr;
    Log::takeOutputError(); /* what a demuxer's helpers log while opening tells the reason better than its code */
    int err = avformat_open_input(&raw, path.c_str(), forced, &dict);
    av_dict_free(&dict);
    if (err < 0) {
        const std::string logged = Log::takeOutputError();
        throw UsageError("cannot read " + name_ + ": " + (logged.empty() ? errorText(err) : logged));
    }
    format_.reset(raw);
    err = avformat_find_stream_info(raw, nullptr);
    if (err < 0) {
        throw UsageError("cannot read " + name_ + ": " + errorText(err));
    }
    videoIndex_ = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (videoIndex_ < 0) {
        throw UsageError("cannot read " + name_ + ": it holds no video or image");
    }
    /* The main picture is the largest, as ffmpeg chooses: not a thumbnail stream that happens to come first. */
    auto area = [raw](int i) {
        const AVCodecParameters* p = raw->streams[i]->codecpar;
        return static_cast<std::int64_t>(p->width) * p->height;
    };
    for (unsigned i = 0; i < raw->nb_streams; ++i) {
        const AVStream* s = raw->streams[i];
        if (s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !(s->disposition & AV_DISPOSITION_ATTACHED_PIC) &&
            area(static_cast<int>(i)) > area(videoIndex_)) {
            videoIndex_ = static_cast<int>(i);
        }
    }
    const AVStream* video = raw->streams[videoIndex_];
    const int audioIndex = av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, videoIndex_, nullptr, 0);
    if (audioIndex >= 0 && raw->streams[audioIndex]->codecpar->codec_id != AV_CODEC_ID_NONE) {
        audio_ = raw->streams[audioIndex];
    }
    for (unsigned i = 0; i < raw->nb_streams; ++i) {
        AVStream* s = raw->streams[i];
        const AVMediaType type = s->codecpar->codec_type;
        if (s != audio_ && !(s->disposition & AV_DISPOSITION_ATTACHED_PIC) &&
            (type == AVMEDIA_TYPE_AUDIO || type == AVMEDIA_TYPE_SUBTITLE) && s->codecpar->codec_id != AV_CODEC_ID_NONE) {
            extras_.push_back(s); /* read along with the audio, for outputs that take them */
        } else if (static_cast<int>(i) != videoIndex_ && s != audio_) {
            s->discard = AVDISCARD_ALL;
            if (!(s->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
                const char* typeName = av_get_media_type_string(type);
                leftOut_.push_back(std::string(typeName != nullptr ? typeName : "unknown") + " (" +
                                   avcodec_get_name(s->codecpar->codec_id) + ")");
            }
        }
    }

    const AVCodec* codec = decoderFor(video);
    if (codec == nullptr) {
        throw UsageError("cannot read " + name_ + ": no decoder for its video (" +
                         avcodec_get_name(video->codecpar->codec_id) + ")");
    }
    decoder_ = makeCodec(codec);
    avcodec_parameters_to_context(decoder_.get(), video->codecpar);
    decoder_->pkt_timebase = video->time_base;
    decoder_->thread_count = 0;
    decoder_->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    {
        const cleanup::InterruptsBlocked blocked; /* the codec's threads start here */
        err = avcodec_open2(decoder_.get(), codec, nullptr);
    }
    if (err < 0) {
        throw UsageError("cannot read " + name_ + ": the " + codec->name + " decoder refuses it (" + errorText(err) + ")");
    }
    packet_ = makePacket();

    const AVCodecParameters* par = video->codecpar;
    info_.width = par->width;
    info_.height = par->height;
    if (info_.width <= 0 || info_.height <= 0) {
        throw UsageError("cannot read " + name_ + ": its video has no frame size");
    }
    info_.format = static_cast<AVPixelFormat>(par->format);
    if (codec->id == AV_CODEC_ID_VP9 && std::string(codec->name) == "libvpx-vp9") {
        info_.format = AV_PIX_FMT_YUVA420P;
    }
    info_.bits = componentBits(info_.format) > 8 ? 16 : 8;
    /* RGB pictures have no matrix whatever their tags say (PNG or QuickTime Animation in MOV say none) */
    const bool rgb = isRgbFormat(info_.format) && av_pix_fmt_desc_get(info_.format)->nb_components >= 3;
    info_.colour = resolveColour(Colour{rgb ? AVCOL_SPC_RGB : par->color_space, rgb ? AVCOL_RANGE_JPEG : par->color_range,
                                        par->color_primaries, par->color_trc},
                                 info_.height);
    info_.timeBase = video->time_base;
    info_.frameRate = validRate(video->avg_frame_rate) ? video->avg_frame_rate
                      : validRate(video->r_frame_rate) ? video->r_frame_rate
                                                       : AVRational{24, 1};
    info_.gridRate = validRate(video->r_frame_rate) ? video->r_frame_rate : info_.frameRate;
    info_.sampleAspect = video->sample_aspect_ratio.num > 0 ? video->sample_aspect_ratio : par->sample_aspect_ratio;
    std::size_t matrixSize = 0;
    const std::uint8_t* matrix = av_stream_get_side_data(video, AV_PKT_DATA_DISPLAYMATRIX, &matrixSize);
    if (matrix != nullptr && matrixSize == 9 * sizeof(std::int32_t)) {
        info_.displayMatrix.assign(matrix, matrix + matrixSize);
    }
    if (raw->start_time != AV_NOPTS_VALUE) {
        info_.start = av_rescale_q(raw->start_time, AV_TIME_BASE_Q, video->time_base);
    } else if (video->start_time != AV_NOPTS_VALUE) {
        info_.start = video->start_time;
    }
    if (video->nb_frames > 0) {
        info_.declaredFrames = static_cast<long>(video->nb_frames);
    } else if (video->duration != AV_NOPTS_VALUE && video->duration > 0) {
        info_.declaredFrames = static_cast<long>(av_rescale_q(video->duration, video->time_base, av_inv_q(info_.frameRate)));
    } else if (raw->duration != AV_NOPTS_VALUE && raw->duration > 0) {
        info_.declaredFrames = static_cast<long>(av_rescale_q(raw->duration, AV_TIME_BASE_Q, av_inv_q(info_.frameRate)));
    }
}

bool VideoReader::receive(AVFrame& frame)
{
    while (true) {
        const int err = avcodec_receive_frame(decoder_.get(), &frame);
        if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) {
            return false;
        }
        if (err < 0) {
            ++errors_;
            continue;
        }
        if ((frame.flags & AV_FRAME_FLAG_CORRUPT) || frame.decode_error_flags != 0) {
            ++errors_;
        }
        if (frame.width != info_.width || frame.height != info_.height) {
            throw UsageError("cannot read " + name_ + ": its frames change size (" + std::to_string(info_.width) + "x" +
                             std::to_string(info_.height) + " to " + std::to_string(frame.width) + "x" +
                             std::to_string(frame.height) + ")");
        }
        if (frame.best_effort_timestamp == AV_NOPTS_VALUE) {
            frame.best_effort_timestamp = frame.pts;
        }
        if (firstFrame_ == AV_NOPTS_VALUE) {
            firstFrame_ = frame.best_effort_timestamp;
        }
        return true;
    }
}

bool VideoReader::seek(std::int64_t timestamp)
{
    /* Formats without an index (MPEG-TS/PS) seek by bytes and may land past the only keyframe at or before the
       first frame: going back to the first frame is going back to the file's first byte. */
    const bool toFirst = firstFrame_ != AV_NOPTS_VALUE && timestamp <= firstFrame_ &&
                         (format_->iformat->flags & AVFMT_TS_DISCONT) && !(format_->iformat->flags & AVFMT_NO_BYTE_SEEK);
    if (toFirst ? av_seek_frame(format_.get(), -1, 0, AVSEEK_FLAG_BYTE) < 0
                : av_seek_frame(format_.get(), videoIndex_, timestamp, AVSEEK_FLAG_BACKWARD) < 0) {
        return false;
    }
    avcodec_flush_buffers(decoder_.get());
    awaitKey_ = true;
    audioWhole_ = false;
    draining_ = false;
    ended_ = false;
    return true;
}

bool VideoReader::audioCut() const
{
    /* MP4 lists every packet of its tracks: fewer read to the end of the file is damage the demuxer does not
       report (a broken offset ends the track early). */
    /* (PCM counts samples, not packets) */
    return audio_ != nullptr && audioWhole_ && audioPackets_ > 0 && audio_->nb_frames > audioPackets_ &&
           std::strstr(format_->iformat->name, "mp4") != nullptr &&
           av_get_exact_bits_per_sample(audio_->codecpar->codec_id) == 0;
}

bool VideoReader::endsInsideFrame() const
{
    /* YUV4MPEG is frames back to back: bytes after the last whole one are a frame cut short, which its demuxer
       takes for the end of the file. (Other formats may end with an index.) */
    if (std::strcmp(format_->iformat->name, "yuv4mpegpipe") != 0 || format_->pb == nullptr || lastEnd_ <= 0) {
        return false;
    }
    const std::int64_t size = avio_size(format_->pb);
    return size > lastEnd_;
}

VideoReader::Measure VideoReader::measure()
{
    Measure m;
    bool timed = true;
    ended_ = true;
    while (av_read_frame(format_.get(), packet_.get()) >= 0) {
        if (packet_->stream_index == videoIndex_ && !(packet_->flags & AV_PKT_FLAG_DISCARD)) {
            ++m.frames;
            const std::int64_t t = packet_->pts != AV_NOPTS_VALUE ? packet_->pts : packet_->dts;
            if (t == AV_NOPTS_VALUE) {
                timed = false;
            } else {
                m.first = m.first == AV_NOPTS_VALUE ? t : std::min(m.first, t);
                m.last = m.last == AV_NOPTS_VALUE ? t : std::max(m.last, t);
            }
        }
        av_packet_unref(packet_.get());
    }
    if (!timed) {
        m.first = m.last = AV_NOPTS_VALUE;
    }
    return m;
}

bool VideoReader::next(AVFrame& frame)
{
    av_frame_unref(&frame);
    while (!ended_) {
        if (receive(frame)) {
            return true;
        }
        if (draining_) {
            ended_ = true;
            break;
        }
        const int err = av_read_frame(format_.get(), packet_.get());
        if (err < 0) {
            if (err != AVERROR_EOF) {
                ++errors_;
                std::fprintf(stderr, "crumbleforge: input: %s: %s\n", name_.c_str(), errorText(err).c_str());
            } else if (audioCut()) {
                ++errors_;
                std::fprintf(stderr, "crumbleforge: input: %s: its audio ends after %ld of the %lld packets it declares\n",
                             name_.c_str(), audioPackets_, static_cast<long long>(audio_->nb_frames));
            } else if (endsInsideFrame()) {
                ++errors_;
                std::fprintf(stderr, "crumbleforge: input: %s: it ends inside a frame, which is left out\n",
                             name_.c_str());
            }
            avcodec_send_packet(decoder_.get(), nullptr);
            draining_ = true;
            continue;
        }
        if (packet_->pos >= 0) {
            lastEnd_ = std::max(lastEnd_, packet_->pos + packet_->size);
        }
        if (packet_->stream_index == videoIndex_ && awaitKey_ && !(packet_->flags & AV_PKT_FLAG_KEY)) {
            /* a seek that lands between keyframes (MPEG-TS seeks by bytes): skipped, not damage */
        } else if (packet_->stream_index == videoIndex_) {
            awaitKey_ = false;
            const int sent = avcodec_send_packet(decoder_.get(), packet_.get());
            if (sent < 0 && sent != AVERROR(EAGAIN)) {
                ++errors_;
            }
        } else if (audio_ != nullptr && packet_->stream_index == audio_->index && audioQueue_ == nullptr) {
            audioWhole_ = false; /* not all of it is passed on: its length says nothing */
        } else if (audioQueue_ != nullptr && packet_->stream_index != videoIndex_) {
            if (audio_ != nullptr && packet_->stream_index == audio_->index) {
                ++audioPackets_;
            }
            Packet copy = makePacket();
            av_packet_move_ref(copy.get(), packet_.get());
            audioQueue_->push(std::move(copy));
        }
        av_packet_unref(packet_.get());
    }
    return false;
}

} // namespace cfcli::media
