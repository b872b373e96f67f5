/* Media.h — where frames come from and where they go. A source is a PNG still, a numbered PNG sequence
   or anything ffmpeg reads (video, other image formats and sequences); a sink is a PNG still, a numbered
   PNG sequence or anything ffmpeg writes. Sinks make their temporary output when they are opened, so a
   bad output location fails before any work, and show the result only on commit(). */
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "RgbaImage.h"

namespace cfcli {

struct MediaInput;

class FrameSource {
public:
    virtual ~FrameSource() = default;
    /* Depth of the input's samples: 8, or 16 for 16-bit PNGs and video of more than 8 bits. */
    virtual int bits() const = 0;
    /* The input's own frame rate (video), as a number and as ffmpeg writes it. */
    virtual std::optional<double> fps() const { return std::nullopt; }
    virtual std::string rateText() const { return ""; }
    /* Frames the input holds; -1 when unknown. */
    virtual long frameCount() const = 0;
    /* The file whose audio a video output carries over, if any. */
    virtual const MediaInput* audio() const { return nullptr; }
    /* Called once before the first next(): the depth frames are delivered in (8 or 16). */
    virtual void start(int bits) { (void)bits; }
    /* The next frame, or false when there are no more. */
    virtual bool next(RgbaImage& frame) = 0;
};

class FrameSink {
public:
    virtual ~FrameSink() = default;
    virtual void write(const RgbaImage& frame, long frameNumber) = 0;
    /* Makes the output appear under its name; throws when it cannot be completed. */
    virtual void commit() = 0;
};

struct SourceOptions {
    long firstFrame = 0;
    double fps = 24; /* for image sequences ffmpeg reads */
};

/* Throws UsageError for a missing, unreadable or unsupported input. */
std::unique_ptr<FrameSource> openSource(const std::filesystem::path& path, const SourceOptions& options);

struct SinkOptions {
    std::string rate = "24";            /* video frame rate as ffmpeg reads it */
    const FrameSource* source = nullptr;
    std::function<void(const std::string&)> note; /* tells the user something worth knowing */
};

/* Throws UsageError when OUT cannot take what the source gives (several frames into one PNG) or its folder
   cannot be written. */
std::unique_ptr<FrameSink> openSink(const std::filesystem::path& path, const SinkOptions& options);

} // namespace cfcli
