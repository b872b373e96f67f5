/* OutputFormat.h — what goes into an output file: its container from the name, and the video codec and pixel
   format, either as asked (--codec, --pix-fmt, checked against libavcodec) or the container's playable
   default, with alpha codecs where the result has transparency. */
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

} // namespace cfcli::media
