/* VideoReader.cpp — opening the input with libavformat, choosing a decoder that keeps alpha, reading what the
   stream declares, and the read/decode loop that counts damage instead of stopping at it. */
#include "media/VideoReader.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "common/Cleanup.h"
#include "common/Errors.h"

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

/* A colour tag as the file gave it. Some demuxers copy any number into these fields: one that names nothing
   counts as unspecified. Read as the integer it is stored as, since such a number is no value of the type. */
template <typename Tag>
Tag knownTag(const Tag& field, int count, const char* (*name)(Tag), Tag unspecified)
{
    static_assert(sizeof(Tag) == sizeof(int));
    int value = 0;
    std::memcpy(&value, &field, sizeof value);
    return value >= 0 && value < count && name(static_cast<Tag>(value)) != nullptr ? static_cast<Tag>(value)
                                                                                  : unspecified;
}

/* A time no real file reaches in any time base (2^60 ticks: 400,000 years at 90 kHz). Times within it can be
   subtracted from each other without overflow; a time beyond it is damage, and counts as none. */
bool usableTime(std::int64_t t)
{
    constexpr std::int64_t kFar = std::int64_t{1} << 60;
    return t != AV_NOPTS_VALUE && t > -kFar && t < kFar;
}

} // namespace

VideoReader::VideoReader(const std::string& path, const ReaderOptions& options)
    : name_(quoteName(path)), limits_(options.limits)
{
    Log::install();
    Log::HeldInput held; /* refused, the input gets one line: the reason */
    AVDictionary* dict = nullptr;
    for (const auto& [key, value] : options.demuxerOptions) {
        av_dict_set(&dict, key.c_str(), value.c_str(), 0);
    }
    /* a demuxer that meets more streams fails (its message below says why) or leaves them out */
    av_dict_set_int(&dict, "max_streams", limits_.maxStreams, 0);
    const AVInputFormat* forced = options.format.empty() ? nullptr : av_find_input_format(options.format.c_str());
    AVFormatContext* raw = avformat_alloc_context();
    if (raw == nullptr) {
        av_dict_free(&dict);
        throw std::bad_alloc();
    }
    /* FFmpeg asks before every read of a file whether to stop: an input that reads on without giving a packet
       (a device, junk a parser keeps buffering) is stopped there */
    raw->interrupt_callback = AVIOInterruptCB{&VideoReader::onInterrupt, this};
    if (options.io != nullptr) {
        raw->pb = options.io;
        raw->flags |= AVFMT_FLAG_CUSTOM_IO;
    }
    context_ = raw;
    Log::takeOutputError(); /* what a demuxer's helpers log while opening tells the reason better than its code */
    int err = 0;
    {
        /* a header may claim tables far larger than the file (an MP4 index of billions of samples) */
        const AllocationLimit limit(kHeaderAllocationLimit);
        err = avformat_open_input(&raw, path.c_str(), forced, &dict);
    }
    av_dict_free(&dict);
    if (err < 0) {
        context_ = nullptr; /* freed by the failed open */
        const std::string logged = Log::takeOutputError();
        const std::string why = held.first(); /* the demuxer's own words, when its code says little */
        refuse(!stop_.empty()    ? stop_
               : !logged.empty() ? logged
                                 : errorText(err) + (why.empty() ? "" : " (" + why + ")"));
    }
    format_.reset(raw);
    err = avformat_find_stream_info(raw, nullptr);
    if (!stop_.empty() || err < 0) {
        refuse(!stop_.empty() ? stop_ : errorText(err));
    }
    videoIndex_ = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (videoIndex_ < 0) {
        refuse("it holds no video or image");
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
        refuse(std::string("no decoder for its video (") + avcodec_get_name(video->codecpar->codec_id) + ")");
    }
    const AVCodecParameters* par = video->codecpar;
    if (par->width <= 0 || par->height <= 0) {
        refuse("its video has no frame size");
    }
    if (!limits::frameSizeAllowed(par->width, par->height, limits_.maxPixels)) {
        refuse("its frames are " + std::to_string(par->width) + "x" + std::to_string(par->height) +
               ", more than this command reads (" + std::to_string(limits::kMaxSide) + " pixels a side and " +
               std::to_string(limits_.maxPixels) + " in all)");
    }
    decoder_ = makeCodec(codec);
    avcodec_parameters_to_context(decoder_.get(), video->codecpar);
    decoder_->max_pixels = limits_.maxPixels; /* a size the stream itself changes to is held to the same bound */
    decoder_->pkt_timebase = video->time_base;
    decoder_->thread_count = 0;
    decoder_->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    {
        const cleanup::InterruptsBlocked blocked; /* the codec's threads start here */
        err = avcodec_open2(decoder_.get(), codec, nullptr);
    }
    if (err < 0) {
        refuse(std::string("the ") + codec->name + " decoder refuses it (" + errorText(err) + ")");
    }
    packet_ = makePacket();

    info_.width = par->width;
    info_.height = par->height;
    info_.format = static_cast<AVPixelFormat>(par->format);
    if (codec->id == AV_CODEC_ID_VP9 && std::string(codec->name) == "libvpx-vp9") {
        info_.format = AV_PIX_FMT_YUVA420P;
    }
    info_.bits = componentBits(info_.format) > 8 ? 16 : 8;
    /* RGB pictures have no matrix whatever their tags say (PNG or QuickTime Animation in MOV say none) */
    const bool rgb = isRgbFormat(info_.format) && av_pix_fmt_desc_get(info_.format)->nb_components >= 3;
    const Colour tagged{
        rgb ? AVCOL_SPC_RGB : knownTag(par->color_space, AVCOL_SPC_NB, av_color_space_name, AVCOL_SPC_UNSPECIFIED),
        rgb ? AVCOL_RANGE_JPEG
            : knownTag(par->color_range, AVCOL_RANGE_NB, av_color_range_name, AVCOL_RANGE_UNSPECIFIED),
        knownTag(par->color_primaries, AVCOL_PRI_NB, av_color_primaries_name, AVCOL_PRI_UNSPECIFIED),
        knownTag(par->color_trc, AVCOL_TRC_NB, av_color_transfer_name, AVCOL_TRC_UNSPECIFIED)};
    info_.colour = resolveColour(tagged, info_.height);
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
    if (!usableTime(info_.start)) {
        info_.start = 0;
    }
    if (video->nb_frames > 0) {
        info_.declaredFrames = static_cast<long>(video->nb_frames);
    } else if (video->duration != AV_NOPTS_VALUE && video->duration > 0) {
        info_.declaredFrames = static_cast<long>(av_rescale_q(video->duration, video->time_base, av_inv_q(info_.frameRate)));
    } else if (raw->duration != AV_NOPTS_VALUE && raw->duration > 0) {
        info_.declaredFrames = static_cast<long>(av_rescale_q(raw->duration, AV_TIME_BASE_Q, av_inv_q(info_.frameRate)));
    }
    if (info_.declaredFrames > limits_.maxFrames) {
        refuse("it declares " + std::to_string(info_.declaredFrames) + " frames, more than the " +
               std::to_string(limits_.maxFrames) + " a render can number");
    }
    madeProgress();
    held.show();
}

