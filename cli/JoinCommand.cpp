/* JoinCommand.cpp — the checks that make a join seamless (same codec parameters and settings, ranges that follow
   each other without gap or overlap), then the stream copy into an output that appears only when complete. */
#include "JoinCommand.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "AtomicFile.h"
#include "Errors.h"
#include "FrameRange.h"
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

/* How the video of two chunks differs so that one stream cannot hold both; empty when it does not. */
std::string difference(const AVCodecParameters& a, const AVCodecParameters& b)
{
    if (a.codec_id != b.codec_id) {
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
    if (a.color_space != b.color_space || a.color_range != b.color_range || a.color_primaries != b.color_primaries ||
        a.color_trc != b.color_trc) {
        return "colour description";
    }
    if (av_cmp_q(a.sample_aspect_ratio, b.sample_aspect_ratio) != 0 || a.field_order != b.field_order) {
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
    const AVOutputFormat* container = media::containerFor(out.string());

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
    for (Chunk& c : chunks) {
        video.push_back(std::move(c.source));
    }
    TempFile file(out);
    file.close(); /* the muxer writes it by name */
    media::RemuxSetup setup;
    setup.file = file.path().string();
    setup.shownName = out.string();
    setup.container = container;
    setup.video = &video;
    setup.audio = audio ? &*audio : nullptr;
    setup.audioPlan = plan;
    const ChunkLabel joined{FrameRange{chunks.front().label.range.first, chunks.back().label.range.end},
                            chunks.front().label.settings};
    setup.metadata.emplace_back(kChunkTag, joined.text());
    media::remux(setup);
    file.commit();
    return kExitDone;
}

} // namespace cfcli
