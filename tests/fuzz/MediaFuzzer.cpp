/* MediaFuzzer.cpp — container bytes from memory through the command's own reader and the whole render: probe
   and demux (through a custom AVIOContext over the bytes), decode, convert to host worlds, the effect through
   our host, and the writer encoding into a real output with the input's audio and other streams copied or
   re-encoded; then the reader again, counting the file's frames as `plan` does.

   The last byte of an input is not part of the container: it chooses the name the bytes go by (an extension
   helps to tell raw streams), the output format, the working depth, and whether only a range is rendered
   (reached by a seek, as a chunk of a render spread over machines is). The reader runs within smaller limits
   than the command's, so that what any input can claim stays far inside libFuzzer's memory limit.

   Every input must be rendered or refused as the command refuses bad input (exit 2, or 3 for damage), never
   crash, trip a sanitizer, leak, throw anything else or run past the time limit. */
#include "pipeline/EffectSession.h"
#include "common/Errors.h"
#include "common/FrameRange.h"
#include "pipeline/Media.h"
#include "pipeline/Pipeline.h"
#include "cfhost/HostError.h"

#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const std::string& what)
{
    std::fprintf(stderr, "fuzz_media: %s\n", what.c_str());
    std::abort();
}

/* The bytes of one input as an AVIOContext: reads, seeks and the size, as a file gives them. */
class MemoryInput {
public:
    MemoryInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(static_cast<std::int64_t>(size))
    {
        constexpr int kBuffer = 4096;
        auto* buffer = static_cast<unsigned char*>(av_malloc(kBuffer));
        io_ = buffer != nullptr ? avio_alloc_context(buffer, kBuffer, 0, this, &MemoryInput::read, nullptr,
                                                     &MemoryInput::seek)
                                : nullptr;
        if (io_ == nullptr) {
            av_free(buffer);
            fail("cannot make an AVIOContext");
        }
    }
    ~MemoryInput()
    {
        av_freep(&io_->buffer);
        avio_context_free(&io_);
    }
    MemoryInput(const MemoryInput&) = delete;
    MemoryInput& operator=(const MemoryInput&) = delete;

    AVIOContext* io() const noexcept { return io_; }

private:
    static int read(void* opaque, std::uint8_t* out, int size)
    {
        auto* in = static_cast<MemoryInput*>(opaque);
        const std::int64_t left = in->size_ - in->at_;
        if (left <= 0) {
            return AVERROR_EOF;
        }
        const int n = static_cast<int>(std::min<std::int64_t>(left, size));
        std::memcpy(out, in->data_ + in->at_, static_cast<std::size_t>(n));
        in->at_ += n;
        return n;
    }
    static std::int64_t seek(void* opaque, std::int64_t offset, int whence)
    {
        auto* in = static_cast<MemoryInput*>(opaque);
        whence &= ~AVSEEK_FORCE;
        if (whence == AVSEEK_SIZE) {
            return in->size_;
        }
        const std::int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? in->at_ : whence == SEEK_END ? in->size_ : -1;
        if (base < 0 || offset < -base || offset > in->size_ - base) {
            return AVERROR(EINVAL);
        }
        in->at_ = base + offset;
        return in->at_;
    }

    const std::uint8_t* data_;
    std::int64_t size_;
    std::int64_t at_ = 0;
    AVIOContext* io_ = nullptr;
};

