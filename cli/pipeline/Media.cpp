/* Media.cpp — the sources and sinks of Media.h: PNG stills and sequences through libpng, everything else
   through media/VideoReader and media/VideoWriter. */
#include "pipeline/Media.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <future>
#include <thread>

#include "common/AtomicFile.h"
#include "common/Cleanup.h"
#include "images/Conversions.h"
#include "common/Errors.h"
#include "pipeline/Rotation.h"
#include "images/Sequence.h"
#include "common/Text.h"
#include "media/OutputFormat.h"
#include "media/VideoReader.h"
#include "media/VideoWriter.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace fs = std::filesystem;

namespace cfcli {

namespace {

/* ---- sources ---------------------------------------------------------------------------------------- */

StreamDescription imageDescription(const RgbaImage& image, const SourceOptions& options, const std::string& name)
{
    StreamDescription d;
    d.width = image.width;
    d.height = image.height;
    d.bits = image.bits;
    d.colour = media::resolveColour({}, image.height);
    d.frameRate = AVRational{options.fps.num, options.fps.den};
    d.timeBase = av_inv_q(d.frameRate);
    d.name = name;
    return d;
}

void copyInto(const RgbaImage& image, cfhost::World& world, const std::string& name)
{
    if (image.width != world.width() || image.height != world.height()) {
        throw UsageError("cannot read " + quoteName(name) + ": its size " + std::to_string(image.width) + "x" +
                         std::to_string(image.height) + " differs from the first frame's " +
                         std::to_string(world.width()) + "x" + std::to_string(world.height()));
    }
    imageToWorld(image, world);
}

class PngStillSource : public FrameSource {
public:
    PngStillSource(const fs::path& path, const SourceOptions& options) : name_(path.string())
    {
        image_ = readPng(path, &chunks_);
        description_ = imageDescription(image_, options, name_);
        description_.frameCount = 1;
        description_.pngChunks = chunks_;
    }
    const StreamDescription& description() const override { return description_; }
    bool next(cfhost::World& world, std::int64_t& pts) override
    {
        if (done_) {
            return false;
        }
        copyInto(image_, world, name_);
        image_ = RgbaImage();
        pts = 0;
        done_ = true;
        return true;
    }

private:
    std::string name_;
    RgbaImage image_;
    PngColourChunks chunks_;
    StreamDescription description_;
    bool done_ = false;
};

long sequenceLength(const SequencePattern& pattern, long first)
{
    long count = 0;
    std::error_code ec;
    while (fs::exists(pattern.format(first + count), ec)) {
        ++count;
    }
    if (count == 0) {
        throw UsageError("no file of the sequence " + quoteName(pattern.text()) + " starts it at frame " +
                         std::to_string(first) + " (" + quoteName(pattern.format(first)) +
                         " is missing); --frame sets the first frame number");
    }
    if (const auto gap = pattern.gapAfter(first, count)) {
        throw UsageError("the sequence " + quoteName(pattern.text()) + " has a gap: " +
                         quoteName(pattern.format(*gap)) + " is missing, and later frames exist");
    }
    return count;
}

class PngSequenceSource : public FrameSource {
public:
    PngSequenceSource(const SequencePattern& pattern, const SourceOptions& options)
        : pattern_(pattern), first_(options.firstFrame), count_(sequenceLength(pattern, options.firstFrame))
    {
        PngColourChunks chunks;
        firstImage_ = readPng(pattern.format(first_), &chunks);
        description_ = imageDescription(firstImage_, options, pattern.text());
        description_.frameCount = count_;
        description_.pngChunks = chunks;
    }
    const StreamDescription& description() const override { return description_; }
    bool next(cfhost::World& world, std::int64_t& pts) override
    {
        if (read_ >= count_) {
            return false;
        }
        const std::string name = pattern_.format(first_ + read_);
        if (read_ == 0 && firstImage_.width != 0) {
            copyInto(firstImage_, world, name);
            firstImage_ = RgbaImage();
        } else {
            copyInto(readPng(name), world, name);
        }
        pts = read_++;
        return true;
    }
    bool seek(std::int64_t pts) override
    {
        read_ = static_cast<long>(std::clamp<std::int64_t>(pts, 0, count_));
        return true;
    }

private:
    SequencePattern pattern_;
    long first_;
    long count_;
    long read_ = 0;
    RgbaImage firstImage_;
    StreamDescription description_;
};

class VideoSource : public FrameSource {
public:
    VideoSource(const std::string& path, const media::ReaderOptions& readerOptions)
        : reader_(path, readerOptions), frame_(media::makeFrame())
    {
        const media::VideoStreamInfo& info = reader_.info();
        description_.width = info.width;
        description_.height = info.height;
        description_.bits = info.bits;
        description_.colour = info.colour;
        description_.timeBase = info.timeBase;
        description_.frameRate = info.frameRate;
        description_.gridRate = info.gridRate;
        description_.sampleAspect = info.sampleAspect;
        /* Frames are turned as players show them before the effect draws: the output needs no turn of its own. */
        turns_ = quarterTurns(info.displayMatrix);
        if (turns_ == 0) {
            description_.displayMatrix = info.displayMatrix;
        } else if (turns_ % 2 == 1) {
            std::swap(description_.width, description_.height);
            if (description_.sampleAspect.num > 0) {
                std::swap(description_.sampleAspect.num, description_.sampleAspect.den);
            }
        }
        description_.frameCount = info.declaredFrames;
        description_.audio = reader_.audio();
        description_.leftOut = reader_.leftOut();
        description_.extras = reader_.extras();
        description_.start = info.start;
        frameStep_ = std::max<std::int64_t>(1, av_rescale_q(1, av_inv_q(info.frameRate), info.timeBase));
        description_.name = path;
    }
    const StreamDescription& description() const override { return description_; }
    void passAudio(media::PacketQueue* queue) override { reader_.passAudio(queue); }
    bool next(cfhost::World& world, std::int64_t& pts) override
    {
        if (!reader_.next(*frame_)) {
            return false;
        }
        if (turns_ == 0) {
            convert_.convert(*frame_, description_.colour, world);
        } else {
            if (!stored_ || stored_->depth() != world.depth()) {
                stored_ = std::make_unique<cfhost::World>(reader_.info().width, reader_.info().height, world.depth(), 0);
            }
            convert_.convert(*frame_, description_.colour, *stored_);
            rotateWorld(*stored_, world, turns_);
        }
        const std::int64_t t = frame_->best_effort_timestamp;
        /* a frame without a time comes one frame after the one before it */
        pts = t == AV_NOPTS_VALUE ? (last_ == AV_NOPTS_VALUE ? 0 : last_ + frameStep_) : t - reader_.info().start;
        last_ = pts;
        return true;
    }
    long errors() const override { return reader_.errors() + media::Log::inputErrors(); }
    Span measure() override
    {
        const media::VideoReader::Measure m = reader_.measure();
        if (m.first == AV_NOPTS_VALUE) {
            return FrameSource::measure(); /* no timestamps to go by: trust the count the file declares */
        }
        return Span{m.frames, m.first - reader_.info().start, m.last - reader_.info().start};
    }
    bool seek(std::int64_t pts) override
    {
        last_ = AV_NOPTS_VALUE;
        return reader_.seek(pts + reader_.info().start);
    }

private:
    media::VideoReader reader_;
    media::Frame frame_;
    media::FrameToWorld convert_;
    StreamDescription description_;
    int turns_ = 0;                        /* clockwise quarter turns players give the stored frames */
    std::unique_ptr<cfhost::World> stored_; /* a frame as stored, before it is turned */
    std::int64_t last_ = AV_NOPTS_VALUE;
    std::int64_t frameStep_ = 1; /* one frame at the nominal rate, in timeBase */
};

/* ---- sinks ------------------------------------------------------------------------------------------ */

/* Whether the file will say which matrix, primaries and transfer its video uses: the codecs with a colour
   description in their own headers, or containers that have a place for it. */
bool carriesColour(const AVOutputFormat* container, const AVCodec* codec)
{
    const std::string name = container->name;
    if (name == "mp4" || name == "mov" || name == "matroska" || name == "webm" || name == "ipod") {
        return true;
    }
    const AVCodecID id = codec->id;
    return id == AV_CODEC_ID_H264 || id == AV_CODEC_ID_HEVC || id == AV_CODEC_ID_VP9 || id == AV_CODEC_ID_AV1 ||
           id == AV_CODEC_ID_PRORES || id == AV_CODEC_ID_MPEG2VIDEO;
}

/* Whether the file will say that its levels are full range. */
bool carriesRange(const AVOutputFormat* container, const AVCodec* codec)
{
    const std::string name = container->name;
    const AVCodecID id = codec->id;
    return name == "mp4" || name == "mov" || name == "matroska" || name == "webm" || name == "ipod" ||
           name == "yuv4mpegpipe" || id == AV_CODEC_ID_H264 || id == AV_CODEC_ID_HEVC || id == AV_CODEC_ID_VP9 ||
           id == AV_CODEC_ID_AV1;
}

class PngStillSink : public FrameSink {
public:
    PngStillSink(const fs::path& path, const PngColourChunks& chunks) : file_(path), chunks_(chunks) {}
    void write(const cfhost::World& frame, std::int64_t, long) override
    {
        if (written_) {
            throw UsageError("cannot write " + quoteName(file_.target().string()) + ": it is a single image but the "
                             "input has several frames; name a sequence such as out_%04d.png or a video");
        }
        const auto bytes = encodePng(frame, file_.target().string(), &chunks_);
        file_.write(bytes.data(), bytes.size());
        written_ = true;
    }
    void commit() override { file_.commit(); }

private:
    TempFile file_;
    PngColourChunks chunks_;
    bool written_ = false;
};

/* Frames are copied into a ring of worlds and encoded and written on worker threads, several at once. */
class PngSequenceSink : public FrameSink {
public:
    PngSequenceSink(const SequencePattern& pattern, const PngColourChunks& chunks, const SinkOptions& options)
        : pattern_(pattern), folder_(pattern.format(0)), chunks_(chunks), onlyARange_(options.onlyARange),
          note_(options.note)
    {
        const unsigned threads = options.threads;
        const unsigned n = threads != 0 ? threads : std::max(1u, std::thread::hardware_concurrency());
        slots_.resize(n);
    }
    ~PngSequenceSink() override
    {
        for (Slot& s : slots_) {
            if (s.done.valid()) {
                s.done.wait();
            }
        }
    }
    void write(const cfhost::World& frame, std::int64_t, long frameNumber) override
    {
        Slot& slot = slots_[next_++ % slots_.size()];
        if (slot.done.valid()) {
            slot.done.get();
        }
        if (!slot.world || slot.world->width() != frame.width() || slot.world->height() != frame.height() ||
            slot.world->depth() != frame.depth()) {
            slot.world = std::make_unique<cfhost::World>(frame.width(), frame.height(), frame.depth(), 0);
        }
        const std::size_t row = static_cast<std::size_t>(frame.width()) * frame.pixelBytes();
        for (A_long y = 0; y < frame.height(); ++y) {
            std::memcpy(static_cast<unsigned char*>(static_cast<void*>(slot.world->layer().data)) +
                            static_cast<std::size_t>(y) * static_cast<std::size_t>(slot.world->rowbytes()),
                        static_cast<const unsigned char*>(static_cast<const void*>(frame.layer().data)) +
                            static_cast<std::size_t>(y) * static_cast<std::size_t>(frame.rowbytes()),
                        row);
        }
        const fs::path target = pattern_.format(frameNumber);
        const fs::path file = folder_.reserve(target);
        first_ = std::min(first_, frameNumber);
        last_ = std::max(last_, frameNumber);
        const cfhost::World* world = slot.world.get();
        const PngColourChunks* chunks = &chunks_;
        const cleanup::InterruptsBlocked blocked; /* the worker leaves interrupts to this thread */
        slot.done = std::async(std::launch::async, [world, chunks, file, target] {
            TempFolder::writeFile(file, encodePng(*world, target.string(), chunks), target);
        });
    }
    void commit() override
    {
        for (Slot& s : slots_) {
            if (s.done.valid()) {
                s.done.get();
            }
        }
        const std::vector<fs::path> stale = staleFrames();
        folder_.commit(stale);
        if (!stale.empty() && note_) {
            note_("removed " + std::to_string(stale.size()) + " frame" + (stale.size() == 1 ? "" : "s") +
                  " of the earlier, longer sequence (" + quoteName(stale.front().string()) +
                  (stale.size() == 1 ? "" : " to " + quoteName(stale.back().string())) + ")");
        }
    }

private:
    struct Slot {
        std::unique_ptr<cfhost::World> world;
        std::future<void> done;
    };
    /* The frames an earlier render of the same pattern left on either side of this one's, which would
       otherwise remain as part of the new sequence. A range leaves the frames around it: they are other
       ranges' part. */
    std::vector<fs::path> staleFrames() const
    {
        std::vector<fs::path> stale;
        if (onlyARange_ || first_ > last_) {
            return stale;
        }
        auto exists = [](const std::string& name) {
            struct stat st {};
            return ::lstat(name.c_str(), &st) == 0;
        };
        for (long n = first_ - 1; n > std::numeric_limits<long>::min() && exists(pattern_.format(n)); --n) {
            stale.insert(stale.begin(), pattern_.format(n));
        }
        for (long n = last_ + 1; n < std::numeric_limits<long>::max() && exists(pattern_.format(n)); ++n) {
            stale.push_back(pattern_.format(n));
        }
        return stale;
    }

