/* ChunkLabel.h — what a chunk file made by `render --range` says about itself, kept in its container's tags so that
   `join` can tell whether chunks belong together and are whole: its range, the settings and the input it was
   rendered from, and the video it holds. */
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/FrameRange.h"

namespace cfcli {

/* The input a chunk was rendered from, as far as a few reads can tell files apart: its size, its duration and a
   digest of its first video packets. */
struct InputIdentity {
    std::int64_t size = 0;       /* bytes; 0 for numbered images */
    std::int64_t duration = -1;  /* AV_TIME_BASE; -1 when the file does not say */
    std::string digest;          /* hex */
    bool operator==(const InputIdentity& o) const
    {
        return size == o.size && duration == o.duration && digest == o.digest;
    }
    bool operator!=(const InputIdentity& o) const { return !(*this == o); }
};

/* Throws UsageError naming `path` when it cannot be read. `firstFrame` is the number of the first of numbered
   images. */
InputIdentity identifyInput(const std::string& path, long firstFrame);

struct ChunkLabel {
    FrameRange range;
    std::string settings;     /* digest of everything apart from the input that decides the pixels */
    InputIdentity input;
    std::int64_t start = 0;   /* AV_TIME_BASE: the moment of the input its video's times count from (audio's too) */
    long frames = 0;          /* video frames the file holds */
    std::int64_t from = 0;    /* presentation time of its earliest frame, AV_TIME_BASE from the input's start */
    std::int64_t to = 0;      /* and of its latest */
    bool head = false;        /* it holds the input's first frame */
    bool tail = false;        /* it holds the input's last frame */

    std::string text() const;
    /* Null for any text that is not a whole label. */
    static std::optional<ChunkLabel> parse(const std::string& text);
};
inline constexpr const char* kChunkTag = "crumbleforge_chunk";

/* A digest (hex) of a text. */
std::string textDigest(const std::string& text);

} // namespace cfcli
