/* RenderCommand.cpp — `render`: checks everything the user can get wrong before any work (input, settings,
   output, output that is the input), runs the frames through the pipeline, and tells how a damaged input
   ended. */
#include "commands/RenderCommand.h"

#include <cstdio>
#include <thread>

#include "common/AtomicFile.h"
#include "common/ChunkLabel.h"
#include "pipeline/EffectSession.h"
#include "common/Errors.h"
#include "common/FrameRange.h"
#include "pipeline/Media.h"
#include "pipeline/Pipeline.h"
#include "common/Progress.h"
#include "images/Sequence.h"
#include "common/Text.h"

namespace fs = std::filesystem;

namespace cfcli {

namespace {

/* The output, or any frame of it, is a file of the input (through any path or link). */
void refuseOverwritingInput(const fs::path& in, const fs::path& out, long first, long count)
{
    const auto inPattern = SequencePattern::parse(in.string());
    const auto outPattern = SequencePattern::parse(out.string());
    const long frames = std::max(1L, count);
    for (long i = 0; i < frames; ++i) {
        const fs::path a = inPattern ? fs::path(inPattern->format(first + i)) : in;
        const fs::path b = outPattern ? fs::path(outPattern->format(first + i)) : out;
        refuseOverwriting(a, b);
        if (!inPattern && !outPattern) {
            break;
        }
    }
}

/* Everything apart from the input that decides a chunk's pixels, as the effect holds it (not as it was spelt), so
   that `join` can refuse chunks rendered differently. */
std::string settingsText(EffectSession& session, const Options& options, int bits, AVRational rate)
{
    return parameterValues(session.effect(), session.declared()) + "fps=" + std::to_string(rate.num) + "/" +
           std::to_string(rate.den) + " frame=" + std::to_string(options.frame) + " bits=" + std::to_string(bits) +
           " host=" + (options.premiere ? "premiere" : "ae");
}

} // namespace

int runRender(const Options& options)
{
    const fs::path in = options.positional[0];
    const fs::path out = options.positional[1];
    const bool quiet = options.quiet;
    auto note = [quiet](const std::string& text) {
        if (!quiet) {
            std::fprintf(stderr, "crumbleforge: note: %s\n", text.c_str());
        }
    };

    /* Everything the user can get wrong is checked before the effect renders anything. */
    const fs::path plugin = locatePlugin(options.plugin);
    SourceOptions sourceOptions;
    sourceOptions.firstFrame = options.frame;
    sourceOptions.fps = options.fps.value_or(sourceOptions.fps);
    std::unique_ptr<FrameSource> source = openSource(in, sourceOptions);
    /* every frame of the input counts, also those a range leaves out */
    refuseOverwritingInput(in, out, options.frame, source->description().frameCount);
    const AVRational rate = options.fps ? AVRational{options.fps->num, options.fps->den}
                                        : source->description().frameRate;
    const TimeValues values(source->description().timeBase, rate, options.frame);
    std::optional<FrameRange> range;
    bool inputEnded = false; /* inside the range */
    InputIdentity identity;
    if (options.range) {
        range = FrameRange::resolve(*options.range, values);
        identity = identifyInput(in.string(), options.frame);
        if (source->description().audio != nullptr) {
            note("a range is rendered without the audio; 'join --audio-from " + in.string() +
                 "' adds the input's audio, whole, to the joined chunks");
        }
        source = rangedSource(std::move(source), *range, values, &inputEnded);
    }
    const StreamDescription& d = source->description();
    if (!d.leftOut.empty()) {
        note("the output leaves out " + std::string(d.leftOut.size() == 1 ? "a stream" : "streams") + " of " +
             quoteName(in.string()) + ": " + joined(d.leftOut, ", "));
    }

    EffectSession session(SessionOptions{plugin, options.premiere, options.threads});
    applySettings(session.effect(), parseSettings(options.settings, session.declared()));

    int bits = options.depth.value_or(d.bits);
    if (options.premiere && bits == 16) {
        note("the effect draws 8 bits in Premiere Pro: the " +
             std::string(options.depth ? "16-bit working depth asked for" : "input's deep colour") +
             " is converted down to 8 bits");
        bits = 8;
    }
    /* Time values: one frame of the nominal rate (--fps, else the input's own) is one step of 100. */
    const std::int64_t scale = values.scale();

    SinkOptions sinkOptions;
    sinkOptions.source = &d;
    sinkOptions.bits = bits;
    sinkOptions.codec = options.codec;
    sinkOptions.crf = options.crf;
    sinkOptions.pixFmt = options.pixFmt;
    sinkOptions.encoderOptions = options.encoderOptions;
    sinkOptions.note = note;
    if (range) {
        sinkOptions.withoutAudio = true;
        sinkOptions.onlyARange = true;
        ChunkLabel label;
        label.range = *range;
        label.settings = textDigest(settingsText(session, options, bits, rate));
        label.input = identity;
        label.start = av_rescale_q(d.start, d.timeBase, AV_TIME_BASE_Q);
        label.head = range->first <= values.ofTimestamp(0);
        /* what the file holds is known once it is complete */
        sinkOptions.closingTag = kChunkTag;
        sinkOptions.closingValue = [label, &inputEnded](const media::MuxedOutput::Span& video) mutable {
            label.frames = video.packets;
            label.from = video.first;
            label.to = video.last;
            label.tail = inputEnded;
            return label.text();
        };
    }
    std::unique_ptr<FrameSink> sink = openSink(out, sinkOptions);
    source->passAudio(sink->audioQueue());

    Progress progress(!quiet && d.frameCount != 1, d.frameCount);
    PipelineSetup setup;
    setup.source = source.get();
    setup.sink = sink.get();
    setup.session = &session;
    setup.depth = bits == 16 ? cfhost::Depth::Sixteen : cfhost::Depth::Eight;
    setup.firstFrame = range ? range->firstFrameNumber() : options.frame;
    setup.timeOf = [&](std::int64_t pts) {
        const std::int64_t t = values.ofTimestamp(pts);
        if (t > static_cast<std::int64_t>(kMaxFrame) * 100 || t < -static_cast<std::int64_t>(kMaxFrame) * 100) {
            throw UsageError("frame " + std::to_string(t / 100) + " is past the last frame number the host's time "
                             "values can express (" + std::to_string(kMaxFrame) + ")");
        }
        cfhost::FrameTime time;
        time.current_time = static_cast<A_long>(t);
        time.time_step = 100;
        time.time_scale = static_cast<A_u_long>(scale);
        return time;
    };
    setup.renderers = std::thread::hardware_concurrency() > 1 ? 2 : 1;
    setup.progress = &progress;
    const long rendered = runPipeline(setup);
    if (rendered == 0 && range) {
        throw UsageError("the range " + range->text() + " holds no frames of " + quoteName(in.string()));
    }
    if (rendered == 0) {
        throw UsageError("cannot read " + quoteName(in.string()) + ": it holds no frames" +
                         (source->errors() > 0 ? " that decode" : ""));
    }
    sink->commit();
    progress.finish();

    /* Fewer frames than the file declares is no damage by itself: an edit list may show only part of a
       track. Damage is what the reader and decoders reported. */
    if (source->errors() > 0) {
        const std::string declared =
            d.frameCount > 0 ? " of the " + std::to_string(d.frameCount) + " frames it declares" : " frames";
        throw CliError("the input " + quoteName(in.string()) + " is damaged: " + std::to_string(rendered) + declared +
                           " were rendered into " + quoteName(out.string()) + ", which is kept",
                       kExitInputDamaged);
    }
    return kExitDone;
}

} // namespace cfcli
