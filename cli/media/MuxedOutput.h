/* MuxedOutput.h — one file written through a muxer, from its temporary name to the user's: the container chosen by
   the name, streams added by the caller, the header with the file's tags, every packet written and checked, and
   the trailer, after which the file is renamed into place (an AtomicFile: a link keeps its target, a file its mode).
   Tags whose values are known only at the end (what the file holds) get them then. Every message names the
   user's file, never the temporary one. */
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "common/AtomicFile.h"
#include "media/Av.h"

namespace cfcli::media {

using Tags = std::vector<std::pair<std::string, std::string>>;

class MuxedOutput {
public:
    /* Creates the temporary file beside `target` and the container its name asks for; throws UsageError for a
       file that may not be written or a name without a known format. */
    explicit MuxedOutput(const std::filesystem::path& target);
    MuxedOutput(const MuxedOutput&) = delete;
    MuxedOutput& operator=(const MuxedOutput&) = delete;

    const std::string& name() const noexcept { return name_; } /* as the user named it */
    const AVOutputFormat* container() const noexcept { return format_->oformat; }
    AVFormatContext* format() noexcept { return format_.get(); }
    AVStream* addStream();

    /* Opens the file and writes the header with `tags`; the tags named in `closing` get their values in finish()
       (at most kClosingTagSize bytes each) in the formats that keep them in place: Matroska, WebM, MP4, MOV. */
    void start(const Tags& tags, const std::vector<std::string>& closing = {});
    /* One packet, its times in its stream's time base; fails at the first write that fails, `where` added to the
       message (" at a packet of ..."). */
    void write(AVPacket& packet, const std::string& where = "");
    /* Writes the trailer, gives the closing tags their values, and renames the file into place. */
    void finish(const Tags& closing = {});

    /* What one stream holds so far: its packets, and the earliest and latest presentation time among them (in the
       stream's time base; AV_NOPTS_VALUE while there is none). */
    struct Span {
        long packets = 0;
        std::int64_t first = AV_NOPTS_VALUE;
        std::int64_t last = AV_NOPTS_VALUE;
    };
    Span written(int stream) const;

    /* Throws CliError (exit 2): "cannot write NAME: WHAT (libav's reason)". */
    [[noreturn]] void fail(const std::string& what, int err) const;

    static constexpr std::size_t kClosingTagSize = 512;

private:
    void fillClosingTags(const Tags& closing);

    TempFile file_;
    std::string name_;
    OutputFormat format_;
    std::vector<std::pair<std::string, std::string>> placeholders_; /* closing tag, its stand-in in the header */
    std::vector<Span> spans_;
};

} // namespace cfcli::media
