/* Av.h — owning handles for FFmpeg's C objects (formats, codecs, frames, packets, scalers) and the one place
   that turns its error codes and log lines into our messages. */
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <functional>
#include <memory>
#include <string>

namespace cfcli::media {

struct InputFormatFree {
    void operator()(AVFormatContext* c) const noexcept { avformat_close_input(&c); }
};
struct OutputFormatFree {
    void operator()(AVFormatContext* c) const noexcept
    {
        if (c != nullptr && c->pb != nullptr && !(c->oformat->flags & AVFMT_NOFILE)) {
            avio_closep(&c->pb);
        }
        avformat_free_context(c);
    }
};
struct CodecFree {
    void operator()(AVCodecContext* c) const noexcept { avcodec_free_context(&c); }
};
struct FrameFree {
    void operator()(AVFrame* f) const noexcept { av_frame_free(&f); }
};
struct PacketFree {
    void operator()(AVPacket* p) const noexcept { av_packet_free(&p); }
};
struct ScalerFree {
    void operator()(SwsContext* s) const noexcept { sws_freeContext(s); }
};
struct ResamplerFree {
    void operator()(SwrContext* s) const noexcept { swr_free(&s); }
};

using InputFormat = std::unique_ptr<AVFormatContext, InputFormatFree>;
using OutputFormat = std::unique_ptr<AVFormatContext, OutputFormatFree>;
using Codec = std::unique_ptr<AVCodecContext, CodecFree>;
using Frame = std::unique_ptr<AVFrame, FrameFree>;
using Packet = std::unique_ptr<AVPacket, PacketFree>;
using Scaler = std::unique_ptr<SwsContext, ScalerFree>;
using Resampler = std::unique_ptr<SwrContext, ResamplerFree>;

/* Allocations that cannot fail quietly: std::bad_alloc when FFmpeg returns null. */
Frame makeFrame();
Packet makePacket();
Codec makeCodec(const AVCodec* codec);

/* While one lives, no single allocation of FFmpeg's libraries may pass `bytes` (they fail with ENOMEM instead):
   for opening files whose headers can claim tables far larger than the file (an MP4 index of billions of
   samples). Afterwards the libraries' own limit (INT_MAX) holds again. */
class AllocationLimit {
public:
    explicit AllocationLimit(std::size_t bytes);
    ~AllocationLimit();
    AllocationLimit(const AllocationLimit&) = delete;
    AllocationLimit& operator=(const AllocationLimit&) = delete;
};

/* Room for the headers and the index of a file of millions of frames, and for a decoded 8K frame. */
inline constexpr std::size_t kHeaderAllocationLimit = std::size_t{256} << 20;

/* FFmpeg's text for an error code ("Invalid data found when processing input"). */
std::string errorText(int err);

/* FFmpeg's log: below errors nothing is shown. Errors of demuxers and decoders are damage in the input: they
   are printed as they happen ("crumbleforge: input: ...") and counted. Errors of encoders and muxers are kept:
   the last one explains the failure that follows it. */
class Log {
public:
    static void install();
    /* Errors that the input side (demuxers, decoders) has logged since the program started. */
    static long inputErrors();
    /* The last error line an encoder or muxer logged, then forgotten; empty when there was none. */
    static std::string takeOutputError();

    /* While one lives, errors of the input are kept back (still counted): shown when show() is called, dropped
       otherwise. An input that is refused while it opens ends with one line that says why. */
    class HeldInput {
    public:
        HeldInput();
        ~HeldInput();
        HeldInput(const HeldInput&) = delete;
        HeldInput& operator=(const HeldInput&) = delete;
        void show();
        /* The first error held back; empty when there was none. */
        std::string first() const;
    };
};

/* Names of every encoder of a media type, and of every pixel format one encoder takes, for messages. */
std::string encoderNames(AVMediaType type);
std::string pixelFormatNames(const AVCodec* codec);

} // namespace cfcli::media
