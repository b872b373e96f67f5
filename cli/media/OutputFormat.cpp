/* OutputFormat.cpp — the table of playable defaults per container and the checks of asked-for names. */
#include "media/OutputFormat.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cstdint>
#include <filesystem>

#include "common/Errors.h"
#include "common/Text.h"
#include "media/ColorConvert.h"

namespace cfcli::media {

namespace {

bool takes(const AVCodec* codec, AVPixelFormat format)
{
    if (codec->pix_fmts == nullptr) {
        return true;
    }
    for (const AVPixelFormat* p = codec->pix_fmts; *p != AV_PIX_FMT_NONE; ++p) {
        if (*p == format) {
            return true;
        }
    }
    return false;
}

bool lossless(const AVCodec* codec)
{
    const AVCodecDescriptor* d = avcodec_descriptor_get(codec->id);
    return d != nullptr && (d->props & AV_CODEC_PROP_LOSSLESS) && !(d->props & AV_CODEC_PROP_LOSSY);
}

/* The pixel format a codec gets unless one is asked for: alpha kept when there is some; lossless codecs keep
   RGB and depth; lossy ones get 4:2:0, which every player decodes (10 bits for HDR transfers). */
AVPixelFormat defaultFormat(const AVCodec* codec, const VideoRequest& r)
{
    const AVPixelFormat source = r.bits == 16 ? AV_PIX_FMT_RGBA64 : AV_PIX_FMT_RGBA;
    if (codec->pix_fmts == nullptr) {
        if (codec->id == AV_CODEC_ID_WRAPPED_AVFRAME) { /* y4m */
            return r.bits == 16 ? AV_PIX_FMT_YUV444P16 : AV_PIX_FMT_YUV420P;
        }
        return r.alpha ? source : (r.bits == 16 ? AV_PIX_FMT_RGB48 : AV_PIX_FMT_RGB24);
    }
    if (codec->id == AV_CODEC_ID_GIF && takes(codec, AV_PIX_FMT_PAL8)) {
        return AV_PIX_FMT_PAL8; /* our palette has a transparent entry */
    }
    int loss = 0;
    if (r.alpha) {
        const AVPixelFormat best = avcodec_find_best_pix_fmt_of_list(codec->pix_fmts, source, 1, &loss);
        if (hasAlpha(best)) {
            return best;
        }
    }
    if (lossless(codec)) {
        return avcodec_find_best_pix_fmt_of_list(codec->pix_fmts, source, 0, &loss);
    }
    const bool hdr = r.transfer == AVCOL_TRC_SMPTE2084 || r.transfer == AVCOL_TRC_ARIB_STD_B67;
    if (codec->id == AV_CODEC_ID_MJPEG && takes(codec, AV_PIX_FMT_YUVJ420P)) {
        return AV_PIX_FMT_YUVJ420P; /* its limited-range formats are refused unless told to be unofficial */
    }
    if (hdr && takes(codec, AV_PIX_FMT_YUV420P10)) {
        return AV_PIX_FMT_YUV420P10;
    }
    if (takes(codec, AV_PIX_FMT_YUV420P)) {
        return AV_PIX_FMT_YUV420P;
    }
    return avcodec_find_best_pix_fmt_of_list(codec->pix_fmts, source, 0, &loss);
}

const AVCodec* encoderNamed(const char* name)
{
    const AVCodec* c = avcodec_find_encoder_by_name(name);
    return c != nullptr && c->type == AVMEDIA_TYPE_VIDEO ? c : nullptr;
}

} // namespace

const AVOutputFormat* containerFor(const std::string& fileName)
{
    const std::string ext = lowered(std::filesystem::path(fileName).extension().string());
    /* .m4v is also the raw MPEG-4 stream; players expect an MP4 file under that name. */
    const AVOutputFormat* f = ext == ".m4v" ? av_guess_format("mp4", nullptr, nullptr)
                                            : av_guess_format(nullptr, fileName.c_str(), nullptr);
    if (f == nullptr || f->video_codec == AV_CODEC_ID_NONE) {
        throw UsageError("cannot write " + quoteName(fileName) + ": no video or image format goes by the extension " +
                         quoteName(ext) + " (.png, .mp4, .mov, .mkv, .webm, .gif, .avi, .y4m, ...)");
    }
    /* Audio formats whose only picture is a cover image: the render would be lost but for one frame. */
    const std::string name = f->name;
    if (name == "mp3" || name == "flac" || ext == ".m4a" || ext == ".m4b") {
        throw UsageError("cannot write " + quoteName(fileName) + ": " + quoteName(ext) +
                         " is an audio format, which cannot hold the video (.mp4, .mov, .mkv, .webm, ...)");
    }
    /* Playlists that write their media in files of their own (HLS, DASH) cannot appear whole at once. */
    if (name == "hls" || name == "dash") {
        throw UsageError("cannot write " + quoteName(fileName) + ": " + quoteName(ext) +
                         " writes a playlist and its media as many files, which could not appear whole; render to "
                         "one file (.mp4, .mkv, ...) and segment it afterwards");
    }
    return f;
}

VideoChoice chooseVideo(const AVOutputFormat* container, const VideoRequest& r, const std::string& shownName)
{
    const std::string name = container->name;
    const std::string what = "cannot write " + quoteName(shownName) + ": ";
    VideoChoice choice;
    if (r.codec) {
        choice.codec = encoderNamed(r.codec->c_str());
        if (choice.codec == nullptr) {
            throw UsageError("--codec " + quoteName(*r.codec) + " is no video encoder of this FFmpeg; it has: " +
                             encoderNames(AVMEDIA_TYPE_VIDEO));
        }
        if (avformat_query_codec(container, choice.codec->id, FF_COMPLIANCE_NORMAL) == 0) {
            throw UsageError(what + "the " + name + " format cannot hold " + choice.codec->name + " video");
        }
    } else {
        const bool mp4like = name == "mp4" || name == "mov" || name == "matroska" || name == "ipod";
        const char* pick = nullptr;
        if (r.alpha && name == "mov") {
            pick = "prores_ks";
        } else if (r.alpha && name == "matroska") {
            pick = "ffv1";
        } else if (mp4like) {
            pick = "libx264";
        } else if (name == "webm") {
            pick = "libvpx-vp9";
        }
        choice.codec = pick != nullptr ? encoderNamed(pick) : nullptr;
        if (choice.codec == nullptr) {
            choice.codec = avcodec_find_encoder(container->video_codec);
        }
        if (choice.codec == nullptr) {
            throw UsageError(what + "this FFmpeg has no encoder for " + avcodec_get_name(container->video_codec) +
                             ", the " + name + " format's video; name one with --codec");
        }
    }

    if (r.pixFmt) {
        choice.format = av_get_pix_fmt(r.pixFmt->c_str());
        if (choice.format == AV_PIX_FMT_NONE || !takes(choice.codec, choice.format)) {
            throw UsageError("--pix-fmt " + quoteName(*r.pixFmt) + " is not a pixel format " + choice.codec->name +
                             " takes; it takes: " + pixelFormatNames(choice.codec));
        }
    } else {
        choice.format = defaultFormat(choice.codec, r);
        if (choice.codec->id == AV_CODEC_ID_PRORES && r.alpha) {
            choice.format = AV_PIX_FMT_YUVA444P10;
        }
        const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(choice.format);
        const bool subsampled = d != nullptr && (d->log2_chroma_w > 0 || d->log2_chroma_h > 0);
        const bool needsEven = choice.codec->id == AV_CODEC_ID_H264 || choice.codec->id == AV_CODEC_ID_HEVC;
        if (subsampled && needsEven && ((r.width | r.height) & 1)) {
            const AVPixelFormat full = d->comp[0].depth > 8 ? AV_PIX_FMT_YUV444P10 : AV_PIX_FMT_YUV444P;
            if (takes(choice.codec, full)) {
                choice.format = full;
                choice.note = "the frame size " + std::to_string(r.width) + "x" + std::to_string(r.height) +
                              " is odd, which " + choice.codec->name + " cannot store in 4:2:0; " + shownName +
                              " is written in 4:4:4 at its own size, which some players do not play";
            }
        }
    }
    if (r.alpha && !hasAlpha(choice.format) && choice.format != AV_PIX_FMT_PAL8) {
        choice.note = "the result has transparency, which " + std::string(choice.codec->name) + " (" +
                      av_get_pix_fmt_name(choice.format) + ") in " + shownName +
                      " cannot hold: it is written opaque (.mov, .mkv, .webm, .gif and PNG keep alpha)";
    }
    return choice;
}

} // namespace cfcli::media

