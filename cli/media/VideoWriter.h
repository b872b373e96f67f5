/* VideoWriter.h — one output file written in process: the video encoder fed from host worlds at a timing the
   format takes, the input's audio copied or re-encoded beside it and its other audio and subtitle streams
   copied, the colour description, aspect and timestamps carried, and every write checked, so that a full disk
   fails at the first write that fails. */
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cfhost/World.h"
#include "media/AudioTranscoder.h"
#include "media/Av.h"
#include "media/ColorConvert.h"
#include "media/MuxedOutput.h"
#include "media/OutputFormat.h"

namespace cfcli::media {

enum class AudioMode { None, Copy, Encode };

struct AudioPlan {
    AudioMode mode = AudioMode::None;
    const AVCodec* encoder = nullptr; /* for Encode */
    std::string note;                 /* for the user when audio is re-encoded or left out */
};

/* How `audio` can go into `container`: as it is when the muxer takes its codec, else through the container's
   own audio codec, else not at all. */
AudioPlan planAudio(const AVOutputFormat* container, const AVStream& audio, const std::string& inputName,
                    const std::string& outputName);

struct WriterSetup {
    MuxedOutput* output = nullptr; /* the file, not yet started */
    VideoChoice video;
    int width = 0;
    int height = 0;
    Colour colour;             /* resolved; written as the stream's tags and used to convert */
    AVRational timeBase{1, 24};  /* of the times write() is given */
    AVRational frameRate{24, 1}; /* nominal */
    AVRational gridRate{0, 1};   /* the rate every frame's time falls on, when it differs from the nominal one */
    AVRational sampleAspect{0, 1};
    std::vector<std::uint8_t> displayMatrix;
    std::optional<int> crf;
    std::vector<std::pair<std::string, std::string>> encoderOptions;
    const AVStream* audio = nullptr;
    AudioPlan audioPlan;
    std::vector<const AVStream*> extras; /* further streams of the input, copied as they are */
    std::int64_t audioStart = 0; /* the moment the video's times count from, in timeBase: audio times count from
                                    it too (taken to each stream's own time base, never through a coarser one) */
    Tags metadata;                      /* tags of the file */
    std::vector<std::string> closingTags; /* tags whose values finish() gives */
    std::function<void(const std::string&)> note;              /* tells the user something worth knowing */
    double longestHold = 3600; /* seconds of repeated frames one gap may take in constant-rate formats; a longer
                                  gap (a jump in the input's times) is closed up instead */
};

class VideoWriter {
public:
    /* Opens the encoder and the file and writes the header; throws UsageError (bad options) or CliError. */
    explicit VideoWriter(const WriterSetup& setup);
    VideoWriter(const VideoWriter&) = delete;
    VideoWriter& operator=(const VideoWriter&) = delete;

    /* One frame, its time in setup.timeBase counted from the start of the output. */
    void write(const cfhost::World& world, std::int64_t pts);
    /* One packet of the input's audio stream or of an extra one, its times in that stream's time base. */
    void writeAudio(AVPacket* packet);
    /* Flushes the encoders, writes the trailer with the closing tags (given the video the file holds, its times in
       AV_TIME_BASE), and puts the file in place; throws CliError when anything fails. */
    void finish(const std::function<Tags(const MuxedOutput::Span&)>& closing = {});

private:
    void drainVideo();
    void send(std::int64_t pts);

    WriterSetup setup_;
    MuxedOutput& output_;
    Codec encoder_;
    AVStream* videoStream_ = nullptr;
    AVStream* audioStream_ = nullptr;
    std::unique_ptr<AudioTranscoder> transcoder_;
    std::vector<std::pair<const AVStream*, AVStream*>> extraStreams_; /* input stream, its copy */
    Frame frame_;
    Packet packet_;
    WorldToFrame convert_;
    VideoTiming timing_;
    std::int64_t lastPts_ = AV_NOPTS_VALUE; /* in the encoder's time base */
    long repeated_ = 0;                     /* frames repeated or dropped to keep a constant rate in time */
    long dropped_ = 0;
    std::int64_t closedUp_ = 0;             /* steps taken out of the times by gaps closed up */
    long gapsClosed_ = 0;
    std::int64_t audioShift_ = 0; /* subtracted from audio times (in its stream's time base) */
};

} // namespace cfcli::media