    SequencePattern pattern_;
    TempFolder folder_;
    PngColourChunks chunks_;
    bool onlyARange_;
    std::function<void(const std::string&)> note_;
    std::vector<Slot> slots_;
    std::size_t next_ = 0;
    long first_ = std::numeric_limits<long>::max();
    long last_ = std::numeric_limits<long>::min();
};

class VideoSink : public FrameSink {
public:
    VideoSink(const fs::path& path, const SinkOptions& options)
        : output_(path), options_(options), source_(*options.source)
    {
        shown_ = output_.name();
        container_ = output_.container();
        if (std::strcmp(container_->name, "image2") == 0 && source_.frameCount > 1) {
            throw UsageError("cannot write " + quoteName(shown_) + ": it is a single image but the input has several "
                             "frames; name a sequence such as out_%04d.png or a video");
        }
        request_.codec = options.codec;
        request_.pixFmt = options.pixFmt;
        request_.width = source_.width;
        request_.height = source_.height;
        request_.bits = options.bits;
        request_.transfer = source_.colour.transfer;
        media::chooseVideo(container_, request_, shown_); /* unknown names fail here, before any work */
        if (source_.audio != nullptr && !options.withoutAudio) {
            audioPlan_ = media::planAudio(container_, *source_.audio, source_.name, shown_);
            if (!audioPlan_.note.empty() && options.note) {
                options.note(audioPlan_.note);
            }
        }
        if (!options.withoutAudio) {
            /* further audio and subtitle streams go along as they are where the format takes them */
            std::vector<std::string> left;
            for (const AVStream* s : source_.extras) {
                const AVCodecID id = s->codecpar->codec_id;
                const bool opusInMov = id == AV_CODEC_ID_OPUS && std::strcmp(container_->name, "mov") == 0;
                if (avformat_query_codec(container_, id, FF_COMPLIANCE_NORMAL) == 1 && !opusInMov) {
                    extras_.push_back(s);
                } else {
                    const char* type = av_get_media_type_string(s->codecpar->codec_type);
                    left.push_back(std::string(type != nullptr ? type : "unknown") + " (" + avcodec_get_name(id) + ")");
                }
            }
            if (!left.empty() && options.note) {
                options.note("the format of " + quoteName(shown_) + " cannot take these streams of " +
                             quoteName(source_.name) + " as they are, and they are left out: " + joined(left, ", "));
            }
        }
    }
    media::PacketQueue* audioQueue() override
    {
        return audioPlan_.mode == media::AudioMode::None && extras_.empty() ? nullptr : &audio_;
    }
    void write(const cfhost::World& frame, std::int64_t pts, long) override
    {
        if (!writer_) {
            open(frame);
        }
        passAudio();
        writer_->write(frame, pts);
    }
    void commit() override
    {
        if (!writer_) {
            throw UsageError("cannot write " + quoteName(shown_) + ": there were no frames");
        }
        passAudio();
        writer_->finish([this](const media::MuxedOutput::Span& video) {
            media::Tags closing;
            if (!options_.closingTag.empty()) {
                closing.emplace_back(options_.closingTag, options_.closingValue(video));
            }
            return closing;
        });
        writer_.reset();
    }

private:
    void open(const cfhost::World& first)
    {
        request_.alpha = media::hasTransparency(first);
        media::WriterSetup setup;
        setup.output = &output_;
        setup.video = media::chooseVideo(container_, request_, shown_);
        if (!setup.video.note.empty() && options_.note) {
            options_.note(setup.video.note);
        }
        setup.width = source_.width;
        setup.height = source_.height;
        setup.colour = source_.colour;
        if (setup.colour.matrix == AVCOL_SPC_RGB && !media::isRgbFormat(setup.video.format)) {
            /* RGB footage written as YUV: the matrix and levels players take for its size, never "GBR" on
               planes that are not */
            setup.colour = media::resolveColour(media::Colour{AVCOL_SPC_UNSPECIFIED, AVCOL_RANGE_UNSPECIFIED,
                                                              setup.colour.primaries, setup.colour.transfer},
                                                source_.height);
        }
        if (!carriesColour(container_, setup.video.codec)) {
            /* Players read such files by their size; convert for what they will assume. */
            const media::Colour assumed = media::resolveColour(media::Colour{AVCOL_SPC_UNSPECIFIED, setup.colour.range,
                                                                             AVCOL_PRI_UNSPECIFIED, AVCOL_TRC_UNSPECIFIED},
                                                               source_.height);
            if (assumed.matrix != setup.colour.matrix && !media::isRgbFormat(setup.video.format) && options_.note) {
                options_.note(shown_ + " cannot say which colour matrix it uses: it is converted with the one players "
                              "assume for its size (" + av_color_space_name(assumed.matrix) + ")");
            }
            setup.colour = assumed;
        }
        const char* formatName = av_get_pix_fmt_name(setup.video.format);
        if (formatName != nullptr && std::strncmp(formatName, "yuvj", 4) == 0) {
            setup.colour.range = AVCOL_RANGE_JPEG; /* the JPEG formats are full range by name */
        } else if (setup.colour.range == AVCOL_RANGE_JPEG && !carriesRange(container_, setup.video.codec)) {
            setup.colour.range = AVCOL_RANGE_MPEG; /* players would read full-range levels as limited ones */
        }
        setup.timeBase = source_.timeBase;
        setup.frameRate = source_.frameRate;
        setup.gridRate = source_.gridRate;
        setup.sampleAspect = source_.sampleAspect;
        setup.displayMatrix = source_.displayMatrix;
        setup.crf = options_.crf;
        setup.encoderOptions = options_.encoderOptions;
        setup.audio = audioPlan_.mode == media::AudioMode::None ? nullptr : source_.audio;
        setup.extras = extras_;
        setup.audioPlan = audioPlan_;
        setup.audioStart = source_.start;
        setup.metadata = options_.metadata;
        if (!options_.closingTag.empty()) {
            setup.closingTags.push_back(options_.closingTag);
        }
        setup.note = options_.note;
        setup.longestHold = options_.longestHold;
        writer_ = std::make_unique<media::VideoWriter>(setup);
    }
    void passAudio()
    {
        while (media::Packet p = audio_.take()) {
            writer_->writeAudio(p.get());
        }
    }

