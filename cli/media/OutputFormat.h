/* OutputFormat.h — what goes into an output file: its container from the name, and the video codec and pixel
   format, either as asked (--codec, --pix-fmt, checked against libavcodec) or the container's playable
   default, with alpha codecs where the result has transparency; and the timing the video is written with. */
#pragma once

#include <optional>
#include <string>

#include "media/Av.h"

namespace cfcli::media {

/* The container for a file name by its extension; throws UsageError naming the file when FFmpeg has none. */
const AVOutputFormat* containerFor(const std::string& fileName);

struct VideoRequest {
    std::optional<std::string> codec;
    std::optional<std::string> pixFmt;
    int width = 0;
    int height = 0;
    int bits = 8;
    bool alpha = false; /* the rendered frames have transparency */
    AVColorTransferCharacteristic transfer = AVCOL_TRC_UNSPECIFIED;
};

struct VideoChoice {
    const AVCodec* codec = nullptr;
    AVPixelFormat format = AV_PIX_FMT_NONE;
    std::string note; /* for the user: alpha dropped, 4:4:4 for an odd size */
};

/* Throws UsageError, listing what is accepted, for an unknown codec or pixel format, one the codec does not take,
   or a codec the container cannot hold. `shownName` names the output in messages. */
VideoChoice chooseVideo(const AVOutputFormat* container, const VideoRequest& request, const std::string& shownName);

struct VideoTiming {
    AVRational timeBase{1, 24};  /* the encoder's: every frame's time is a whole number of it */
    AVRational frameRate{24, 1}; /* declared in the file */
    bool constant = false;       /* frames sit on a grid of 1/frameRate: they are repeated or dropped to keep time */
    std::string note;            /* for the user: the rate changed to one the codec takes */
};

/* The timing `codec` in `container` is written with, for frames timed in `inputTimeBase` at the nominal `rate`
   whose times fall on a grid of 1/`gridRate`. Formats that store a time per frame keep each frame's time; AVI,
   YUV4MPEG and the MPEG-1/2 and Theora codecs store only a rate: the grid's, or the nearest one the codec takes. */
VideoTiming chooseTiming(const AVOutputFormat* container, const AVCodec* codec, AVRational inputTimeBase,
                         AVRational rate, AVRational gridRate, const std::string& shownName);

} // namespace cfcli::media
