/* OutputFormatTest.cpp — the codec and pixel format an output gets: names asked for are checked against
   libavcodec with the accepted ones listed, and defaults stay playable at odd sizes and with alpha. */
#include <gtest/gtest.h>

extern "C" {
#include <libavutil/pixdesc.h>
}

#include "common/Errors.h"
#include "media/OutputFormat.h"

namespace cfcli::media {
namespace {

std::string failure(const VideoRequest& request, const std::string& file)
{
    try {
        chooseVideo(containerFor(file), request, file);
    } catch (const UsageError& e) {
        return e.what();
    }
    return "";
}

TEST(OutputFormat, UnknownOrUnfitNamesAreRefusedWithWhatIsAccepted)
{
    VideoRequest r;
    r.width = 64;
    r.height = 48;
    r.codec = "h265-please";
    EXPECT_NE(failure(r, "o.mp4").find("libx264"), std::string::npos) << "the encoders are listed";
    r.codec = "libx264";
    r.pixFmt = "rgb565";
    const std::string format = failure(r, "o.mp4");
    EXPECT_NE(format.find("yuv420p"), std::string::npos) << format;
    r.codec = "ffv1";
    r.pixFmt.reset();
    EXPECT_NE(failure(r, "o.mp4").find("cannot hold"), std::string::npos);
    EXPECT_THROW(containerFor("o.unknownext"), UsageError);
}

TEST(OutputFormat, DefaultsStayPlayableAtOddSizesAndSayWhatTheyDrop)
{
    struct Case {
        const char* file;
        int width;
        bool alpha;
        const char* codec;
        const char* format;
        bool note;
    };
    for (const Case& c : {Case{"o.mp4", 64, false, "libx264", "yuv420p", false},
                          Case{"o.mp4", 63, false, "libx264", "yuv444p", true},
                          Case{"o.webm", 63, false, "libvpx-vp9", "yuv420p", false},
                          Case{"o.mp4", 64, true, "libx264", "yuv420p", true},
                          Case{"o.mov", 64, true, "prores_ks", "yuva444p10le", false},
                          Case{"o.webm", 64, true, "libvpx-vp9", "yuva420p", false},
                          Case{"o.gif", 64, true, "gif", "pal8", false}}) {
        VideoRequest r;
        r.width = c.width;
        r.height = 48;
        r.alpha = c.alpha;
        const VideoChoice v = chooseVideo(containerFor(c.file), r, c.file);
        EXPECT_STREQ(v.codec->name, c.codec) << c.file << " " << c.width;
        EXPECT_STREQ(av_get_pix_fmt_name(v.format), c.format) << c.file << " " << c.width;
        EXPECT_EQ(!v.note.empty(), c.note) << c.file << ": " << v.note;
    }
}

} // namespace
} // namespace cfcli::media
