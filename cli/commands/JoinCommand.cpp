/* JoinCommand.cpp — the checks that make a join seamless and whole (one input, the same settings and codec
   parameters, ranges that follow each other without gap or overlap from the input's first frame to its last, and
   each chunk holding the frames it was rendered with, at their times), then the stream copy into an output that
   appears only when complete. */
#include "commands/JoinCommand.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "common/AtomicFile.h"
#include "common/ChunkLabel.h"
#include "common/Errors.h"
#include "common/Text.h"
#include "media/MuxedOutput.h"
#include "media/OutputFormat.h"
#include "media/Remux.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace fs = std::filesystem;

namespace cfcli {

namespace {

struct Chunk {
    media::PacketSource source;
    ChunkLabel label;
};

std::string pixelFormatName(int format)
{
    const char* name = av_get_pix_fmt_name(static_cast<AVPixelFormat>(format));
    return name != nullptr ? name : "unknown";
}

/* The number a demuxer stored in an enumerated field, read as a number: files can hold values the enumeration does
   not name (a colour transfer of 40), which may not be read as the enumeration. */
template <typename Enum>
int stored(const Enum& field)
{
    static_assert(sizeof(Enum) == sizeof(int), "an enumeration stored as an int");
    int value = 0;
    std::memcpy(&value, &field, sizeof value);
    return value;
}

/* How the video of two chunks differs so that one stream cannot hold both; empty when it does not. */
std::string difference(const AVCodecParameters& a, const AVCodecParameters& b)
{
    if (stored(a.codec_id) != stored(b.codec_id)) {
        return std::string("codec ") + avcodec_get_name(a.codec_id) + " and " + avcodec_get_name(b.codec_id);
    }
    if (a.width != b.width || a.height != b.height) {
        return "size " + std::to_string(a.width) + "x" + std::to_string(a.height) + " and " + std::to_string(b.width) +
               "x" + std::to_string(b.height);
    }
    if (a.format != b.format) {
        return "pixel format " + pixelFormatName(a.format) + " and " + pixelFormatName(b.format);
    }
    if (a.profile != b.profile || a.level != b.level) {
        return "codec profile or level";
    }
    if (stored(a.color_space) != stored(b.color_space) || stored(a.color_range) != stored(b.color_range) ||
        stored(a.color_primaries) != stored(b.color_primaries) || stored(a.color_trc) != stored(b.color_trc)) {
        return "colour description";
    }
    if (av_cmp_q(a.sample_aspect_ratio, b.sample_aspect_ratio) != 0 || stored(a.field_order) != stored(b.field_order)) {
        return "sample aspect ratio or field order";
    }
    if (a.extradata_size != b.extradata_size ||
        (a.extradata_size > 0 && std::memcmp(a.extradata, b.extradata, static_cast<std::size_t>(a.extradata_size)) != 0)) {
        return "codec headers (encoder settings)";
    }
    return "";
}

std::string rangeOf(const Chunk& c)
{
    return quoteName(c.source.name) + " (frames " + c.label.range.text() + ")";
}

std::string seconds(std::int64_t microseconds)
{
    return shortestText(static_cast<double>(microseconds) / AV_TIME_BASE) + " s";
}

/* Reads the video packets of a chunk (without decoding them, to its end or its first unreadable byte) and throws
   UsageError naming it when they are not the frames its label says it was rendered with, at their times. */
void checkContent(const std::string& name, const ChunkLabel& label, const std::string& shown)
{
    media::PacketSource chunk = media::PacketSource::open(name, AVMEDIA_TYPE_VIDEO);
    const AVRational timeBase = chunk.chosen().time_base;
    long frames = 0;
    std::int64_t first = AV_NOPTS_VALUE;
    std::int64_t last = AV_NOPTS_VALUE;
    media::Packet p = media::makePacket();
    while (av_read_frame(chunk.format.get(), p.get()) >= 0) {
        if (p->stream_index == chunk.stream) {
            ++frames;
            const std::int64_t t = p->pts == AV_NOPTS_VALUE ? AV_NOPTS_VALUE
                                                            : av_rescale_q(p->pts, timeBase, AV_TIME_BASE_Q);
            if (t != AV_NOPTS_VALUE) {
                first = first == AV_NOPTS_VALUE ? t : std::min(first, t);
                last = last == AV_NOPTS_VALUE ? t : std::max(last, t);
            }
        }
        av_packet_unref(p.get());
    }
    if (frames != label.frames) {
        throw UsageError("cannot join " + shown + ": it holds " + std::to_string(frames) + " frames, not the " +
                         std::to_string(label.frames) + " it was rendered with (a copy cut short, or re-muxed "
                         "without some of them)");
    }
    /* The file keeps times to its own time base: a difference within one step of it is rounding. The label's
       times are bounded, so none of this overflows. */
    const std::int64_t step = std::max<std::int64_t>(1, av_rescale_q_rnd(1, timeBase, AV_TIME_BASE_Q, AV_ROUND_UP));
    auto near = [step](std::int64_t held, std::int64_t rendered) {
        return held != AV_NOPTS_VALUE && (held > rendered ? held - step <= rendered : rendered - step <= held);
    };
    if (!near(first, label.from) || !near(last, label.to)) {
        const std::string held = first == AV_NOPTS_VALUE
                                     ? "its frames carry no times"
                                     : "its frames run from " + seconds(first) + " to " + seconds(last);
        throw UsageError("cannot join " + shown + ": " + held + ", not from " + seconds(label.from) + " to " +
                         seconds(label.to) + " as rendered (its timestamps were changed)");
    }
}

} // namespace

int runJoin(const Options& options)
{
    const fs::path out = options.positional[0];
    const std::vector<std::string> names(options.positional.begin() + 1, options.positional.end());
    std::vector<std::string> inputs = names;
    if (options.audioFrom) {
        inputs.push_back(*options.audioFrom);
    }
    for (const std::string& in : inputs) {
        refuseOverwriting(in, out);
    }
    const AVOutputFormat* container = media::containerFor(out.string()); /* a bad name fails before any reading */

    std::vector<Chunk> chunks;
    for (const std::string& name : names) {
        Chunk c{media::PacketSource::open(name, AVMEDIA_TYPE_VIDEO), {}};
        const AVDictionaryEntry* tag = av_dict_get(c.source.format->metadata, kChunkTag, nullptr, 0);
        const auto label = tag != nullptr ? ChunkLabel::parse(tag->value) : std::nullopt;
        if (!label) {
            throw UsageError("cannot join " + quoteName(name) + ": it does not say which frames it holds; join takes "
                             "chunks made by 'render --range' into formats that keep tags (.mkv, .mp4, .mov)");
        }
        const AVCodecParameters& par = *c.source.chosen().codecpar;
        if (par.format < 0 || par.width <= 0 || par.height <= 0) {
            throw UsageError("cannot join " + quoteName(name) + ": its video does not say its frame size and pixel "
                             "format (is the file cut short?)");
        }
        c.label = *label;
        chunks.push_back(std::move(c));
    }
    const Chunk& first = chunks[0];
    for (const Chunk& c : chunks) {
        if (c.label.input != first.label.input) {
            throw UsageError("cannot join " + quoteName(first.source.name) + " and " + quoteName(c.source.name) +
                             ": they were rendered from different inputs (size, duration or first frames differ)");
        }
        if (c.label.settings != first.label.settings) {
            throw UsageError("cannot join " + quoteName(first.source.name) + " and " + quoteName(c.source.name) +
                             ": they were rendered with different settings (parameters, --fps, --frame, --depth or "
                             "--host)");
        }
        const std::string differs = difference(*first.source.chosen().codecpar, *c.source.chosen().codecpar);
        if (!differs.empty()) {
            throw UsageError("cannot join " + quoteName(first.source.name) + " and " + quoteName(c.source.name) +
                             " by stream copy: their codec parameters differ (" + differs + ")");
        }
    }
    std::stable_sort(chunks.begin(), chunks.end(),
                     [](const Chunk& a, const Chunk& b) { return a.label.range.first < b.label.range.first; });
    for (std::size_t i = 1; i < chunks.size(); ++i) {
        const Chunk& a = chunks[i - 1];
        const Chunk& b = chunks[i];
        if (!a.label.range.end || *a.label.range.end > b.label.range.first) {
            throw UsageError("cannot join: " + rangeOf(a) + " and " + rangeOf(b) + " overlap");
        }
        if (*a.label.range.end < b.label.range.first) {
            FrameRange missing{*a.label.range.end, b.label.range.first};
            throw UsageError("cannot join: between " + rangeOf(a) + " and " + rangeOf(b) + " frames " +
                             missing.text() + " are missing");
        }
    }
    if (!chunks.front().label.head) {
        throw UsageError("cannot join: the frames before " + rangeOf(chunks.front()) +
                         " are missing (no chunk holds the input's first frame)");
    }
    if (!chunks.back().label.tail) {
        throw UsageError("cannot join: the frames after " + rangeOf(chunks.back()) +
                         " are missing (no chunk holds the input's last frame)");
    }
    for (const Chunk& c : chunks) {
        checkContent(c.source.name, c.label, rangeOf(c));
    }

    std::optional<media::PacketSource> audio;
    media::AudioPlan plan;
    if (options.audioFrom) {
        audio = media::PacketSource::open(*options.audioFrom, AVMEDIA_TYPE_AUDIO, false);
        if (audio->stream < 0) {
            plan.note = quoteName(*options.audioFrom) + " has no audio: " + quoteName(out.string()) + " has none";
            audio.reset();
        } else {
            plan = media::planAudio(container, audio->chosen(), *options.audioFrom, out.string());
        }
        if (!plan.note.empty() && !options.quiet) {
            std::fprintf(stderr, "crumbleforge: note: %s\n", plan.note.c_str());
        }
    }

    std::vector<media::PacketSource> video;
    ChunkLabel joined = chunks.front().label;
    joined.range.end = chunks.back().label.range.end;
    joined.frames = 0;
    joined.to = chunks.back().label.to;
    joined.tail = true;
    for (Chunk& c : chunks) {
        joined.frames += c.label.frames;
        video.push_back(std::move(c.source));
    }
    media::MuxedOutput file(out);
    media::RemuxSetup setup;
    setup.output = &file;
    setup.video = &video;
    setup.audio = audio ? &*audio : nullptr;
    setup.audioPlan = plan;
    if (audio) {
        /* The input's audio keeps its place beside the video: it counts from the moment the chunks' video counts
           from. Audio of another file counts from its own start. */
        const std::int64_t own = audio->format->start_time == AV_NOPTS_VALUE ? 0 : audio->format->start_time;
        setup.audioStart = identifyInput(*options.audioFrom, 0) == joined.input ? joined.start : own;
    }
    setup.metadata.emplace_back(kChunkTag, joined.text());
    media::remux(setup);
    return kExitDone;
}

} // namespace cfcli
