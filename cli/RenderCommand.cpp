/* RenderCommand.cpp — the render loop: one frame at a time from source to effect to sink, so memory
   stays the same however long the input is. */
#include "RenderCommand.h"

#include <cstdio>

#include "Conversions.h"
#include "EffectSession.h"
#include "Errors.h"
#include "Media.h"
#include "Progress.h"

namespace fs = std::filesystem;

namespace cfcli {

namespace {

std::string rateArgument(double fps)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g", fps);
    return buf;
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
    sourceOptions.fps = options.fps ? options.fps->value() : 24.0;
    std::unique_ptr<FrameSource> source = openSource(in, sourceOptions);

    EffectSession session(SessionOptions{plugin, options.premiere, options.threads});
    applySettings(session.effect(), parseSettings(options.settings, session.declared()));

    const int bits = options.depth.value_or(source->bits());
    const double fps = options.fps ? options.fps->value() : source->fps().value_or(24.0);
    SinkOptions sinkOptions;
    sinkOptions.rate = source->rateText().empty() ? rateArgument(fps) : source->rateText();
    sinkOptions.source = source.get();
    sinkOptions.note = note;
    std::unique_ptr<FrameSink> sink = openSink(out, sinkOptions);

    const cfhost::Depth depth = bits == 16 ? cfhost::Depth::Sixteen : cfhost::Depth::Eight;
    Progress progress(!quiet && source->frameCount() != 1, source->frameCount());
    source->start(bits);
    RgbaImage frame;
    long number = options.frame;
    long rendered = 0;
    while (source->next(frame)) {
        if (number > kMaxFrame) {
            throw UsageError("frame " + std::to_string(number) + " is past the last frame number the host's time "
                             "values can express (" + std::to_string(kMaxFrame) + ")");
        }
        cfhost::World input = session.host().makeWorld(frame.width, frame.height, depth);
        imageToWorld(frame, input);
        const cfhost::World output = session.render(input, number, fps);
        sink->write(worldToImage(output), number);
        ++number;
        ++rendered;
        progress.frameDone();
    }
    if (rendered == 0) {
        throw UsageError("cannot read " + quoteName(in.string()) + ": it holds no frames");
    }
    sink->commit();
    progress.finish();
    return kExitDone;
}

} // namespace cfcli