namespace cfcli::media {

namespace {

/* MPEG-4 part 2 and its relatives store the time base in 16 bits. */
bool shortTimeBase(AVCodecID id)
{
    return id == AV_CODEC_ID_MPEG4 || id == AV_CODEC_ID_H263 || id == AV_CODEC_ID_H263P ||
           id == AV_CODEC_ID_MSMPEG4V2 || id == AV_CODEC_ID_MSMPEG4V3 || id == AV_CODEC_ID_FLV1;
}

std::string rateText(AVRational r)
{
    return r.den == 1 ? std::to_string(r.num) : std::to_string(r.num) + "/" + std::to_string(r.den);
}

} // namespace

VideoTiming chooseTiming(const AVOutputFormat* container, const AVCodec* codec, AVRational inputTimeBase,
                         AVRational rate, AVRational gridRate, const std::string& shownName)
{
    VideoTiming t;
    t.frameRate = rate;
    const std::string name = container->name;
    const AVCodecID id = codec->id;
    t.constant = name == "avi" || name == "yuv4mpegpipe" || id == AV_CODEC_ID_MPEG1VIDEO ||
                 id == AV_CODEC_ID_MPEG2VIDEO || id == AV_CODEC_ID_THEORA;
    if (t.constant) {
        /* the rates of the MPEG-1/2 standards; their encoders refuse the others unless told to be unofficial */
        static const AVRational mpegRates[] = {{24000, 1001}, {24, 1}, {25, 1}, {30000, 1001}, {30, 1},
                                               {50, 1},       {60000, 1001}, {60, 1}, {0, 0}};
        rate = gridRate.num > 0 ? gridRate : rate;
        t.frameRate = rate;
        const bool mpeg = id == AV_CODEC_ID_MPEG1VIDEO || id == AV_CODEC_ID_MPEG2VIDEO;
        const AVRational* rates = mpeg ? mpegRates : codec->supported_framerates;
        if (rates != nullptr) {
            const AVRational taken = rates[av_find_nearest_q_idx(rate, rates)];
            if (av_cmp_q(taken, rate) != 0) {
                t.note = shownName + " is written at " + rateText(taken) + " fps, the rate nearest " + rateText(rate) +
                         " that " + codec->name + " takes";
                t.frameRate = taken;
            }
        }
        t.timeBase = av_inv_q(t.frameRate);
        return t;
    }
    t.timeBase = inputTimeBase;
    if (shortTimeBase(id) && inputTimeBase.den > 65535) {
        /* the finest grid of whole subdivisions of a frame that fits */
        const int parts = std::max(1, 65535 / std::max(1, rate.num));
        av_reduce(&t.timeBase.num, &t.timeBase.den, rate.den, static_cast<std::int64_t>(rate.num) * parts, 65535);
    }
    return t;
}

} // namespace cfcli::media
