/* VideoReader.h — the video stream of a file (or numbered images) decoded in process: what the stream declares
   (size, depth, colour, aspect, rotation, rate, timestamps, frame count), its frames one by one with their
   timestamps, and the packets of its audio and subtitle streams passed on untouched. Damage is counted, not
   fatal: what decodes is kept. What the input claims is checked against bounds (InputLimits.h), and an input
   that reads on without giving frames is stopped. */
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/InputLimits.h"
#include "media/Av.h"
#include "media/ColorConvert.h"
#include "media/PacketQueue.h"

namespace cfcli::media {

struct VideoStreamInfo {
    int width = 0;
    int height = 0;
    AVPixelFormat format = AV_PIX_FMT_NONE;
    int bits = 8;                        /* 16 when a component has more than 8 bits */
    Colour colour;                       /* resolved: untagged parts filled in as players do */
    AVRational timeBase{1, 24};
    AVRational frameRate{24, 1};         /* nominal: one frame of it is one time step of the effect */
    AVRational gridRate{0, 1};           /* the base rate every frame's time falls on (variable-rate input) */
    AVRational sampleAspect{0, 1};       /* 0/1: unknown (square) */
    std::vector<std::uint8_t> displayMatrix; /* rotation to show the frames with, as stored; empty: none */
    std::int64_t start = 0;              /* the file's start, in timeBase: output times count from it */
    long declaredFrames = -1;            /* what the file says it holds; -1 unknown */
};

/* Beyond these the reader stops: before any frame with a UsageError naming the file and the bound, after some
   frames as damage (the rest is left out). */
struct ReaderLimits {
    std::int64_t maxPixels = limits::kMaxPixels;     /* of a frame (and at most kMaxSide a side) */
    unsigned maxStreams = limits::kMaxStreams;
    long maxFrames = limits::kMaxFrames;             /* declared, or counted by measure() */
    std::int64_t bytesWithoutPacket = limits::kBytesWithoutPacket;
    long packetsWithoutFrame = limits::kPacketsWithoutFrame;
};

struct ReaderOptions {
    std::string format;                  /* a demuxer to force ("image2"); empty: probe */
    std::vector<std::pair<std::string, std::string>> demuxerOptions;
    AVIOContext* io = nullptr;           /* the bytes to read instead of the file named (kept open by the caller) */
    ReaderLimits limits;
};

class VideoReader {
public:
    /* Throws UsageError naming `path` when it cannot be opened, holds no video or claims more than the limits
       allow. With options.io, `path` only names the input (its extension still helps to tell the format). */
    VideoReader(const std::string& path, const ReaderOptions& options);
    VideoReader(const VideoReader&) = delete; /* the interrupt callback holds its address */
    VideoReader& operator=(const VideoReader&) = delete;

    const VideoStreamInfo& info() const noexcept { return info_; }
    /* The audio stream that goes along, or null. */
    const AVStream* audio() const noexcept { return audio_; }
    /* Further audio and subtitle streams, read along with the audio (their packets go to the same queue). */
    const std::vector<const AVStream*>& extras() const noexcept { return extras_; }
    /* The other streams, which are not read: "data (none)", ... */
    const std::vector<std::string>& leftOut() const noexcept { return leftOut_; }
    /* Audio packets (and those of the extras) read from now on go to `queue` (null: they are skipped). */
    void passAudio(PacketQueue* queue) noexcept { audioQueue_ = queue; }

    /* The next decoded frame (its best timestamp in info().timeBase in frame.best_effort_timestamp), or false
       at the end. A packet the decoder refuses is counted and decoding goes on; a failed read is counted and
       ends the reading, the frames the decoder still holds coming out first. */
    bool next(AVFrame& frame);
    /* Goes on from the keyframe at or before `timestamp` (in info().timeBase, as the file counts); false when the
       file cannot seek there. */
    bool seek(std::int64_t timestamp);
    /* Reads the rest of the file's video packets without decoding them: how many frames are shown (packets an
       edit list leaves out do not count) and the earliest and latest time among them (in info().timeBase, as the
       file counts; AV_NOPTS_VALUE when a packet has none). Reading cannot go on afterwards. */
    struct Measure {
        long frames = 0;
        std::int64_t first = AV_NOPTS_VALUE;
        std::int64_t last = AV_NOPTS_VALUE;
    };
    Measure measure();
    /* Errors met so far: read failures, undecodable packets, frames the decoder marked corrupt. */
    long errors() const noexcept { return errors_; }

private:
    static int onInterrupt(void* reader);
    bool overBudget();
    void madeProgress();
    [[noreturn]] void refuse(const std::string& reason) const;
    void endAtLimit();
    bool receive(AVFrame& frame);
    bool endsInsideFrame() const;
    bool audioCut() const;

    std::string name_;
    ReaderLimits limits_;
    AVFormatContext* context_ = nullptr; /* what the interrupt callback looks at, from before the file is open */
    std::int64_t progressAt_ = 0;        /* bytes read when the demuxer last gave a packet */
    long packetsWithoutFrame_ = 0;       /* video packets sent since the decoder last gave a frame */
    long framesGiven_ = 0;
    std::string stop_;                   /* why reading was stopped at a limit; empty: it was not */
    InputFormat format_;
    Codec decoder_;
    Packet packet_;
    int videoIndex_ = -1;
    const AVStream* audio_ = nullptr;
    std::vector<const AVStream*> extras_;
    std::vector<std::string> leftOut_;
    PacketQueue* audioQueue_ = nullptr;
    VideoStreamInfo info_;
    long errors_ = 0;
    bool draining_ = false;
    bool awaitKey_ = false;
    std::int64_t lastEnd_ = 0; /* where the last packet read ends in the file */
    long audioPackets_ = 0;    /* of the audio stream, passed on */
    bool audioWhole_ = true;   /* every audio packet read was passed on (none skipped, no seek) */
    std::int64_t firstFrame_ = AV_NOPTS_VALUE; /* the time of the first frame given, before any seek */ /* after a seek: packets before the next keyframe cannot decode */
    bool ended_ = false;
};

} // namespace cfcli::media
