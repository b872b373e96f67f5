/* ChunkLabel.cpp — the label's text (key=value words) and the identity of an input read with FFmpeg's libraries. */
#include "common/ChunkLabel.h"

extern "C" {
#include <libavutil/md5.h>
}

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

#include "common/Errors.h"
#include "media/Av.h"

namespace cfcli {

namespace {

constexpr int kIdentityPackets = 8;
constexpr int kIdentityReads = 1024; /* packets read in all, other streams' included, before giving up */

std::string hex(const std::uint8_t* bytes, std::size_t size)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

bool isHex(const std::string& text)
{
    return !text.empty() && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

std::optional<std::int64_t> number(const std::string& text)
{
    if (text.empty() || text.size() > 20 || (text[0] != '-' && (text[0] < '0' || text[0] > '9'))) {
        return std::nullopt;
    }
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    /* far beyond any file (31 years in microseconds), so that differences cannot overflow */
    constexpr long long kLimit = 1'000'000'000'000'000;
    if (errno != 0 || end != text.c_str() + text.size() || value > kLimit || value < -kLimit) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(value);
}

} // namespace

InputIdentity identifyInput(const std::string& path, long firstFrame)
{
    InputIdentity id;
    std::error_code ec;
    const bool file = std::filesystem::is_regular_file(path, ec);
    if (file) {
        id.size = static_cast<std::int64_t>(std::filesystem::file_size(path, ec));
    }
    media::Log::install();
    AVDictionary* options = nullptr;
    const AVInputFormat* forced = nullptr;
    if (!file) {
        forced = av_find_input_format("image2");
        av_dict_set_int(&options, "start_number", firstFrame, 0);
    }
    const media::AllocationLimit limit(media::kHeaderAllocationLimit);
    AVFormatContext* raw = nullptr;
    int err = avformat_open_input(&raw, path.c_str(), forced, &options);
    av_dict_free(&options);
    if (err < 0) {
        throw UsageError("cannot read " + quoteName(path) + ": " + media::errorText(err));
    }
    media::InputFormat format(raw);
    if ((err = avformat_find_stream_info(raw, nullptr)) < 0) {
        throw UsageError("cannot read " + quoteName(path) + ": " + media::errorText(err));
    }
    id.duration = raw->duration == AV_NOPTS_VALUE ? -1 : raw->duration;
    const int video = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    std::unique_ptr<AVMD5, decltype(&av_free)> md5(av_md5_alloc(), &av_free);
    if (!md5) {
        throw std::bad_alloc();
    }
    av_md5_init(md5.get());
    media::Packet p = media::makePacket();
    int taken = 0;
    for (int reads = 0; video >= 0 && taken < kIdentityPackets && reads < kIdentityReads; ++reads) {
        if (av_read_frame(raw, p.get()) < 0) {
            break;
        }
        if (p->stream_index == video) {
            av_md5_update(md5.get(), p->data, p->size);
            ++taken;
        }
        av_packet_unref(p.get());
    }
    std::uint8_t sum[16];
    av_md5_final(md5.get(), sum);
    id.digest = hex(sum, sizeof sum);
    return id;
}

std::string ChunkLabel::text() const
{
    std::ostringstream out;
    out << "first=" << range.first << " end=" << (range.end ? std::to_string(*range.end) : "") << " settings="
        << settings << " size=" << input.size << " duration=" << input.duration << " input=" << input.digest
        << " start=" << start << " frames=" << frames << " from=" << from << " to=" << to << " head=" << (head ? 1 : 0)
        << " tail=" << (tail ? 1 : 0);
    return out.str();
}

std::optional<ChunkLabel> ChunkLabel::parse(const std::string& text)
{
    std::map<std::string, std::string> words;
    std::istringstream in(text);
    for (std::string word; in >> word;) {
        const std::size_t eq = word.find('=');
        if (eq == std::string::npos || !words.emplace(word.substr(0, eq), word.substr(eq + 1)).second) {
            return std::nullopt;
        }
    }
    auto get = [&](const char* key) -> std::optional<std::int64_t> {
        const auto it = words.find(key);
        return it != words.end() ? number(it->second) : std::nullopt;
    };
    auto flag = [&](const char* key) -> std::optional<bool> {
        const auto v = get(key);
        return v && (*v == 0 || *v == 1) ? std::optional<bool>(*v == 1) : std::nullopt;
    };
    const auto first = get("first");
    const auto size = get("size");
    const auto duration = get("duration");
    const auto start = get("start");
    const auto frames = get("frames");
    const auto from = get("from");
    const auto to = get("to");
    const auto head = flag("head");
    const auto tail = flag("tail");
    const auto endWord = words.find("end");
    const auto settings = words.find("settings");
    const auto input = words.find("input");
    if (words.size() != 12 || !first || !start || !size || !duration || !frames || !from || !to || !head || !tail ||
        endWord == words.end() || settings == words.end() || input == words.end() || !isHex(settings->second) ||
        !isHex(input->second) || *frames < 1 || *frames > 1'000'000'000 || *from > *to) {
        return std::nullopt;
    }
    ChunkLabel label;
    label.range.first = *first;
    if (!endWord->second.empty()) {
        const auto end = number(endWord->second);
        if (!end || *end <= *first) {
            return std::nullopt;
        }
        label.range.end = *end;
    }
    label.settings = settings->second;
    label.input = InputIdentity{*size, *duration, input->second};
    label.start = *start;
    label.frames = static_cast<long>(*frames);
    label.from = *from;
    label.to = *to;
    label.head = *head;
    label.tail = *tail;
    return label;
}

std::string textDigest(const std::string& text)
{
    std::uint8_t sum[16];
    av_md5_sum(sum, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    return hex(sum, sizeof sum);
}

} // namespace cfcli