int VideoReader::onInterrupt(void* reader)
{
    return static_cast<VideoReader*>(reader)->overBudget() ? 1 : 0;
}

bool VideoReader::overBudget()
{
    const AVIOContext* pb = context_ != nullptr ? context_->pb : nullptr;
    if (!stop_.empty() || pb == nullptr) {
        return !stop_.empty();
    }
    /* a raw frame is one packet: the allowance grows by two of the largest the file declares */
    std::int64_t rawFrame = 0;
    for (unsigned i = 0; i < context_->nb_streams; ++i) {
        const AVCodecParameters* p = context_->streams[i]->codecpar;
        if (p->codec_type == AVMEDIA_TYPE_VIDEO && limits::frameSizeAllowed(p->width, p->height, limits_.maxPixels)) {
            rawFrame = std::max(rawFrame, std::int64_t{p->width} * p->height * 8);
        }
    }
    const std::int64_t read = pb->bytes_read - progressAt_;
    if (read <= limits_.bytesWithoutPacket + 2 * rawFrame) {
        return false;
    }
    stop_ = std::to_string(read >> 20) + " MiB of it read without finding a frame (it is no video, or damaged)";
    return true;
}

void VideoReader::madeProgress()
{
    const AVIOContext* pb = context_ != nullptr ? context_->pb : nullptr;
    progressAt_ = pb != nullptr ? pb->bytes_read : 0;
}

void VideoReader::refuse(const std::string& reason) const
{
    throw UsageError("cannot read " + name_ + ": " + reason);
}

void VideoReader::endAtLimit()
{
    if (framesGiven_ == 0) {
        refuse(stop_);
    }
    ++errors_;
    std::fprintf(stderr, "crumbleforge: input: %s: %s; the rest is left out\n", name_.c_str(), stop_.c_str());
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
        if (frame.best_effort_timestamp != AV_NOPTS_VALUE && !usableTime(frame.best_effort_timestamp)) {
            ++errors_;
            frame.best_effort_timestamp = AV_NOPTS_VALUE;
        }
        if (firstFrame_ == AV_NOPTS_VALUE) {
            firstFrame_ = frame.best_effort_timestamp;
        }
        packetsWithoutFrame_ = 0;
        ++framesGiven_;
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
    madeProgress();
    packetsWithoutFrame_ = 0;
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
        madeProgress();
        if (packet_->stream_index == videoIndex_ && !(packet_->flags & AV_PKT_FLAG_DISCARD)) {
            if (++m.frames > limits_.maxFrames) {
                refuse("it holds more than the " + std::to_string(limits_.maxFrames) + " frames a render can number");
            }
            const std::int64_t t = packet_->pts != AV_NOPTS_VALUE ? packet_->pts : packet_->dts;
            if (!usableTime(t)) {
                timed = false;
            } else {
                m.first = m.first == AV_NOPTS_VALUE ? t : std::min(m.first, t);
                m.last = m.last == AV_NOPTS_VALUE ? t : std::max(m.last, t);
            }
        }
        av_packet_unref(packet_.get());
    }
    if (!stop_.empty()) {
        refuse(stop_);
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
            if (!stop_.empty()) {
                endAtLimit();
            } else if (err != AVERROR_EOF) {
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
        madeProgress();
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
            if (++packetsWithoutFrame_ > limits_.packetsWithoutFrame) {
                stop_ = std::to_string(limits_.packetsWithoutFrame) + " video packets in a row decode to no frame";
                av_packet_unref(packet_.get());
                endAtLimit();
                avcodec_send_packet(decoder_.get(), nullptr);
                draining_ = true;
                continue;
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