    media::MuxedOutput output_;
    SinkOptions options_;
    StreamDescription source_;
    std::string shown_;
    const AVOutputFormat* container_ = nullptr;
    media::VideoRequest request_;
    media::AudioPlan audioPlan_;
    std::vector<const AVStream*> extras_; /* further streams copied as they are */
    media::PacketQueue audio_;
    std::unique_ptr<media::VideoWriter> writer_;
};

} // namespace

std::unique_ptr<FrameSource> openSource(const fs::path& path, const SourceOptions& options)
{
    const auto pattern = SequencePattern::parse(path.string());
    if (pattern && hasPngExtension(path)) {
        return std::make_unique<PngSequenceSource>(*pattern, options);
    }
    if (pattern) {
        sequenceLength(*pattern, options.firstFrame); /* refuses a missing start or a gap */
        media::ReaderOptions reader;
        reader.format = "image2";
        reader.demuxerOptions = {{"start_number", std::to_string(options.firstFrame)},
                                 {"framerate", std::to_string(options.fps.num) + "/" + std::to_string(options.fps.den)}};
        return std::make_unique<VideoSource>(path.string(), reader);
    }
    std::error_code ec;
    if (!fs::exists(path, ec)) {
        throw UsageError("cannot read " + quoteName(path.string()) + ": no such file");
    }
    if (fs::is_directory(path, ec)) {
        throw UsageError("cannot read " + quoteName(path.string()) + ": it is a folder");
    }
    if (hasPngExtension(path) && !isAnimatedPng(path)) {
        return std::make_unique<PngStillSource>(path, options);
    }
    return std::make_unique<VideoSource>(path.string(), media::ReaderOptions{});
}

std::unique_ptr<FrameSource> openSource(AVIOContext* io, const std::string& name, const media::ReaderLimits& limits)
{
    media::ReaderOptions reader;
    reader.io = io;
    reader.limits = limits;
    return std::make_unique<VideoSource>(name, reader);
}

std::unique_ptr<FrameSink> openSink(const fs::path& path, const SinkOptions& options)
{
    const auto pattern = SequencePattern::parse(path.string());
    if (pattern && !hasPngExtension(path)) {
        throw UsageError("cannot write " + quoteName(path.string()) +
                         ": numbered sequences are written as PNG (name them .png), other formats as video");
    }
    const StreamDescription& source = *options.source;
    if (pattern) {
        return std::make_unique<PngSequenceSink>(*pattern, source.pngChunks, options);
    }
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        throw UsageError("cannot write " + quoteName(path.string()) + ": it is a folder");
    }
    if (hasPngExtension(path)) {
        if (source.frameCount > 1) {
            throw UsageError("cannot write " + quoteName(path.string()) + ": it is a single image but the input has "
                             "several frames; name a sequence such as out_%04d.png or a video");
        }
        return std::make_unique<PngStillSink>(path, source.pngChunks);
    }
    if (path.extension().empty()) {
        throw UsageError("cannot write " + quoteName(path.string()) +
                         ": its name has no extension to tell the format (.png, .mp4, .mov, ...)");
    }
    return std::make_unique<VideoSink>(path, options);
}

} // namespace cfcli
