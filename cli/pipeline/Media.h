/* Media.h — where frames come from and where they go. A source is a PNG still, a numbered PNG sequence or
   anything FFmpeg's libraries read (video, animated PNG, other images and sequences); a sink is a PNG still, a
   numbered PNG sequence or anything they write. Frames travel as host worlds that are reused; sinks make their
   temporary output when opened, so a bad output fails before any work, and show the result only on commit(). */
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/Options.h"
#include "images/PngIO.h"
#include "cfhost/World.h"
#include "media/ColorConvert.h"
#include "media/MuxedOutput.h"
#include "media/PacketQueue.h"
#include "media/VideoReader.h"

namespace cfcli {

/* What a source declares about its frames, before the first one is read. */
struct StreamDescription {
    int width = 0;
    int height = 0;
    int bits = 8;                       /* 8, or 16 for 16-bit PNGs and video of more than 8 bits */
    media::Colour colour;               /* resolved */
    AVRational timeBase{1, 24};         /* of the timestamps next() gives */
    AVRational frameRate{24, 1};        /* nominal: one frame of it is one time step of the effect */
    AVRational gridRate{0, 1};          /* the base rate every frame's time falls on; 0/1: frameRate */
    AVRational sampleAspect{0, 1};
    std::vector<std::uint8_t> displayMatrix;
    long frameCount = -1;               /* declared; -1 unknown */
    PngColourChunks pngChunks;          /* from PNG input */
    const AVStream* audio = nullptr;    /* audio that may go along into a video output */
    std::int64_t start = 0;             /* the moment next()'s times count from, in timeBase; audio counts from it
                                           too, so that it keeps its place beside the video */
    std::string name;                   /* the input as the user named it */
    std::vector<const AVStream*> extras; /* further audio and subtitle streams, for outputs that take them */
    std::vector<std::string> leftOut;   /* other streams of the input, which no output gets */
};

class FrameSource {
public:
    virtual ~FrameSource() = default;
    virtual const StreamDescription& description() const = 0;
    /* Audio packets read from now on go to `queue`. */
    virtual void passAudio(media::PacketQueue* queue) { (void)queue; }
    /* The next frame into `world` (the source's size, either depth) and its time in timeBase counted from the
       input's start; false when there are no more. Throws UsageError for a file that cannot be read. */
    virtual bool next(cfhost::World& world, std::int64_t& pts) = 0;
    /* Errors the input had (undecodable data, failed reads); what decoded was delivered. */
    virtual long errors() const { return 0; }
    /* Goes on from a frame at or before `pts` (counted as next() counts); false when the source cannot seek, and it
       then goes on where it was. */
    virtual bool seek(std::int64_t pts) { (void)pts; return false; }
    /* Reads the whole input (without decoding video) for how many frames it really holds and the times of its
       first and last, counted as next() counts; the source is used up. The base class trusts frameCount. */
    struct Span {
        long frames = 0;
        std::int64_t first = 0;
        std::int64_t last = 0;
    };
    virtual Span measure()
    {
        const long n = description().frameCount;
        return Span{n, 0, av_rescale_q(std::max(0L, n - 1), av_inv_q(description().frameRate), description().timeBase)};
    }
    /* The timestamp the effect's time counts from when it is not the first frame next() gives (a range of the
       input counts from the input's first frame). */
    virtual std::optional<std::int64_t> origin() const { return std::nullopt; }
};

class FrameSink {
public:
    virtual ~FrameSink() = default;
    /* Frames arrive in order, from one thread. */
    virtual void write(const cfhost::World& frame, std::int64_t pts, long frameNumber) = 0;
    /* Makes the output appear under its name; throws when it cannot be completed. */
    virtual void commit() = 0;
    /* Where audio packets for this output are to go; null when it takes none. */
    virtual media::PacketQueue* audioQueue() { return nullptr; }
};

struct SourceOptions {
    long firstFrame = 0;
    FrameRate fps{24, 1};
};

/* Throws UsageError for a missing, unreadable or unsupported input, and for a numbered sequence with a gap
   (naming the first missing file). */
std::unique_ptr<FrameSource> openSource(const std::filesystem::path& path, const SourceOptions& options);
/* A video read from `io` (kept open by the caller while the source lives) instead of a file, within `limits`;
   `name` names it in messages, and its extension helps to tell the format as a file's does. */
std::unique_ptr<FrameSource> openSource(AVIOContext* io, const std::string& name, const media::ReaderLimits& limits);

struct SinkOptions {
    const StreamDescription* source = nullptr;
    int bits = 8;                                   /* the depth frames are written at */
    std::optional<std::string> codec;
    std::optional<int> crf;
    std::optional<std::string> pixFmt;
    std::vector<std::pair<std::string, std::string>> encoderOptions;
    unsigned threads = 0;                           /* PNG sequences: files encoded at once (0: all cores) */
    std::vector<std::pair<std::string, std::string>> metadata; /* video: tags for the container */
    /* video: a tag whose value depends on the video the file holds (its times in AV_TIME_BASE), given when the
       file is complete */
    std::string closingTag;
    std::function<std::string(const media::MuxedOutput::Span&)> closingValue;
    bool withoutAudio = false;                      /* video: leave the input's audio out */
    bool onlyARange = false;                        /* sequences: the frames around these are other ranges' */
    double longestHold = 3600;                      /* video: seconds one gap in the times may be held */
    std::function<void(const std::string&)> note;   /* tells the user something worth knowing */
};

/* Throws UsageError when OUT cannot take what the source gives (several frames into one image, an unknown
   codec or pixel format) or its folder cannot be written. */
std::unique_ptr<FrameSink> openSink(const std::filesystem::path& path, const SinkOptions& options);

} // namespace cfcli