/* A folder for the outputs, removed at exit. */
class Scratch {
public:
    Scratch()
    {
        char pattern[] = "/tmp/fuzz_media.XXXXXX";
        if (::mkdtemp(pattern) == nullptr) {
            fail("cannot make a scratch folder");
        }
        path_ = pattern;
    }
    ~Scratch()
    {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const noexcept { return path_; }

private:
    fs::path path_;
};

constexpr const char* kNames[] = {"input", "input.h264", "input.hevc", "input.mjpeg",
                                  "input.m4v", "input.mpg", "input.y4m", "input.nut"};
constexpr const char* kOutputs[] = {"out.nut", "out.mkv", "out.mp4", "out.avi", "out.y4m", "out.mov", "out.nut", "out.mkv"};

/* Far below the command's own bounds: frames of 256 × 256 pixels at most, and 4 MiB read without a packet. */
cfcli::media::ReaderLimits fuzzLimits()
{
    cfcli::media::ReaderLimits limits;
    limits.maxPixels = 256 * 256;
    limits.maxStreams = 16;
    limits.maxFrames = 2000;
    limits.bytesWithoutPacket = std::int64_t{4} << 20;
    limits.packetsWithoutFrame = 200;
    return limits;
}

void render(const std::uint8_t* data, std::size_t size, std::uint8_t choice, cfcli::EffectSession& session,
            const fs::path& folder)
{
    MemoryInput input(data, size);
    const std::string name = kNames[choice & 7];
    std::unique_ptr<cfcli::FrameSource> source = cfcli::openSource(input.io(), name, fuzzLimits());
    const cfcli::TimeValues values(source->description().timeBase, source->description().frameRate, 0);
    std::optional<cfcli::FrameRange> range;
    if ((choice & 0x80) != 0) { /* a chunk, as `render --range` makes it: a seek, then frames 1 and 2 only */
        range = cfcli::FrameRange::resolve(cfcli::RangeSpec::parse("1-3"), values);
        source = cfcli::rangedSource(std::move(source), *range, values);
    }
    const cfcli::StreamDescription& d = source->description();
    if (d.width <= 0 || d.height <= 0 || std::int64_t{d.width} * d.height > fuzzLimits().maxPixels) {
        fail("the reader gave frames of " + std::to_string(d.width) + "x" + std::to_string(d.height));
    }

    const std::string out = kOutputs[(choice >> 3) & 7];
    const int bits = (choice & 0x40) != 0 ? 16 : d.bits;
    cfcli::SinkOptions sinkOptions;
    sinkOptions.source = &d;
    sinkOptions.bits = bits;
    if (out != "out.y4m") {
        sinkOptions.codec = "mpeg4"; /* quick to set up and to encode, and every container here takes it */
    }
    sinkOptions.threads = 1;
    sinkOptions.longestHold = 2; /* as the reader's limits: the command's hour of held frames takes too long here */
    std::unique_ptr<cfcli::FrameSink> sink = cfcli::openSink(folder / out, sinkOptions);
    source->passAudio(sink->audioQueue());

    cfcli::PipelineSetup setup;
    setup.source = source.get();
    setup.sink = sink.get();
    setup.session = &session;
    setup.depth = bits == 16 ? cfhost::Depth::Sixteen : cfhost::Depth::Eight;
    setup.firstFrame = range ? range->firstFrameNumber() : 0;
    setup.timeOf = [&](std::int64_t sinceFirst) {
        const std::int64_t t = values.ofTimestamp(sinceFirst);
        if (t > cfcli::kMaxFrame * 100L || t < -cfcli::kMaxFrame * 100L) {
            throw cfcli::UsageError("past the last frame number");
        }
        cfhost::FrameTime time;
        time.current_time = static_cast<A_long>(t);
        time.time_step = 100;
        time.time_scale = static_cast<A_u_long>(values.scale());
        return time;
    };
    setup.renderers = 2;
    if (cfcli::runPipeline(setup) > 0) {
        sink->commit();
    }
}

void measure(const std::uint8_t* data, std::size_t size, std::uint8_t choice)
{
    MemoryInput input(data, size);
    std::unique_ptr<cfcli::FrameSource> source = cfcli::openSource(input.io(), kNames[choice & 7], fuzzLimits());
    const cfcli::FrameSource::Span span = source->measure();
    if (span.frames < -1 || span.frames > fuzzLimits().maxFrames) { /* -1: the file does not say */
        fail("counted " + std::to_string(span.frames) + " frames");
    }
}

/* Refused or damaged, as the command ends for bad input: anything else is a finding. */
template <typename Step>
void expectOnlyInputErrors(Step step)
{
    try {
        step();
    } catch (const cfcli::CliError& e) {
        if (e.exitCode() != cfcli::kExitBadInput && e.exitCode() != cfcli::kExitInputDamaged) {
            fail(std::string("an error of exit code ") + std::to_string(e.exitCode()) + ": " + e.what());
        }
    } catch (const cfhost::HostError& e) {
        fail(std::string("the host failed: ") + e.what());
    } catch (const std::exception& e) {
        fail(std::string("an unexpected exception: ") + e.what());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static cfcli::EffectSession session(cfcli::SessionOptions{CRUMBLEFORGE_MODULE, false, 1});
    static Scratch scratch;
    if (size < 2) {
        return 0;
    }
    const std::uint8_t choice = data[size - 1];
    expectOnlyInputErrors([&] { render(data, size - 1, choice, session, scratch.path()); });
    expectOnlyInputErrors([&] { measure(data, size - 1, choice); });
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(scratch.path(), ec)) {
        fs::remove(e.path(), ec);
    }
    return 0;
}
