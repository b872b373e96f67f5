/* Remux.h — video packets of several files copied one after another into one output (no decoding, no encoding),
   with the audio of another file copied or re-encoded beside them, interleaved by time. */
#pragma once

#include <string>
#include <vector>

#include "media/Av.h"
#include "media/MuxedOutput.h"
#include "media/VideoWriter.h"

namespace cfcli::media {

/* A file opened for reading packets; throws UsageError naming `path` when it cannot be read. */
struct PacketSource {
    std::string name;
    InputFormat format;
    int stream = -1; /* the stream taken from it; -1 when it has none and none was required */
    static PacketSource open(const std::string& path, AVMediaType type, bool required = true);
    const AVStream& chosen() const { return *format->streams[stream]; }
};

struct RemuxSetup {
    MuxedOutput* output = nullptr;              /* not yet started */
    std::vector<PacketSource>* video = nullptr; /* in order; their timestamps already continue each other */
    PacketSource* audio = nullptr;              /* or none */
    AudioPlan audioPlan;
    std::int64_t audioStart = 0; /* AV_TIME_BASE: the moment of the audio's file the video's times count from */
    Tags metadata;
};

/* Writes the whole output and puts it in place; throws CliError (exit 2) when the output cannot take the streams or
   a write fails. */
void remux(const RemuxSetup& setup);

} // namespace cfcli::media
