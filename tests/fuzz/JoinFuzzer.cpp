/* JoinFuzzer.cpp — `join` on forged chunk files: the input is cut into up to three files (each but the last led by
   its length in two bytes), written to a scratch folder and joined, sometimes with the first file's audio and into
   another container. Whatever the files hold, join must end in success or a CliError with exit code 2, and a
   refused join leaves nothing behind. A join that succeeds has written what its label claims: as many video
   packets as the chunks' labels add up to.

   The first byte picks the number of files (1 + b % 3), the container of the output (b / 3 % 3: .mkv, .mp4,
   .avi) and whether the first file's audio goes along (b & 0x80). */
#include "common/ChunkLabel.h"
#include "common/Errors.h"
#include "commands/JoinCommand.h"
#include "common/Options.h"
#include "media/Av.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const std::string& what)
{
    std::fprintf(stderr, "fuzz_join: %s\n", what.c_str());
    std::abort();
}

/* One folder for the whole run, removed when the run ends. */
class ScratchFolder {
public:
    ScratchFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "fuzz_join.XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            fail("cannot create a scratch folder");
        }
        path_ = pattern;
    }
    ~ScratchFolder()
    {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

const fs::path& scratch()
{
    static const ScratchFolder folder;
    return folder.path();
}

void clear()
{
    for (const auto& entry : fs::directory_iterator(scratch())) {
        fs::remove_all(entry.path());
    }
}

/* The video packets of a file and the label it carries. */
void checkJoined(const std::string& path)
{
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
        fail("the joined file does not open");
    }
    cfcli::media::InputFormat format(raw);
    if (avformat_find_stream_info(raw, nullptr) < 0) {
        fail("the joined file has no stream information");
    }
    const AVDictionaryEntry* tag = av_dict_get(raw->metadata, cfcli::kChunkTag, nullptr, 0);
    const auto label = tag != nullptr ? cfcli::ChunkLabel::parse(tag->value) : std::nullopt;
    const int video = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (video < 0) {
        fail("the joined file holds no video");
    }
    long packets = 0;
    cfcli::media::Packet p = cfcli::media::makePacket();
    while (av_read_frame(raw, p.get()) >= 0) {
        packets += p->stream_index == video ? 1 : 0;
        av_packet_unref(p.get());
    }
    /* AVI keeps no tags; the others must say what they hold */
    if (label && packets != label->frames) {
        fail("the joined file holds " + std::to_string(packets) + " video packets, its label says " +
             std::to_string(label->frames));
    }
    if (!label && fs::path(path).extension() != ".avi") {
        fail("the joined file carries no label");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) {
        return 0;
    }
    const std::uint8_t pick = data[0];
    const std::size_t files = 1 + pick % 3;
    const char* extensions[] = {".mkv", ".mp4", ".avi"};
    const std::string out = (scratch() / (std::string("joined") + extensions[pick / 3 % 3])).string();

    clear();
    cfcli::Options options;
    options.quiet = true;
    options.positional.push_back(out);
    std::size_t at = 1;
    for (std::size_t i = 0; i < files; ++i) {
        std::size_t length = size - at;
        if (i + 1 < files) {
            length = at + 2 <= size ? (static_cast<std::size_t>(data[at]) << 8 | data[at + 1]) : 0;
            at = std::min(size, at + 2);
            length = std::min(length, size - at);
        }
        const std::string name = (scratch() / ("chunk" + std::to_string(i) + ".mkv")).string();
        std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(data + at),
                                                    static_cast<std::streamsize>(length));
        at += length;
        options.positional.push_back(name);
    }
    if (pick & 0x80) {
        options.audioFrom = options.positional[1];
    }

    bool joined = false;
    try {
        joined = cfcli::runJoin(options) == cfcli::kExitDone;
        if (!joined) {
            fail("join ended without success or an error");
        }
    } catch (const cfcli::CliError& e) {
        if (e.exitCode() != cfcli::kExitBadInput) {
            fail("join failed with exit code " + std::to_string(e.exitCode()) + ": " + e.what());
        }
    }
    std::size_t left = 0;
    for (const auto& entry : fs::directory_iterator(scratch())) {
        (void)entry;
        ++left;
    }
    if (left != files + (joined ? 1 : 0)) {
        fail(joined ? "join left a file beside its output" : "a refused join left a file behind");
    }
    if (joined) {
        checkJoined(out);
    }
    return 0;
}
