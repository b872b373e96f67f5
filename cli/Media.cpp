/* Media.cpp — the sources and sinks of Media.h. */
#include "Media.h"

#include <cstdio>

#include "AtomicFile.h"
#include "Errors.h"
#include "Ffmpeg.h"
#include "PngIO.h"
#include "Sequence.h"

namespace fs = std::filesystem;

namespace cfcli {

namespace {

/* ---- sources ---------------------------------------------------------------------------------------- */

class PngStillSource : public FrameSource {
public:
    explicit PngStillSource(const fs::path& path) : image_(readPng(path)), bits_(image_.bits) {}
    int bits() const override { return bits_; }
    long frameCount() const override { return 1; }
    bool next(RgbaImage& frame) override
    {
        if (done_) {
            return false;
        }
        frame = std::move(image_);
        done_ = true;
        return true;
    }

private:
    RgbaImage image_;
    int bits_;
    bool done_ = false;
};

class PngSequenceSource : public FrameSource {
public:
    PngSequenceSource(const SequencePattern& pattern, long first) : pattern_(pattern), frame_(first)
    {
        std::error_code ec;
        while (fs::exists(pattern.format(first + count_), ec)) {
            ++count_;
        }
        if (count_ == 0) {
            throw UsageError("no file of the sequence " + quoteName(pattern.text()) + " starts it at frame " +
                             std::to_string(first) + " (" + quoteName(pattern.format(first)) +
                             " is missing); --frame sets the first frame number");
        }
        first_ = readPng(pattern.format(first));
        bits_ = first_.bits;
    }
    /* The first file's depth; later files may differ and are converted like any input. */
    int bits() const override { return bits_; }
    long frameCount() const override { return count_; }
    bool next(RgbaImage& frame) override
    {
        if (read_ >= count_) {
            return false;
        }
        if (read_ == 0) {
            frame = std::move(first_);
        } else {
            frame = readPng(pattern_.format(frame_ + read_));
        }
        ++read_;
        return true;
    }

private:
    SequencePattern pattern_;
    long frame_;
    long count_ = 0;
    long read_ = 0;
    RgbaImage first_;
    int bits_ = 8;
};

class FfmpegSource : public FrameSource {
public:
    explicit FfmpegSource(MediaInput input) : input_(std::move(input)), info_(probeVideo(input_)) {}
    int bits() const override { return info_.componentBits > 8 ? 16 : 8; }
    std::optional<double> fps() const override { return info_.fps; }
    std::string rateText() const override { return info_.rate; }
    long frameCount() const override { return info_.frameCount; }
    const MediaInput* audio() const override { return info_.audioStreams > 0 ? &input_ : nullptr; }
    void start(int bits) override { decoder_ = std::make_unique<VideoDecoder>(input_, info_, bits); }
    bool next(RgbaImage& frame) override
    {
        if (!decoder_) {
            start(bits());
        }
        return decoder_->read(frame);
    }

private:
    MediaInput input_;
    VideoInfo info_;
    std::unique_ptr<VideoDecoder> decoder_;
};

/* ---- sinks ------------------------------------------------------------------------------------------ */

class PngStillSink : public FrameSink {
public:
    explicit PngStillSink(const fs::path& path) : file_(path) {}
    void write(const RgbaImage& frame, long) override
    {
        if (written_) {
            throw UsageError("cannot write " + quoteName(file_.target().string()) + ": it is a single image but the "
                             "input has several frames; name a sequence such as out_%04d.png or a video");
        }
        const auto bytes = encodePng(frame, file_.target().string());
        file_.write(bytes.data(), bytes.size());
        written_ = true;
    }
    void commit() override { file_.commit(); }

private:
    TempFile file_;
    bool written_ = false;
};

class PngSequenceSink : public FrameSink {
public:
    explicit PngSequenceSink(const SequencePattern& pattern) : pattern_(pattern), folder_(pattern.format(0)) {}
    void write(const RgbaImage& frame, long frameNumber) override
    {
        const std::string name = pattern_.format(frameNumber);
        folder_.add(encodePng(frame, name), name);
    }
    void commit() override { folder_.commit(); }

private:
    SequencePattern pattern_;
    TempFolder folder_;
};

class FfmpegSink : public FrameSink {
public:
    FfmpegSink(const fs::path& path, const SinkOptions& options) : file_(path), options_(options)
    {
        file_.close(); /* ffmpeg writes it by name */
        if (options.source != nullptr && options.source->audio() != nullptr) {
            audio_ = planAudio(*options.source->audio(), path);
            if (!audio_.note.empty() && options.note) {
                options.note(audio_.note);
            }
        }
    }
    void write(const RgbaImage& frame, long) override
    {
        if (!encoder_) {
            const MediaInput* audioSource = options_.source ? options_.source->audio() : nullptr;
            encoder_ = std::make_unique<VideoEncoder>(file_.path(), file_.target().string(), frame.width,
                                                      frame.height, frame.bits, options_.rate, audioSource,
                                                      audio_.mode);
        }
        encoder_->write(frame);
    }
    void commit() override
    {
        if (!encoder_) {
            throw UsageError("cannot write " + quoteName(file_.target().string()) + ": there were no frames");
        }
        encoder_->finish();
        file_.commit();
    }

private:
    TempFile file_;
    SinkOptions options_;
    AudioPlan audio_;
    std::unique_ptr<VideoEncoder> encoder_;
};

std::string rateArgument(double fps)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g", fps);
    return buf;
}

} // namespace

std::unique_ptr<FrameSource> openSource(const fs::path& path, const SourceOptions& options)
{
    const auto pattern = SequencePattern::parse(path.string());
    if (pattern && hasPngExtension(path)) {
        return std::make_unique<PngSequenceSource>(*pattern, options.firstFrame);
    }
    if (pattern) {
        return std::make_unique<FfmpegSource>(MediaInput{
            path, {"-f", "image2", "-start_number", std::to_string(options.firstFrame), "-framerate",
                   rateArgument(options.fps)}});
    }
    std::error_code ec;
    if (!fs::exists(path, ec)) {
        throw UsageError("cannot read " + quoteName(path.string()) + ": no such file");
    }
    if (fs::is_directory(path, ec)) {
        throw UsageError("cannot read " + quoteName(path.string()) + ": it is a folder");
    }
    if (hasPngExtension(path)) {
        return std::make_unique<PngStillSource>(path);
    }
    return std::make_unique<FfmpegSource>(MediaInput{path, {}});
}

std::unique_ptr<FrameSink> openSink(const fs::path& path, const SinkOptions& options)
{
    const auto pattern = SequencePattern::parse(path.string());
    if (pattern && !hasPngExtension(path)) {
        throw UsageError("cannot write " + quoteName(path.string()) +
                         ": numbered sequences are written as PNG (name them .png), other formats as video");
    }
    if (pattern) {
        return std::make_unique<PngSequenceSink>(*pattern);
    }
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        throw UsageError("cannot write " + quoteName(path.string()) + ": it is a folder");
    }
    if (hasPngExtension(path)) {
        if (options.source != nullptr && options.source->frameCount() > 1) {
            throw UsageError("cannot write " + quoteName(path.string()) + ": it is a single image but the input has "
                             "several frames; name a sequence such as out_%04d.png or a video");
        }
        return std::make_unique<PngStillSink>(path);
    }
    if (path.extension().empty()) {
        throw UsageError("cannot write " + quoteName(path.string()) +
                         ": its name has no extension to tell the format (.png, .mp4, .mov, ...)");
    }
    return std::make_unique<FfmpegSink>(path, options);
}

} // namespace cfcli
