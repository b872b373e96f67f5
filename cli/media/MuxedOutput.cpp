/* MuxedOutput.cpp — the muxer's file from allocation to rename, its failures worded for the user, and closing tags
   written over stand-ins of the same size that the header reserved for them. */
#include "media/MuxedOutput.h"

extern "C" {
#include <libavutil/random_seed.h>
}

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "common/Errors.h"
#include "media/OutputFormat.h"

namespace cfcli::media {

namespace {

std::string replaceAll(std::string text, const std::string& from, const std::string& to)
{
    for (std::size_t at = 0; !from.empty() && (at = text.find(from, at)) != std::string::npos; at += to.size()) {
        text.replace(at, from.size(), to);
    }
    return text;
}

/* A value no file holds by chance, as long as a closing tag may be. */
std::string placeholder()
{
    char nonce[32];
    std::snprintf(nonce, sizeof nonce, "%08x%08x", av_get_random_seed(), av_get_random_seed());
    std::string text = std::string("crumbleforge-pending-") + nonce;
    text.resize(MuxedOutput::kClosingTagSize, '.');
    return text;
}

/* Matroska writes its tags before the first frame, near the start of the file. */
constexpr std::size_t kHeaderSearched = 4u << 20;

} // namespace

MuxedOutput::MuxedOutput(const std::filesystem::path& target) : file_(target), name_(target.string())
{
    Log::install();
    file_.close(); /* the muxer writes it by name */
    const AVOutputFormat* container = containerFor(name_);
    AVFormatContext* raw = nullptr;
    const int err = avformat_alloc_output_context2(&raw, container, nullptr, file_.path().c_str());
    if (err < 0) {
        fail("the format does not open", err);
    }
    format_.reset(raw);
}

AVStream* MuxedOutput::addStream()
{
    AVStream* s = avformat_new_stream(format_.get(), nullptr);
    if (s == nullptr) {
        throw std::bad_alloc();
    }
    spans_.resize(format_->nb_streams);
    return s;
}

void MuxedOutput::start(const Tags& tags, const std::vector<std::string>& closing)
{
    AVFormatContext* raw = format_.get();
    AVDictionary* options = nullptr;
    for (const auto& [key, value] : tags) {
        av_dict_set(&raw->metadata, key.c_str(), value.c_str(), 0);
    }
    /* Matroska writes its tags in the header, and without checksums when asked: a stand-in reserves the room.
       MP4 and MOV write them with the trailer; formats with checksums over their headers (Ogg, NUT) get none. */
    const std::string name = raw->oformat->name;
    const bool reserve = name == "matroska" || name == "webm";
    for (const std::string& key : reserve ? closing : std::vector<std::string>{}) {
        placeholders_.emplace_back(key, placeholder());
        av_dict_set(&raw->metadata, key.c_str(), placeholders_.back().second.c_str(), 0);
        /* the stand-in is overwritten in place: no checksum may cover it */
        av_dict_set(&options, "write_crc32", "0", 0);
    }
    if (!tags.empty() || !closing.empty()) {
        av_dict_set(&options, "movflags", "+use_metadata_tags", 0); /* MP4/MOV keep tags of any name */
    }
    if (!(raw->oformat->flags & AVFMT_NOFILE)) {
        const int err = avio_open(&raw->pb, file_.path().c_str(), AVIO_FLAG_WRITE);
        if (err < 0) {
            av_dict_free(&options);
            fail("cannot open it", err);
        }
    }
    const int err = avformat_write_header(raw, &options);
    av_dict_free(&options);
    if (err < 0) {
        fail("the " + std::string(raw->oformat->name) + " format refuses the streams", err);
    }
}

void MuxedOutput::write(AVPacket& packet, const std::string& where)
{
    if (packet.stream_index >= 0 && static_cast<std::size_t>(packet.stream_index) < spans_.size()) {
        Span& s = spans_[static_cast<std::size_t>(packet.stream_index)];
        ++s.packets;
        if (packet.pts != AV_NOPTS_VALUE) {
            s.first = s.first == AV_NOPTS_VALUE ? packet.pts : std::min(s.first, packet.pts);
            s.last = s.last == AV_NOPTS_VALUE ? packet.pts : std::max(s.last, packet.pts);
        }
    }
    packet.pos = -1;
    const int err = av_interleaved_write_frame(format_.get(), &packet);
    if (err < 0) {
        fail("writing failed" + where, err);
    }
    if (format_->pb != nullptr && format_->pb->error < 0) {
        fail("writing failed" + where, format_->pb->error);
    }
}

MuxedOutput::Span MuxedOutput::written(int stream) const
{
    return stream >= 0 && static_cast<std::size_t>(stream) < spans_.size() ? spans_[static_cast<std::size_t>(stream)]
                                                                            : Span{};
}

void MuxedOutput::finish(const Tags& closing)
{
    AVFormatContext* raw = format_.get();
    for (const auto& [key, value] : closing) {
        if (value.size() > kClosingTagSize) {
            throw CliError("cannot write " + quoteName(name_) + ": the tag " + key + " is too long", kExitBadInput);
        }
        /* formats that write their tags with the trailer take the value from here */
        av_dict_set(&raw->metadata, key.c_str(), value.c_str(), 0);
    }
    int err = av_write_trailer(raw);
    if (err < 0) {
        fail("finishing the file failed", err);
    }
    if (raw->pb != nullptr) {
        avio_flush(raw->pb);
        if (raw->pb->error < 0) {
            fail("writing failed", raw->pb->error);
        }
        err = avio_closep(&raw->pb);
        if (err < 0) {
            fail("closing failed", err);
        }
    }
    fillClosingTags(closing);
    file_.commit();
}

void MuxedOutput::fillClosingTags(const Tags& closing)
{
    if (placeholders_.empty()) {
        return;
    }
    std::FILE* f = std::fopen(file_.path().c_str(), "r+b");
    if (f == nullptr) {
        fail("cannot open it again for its tags", AVERROR(errno));
    }
    std::string head(kHeaderSearched, '\0');
    head.resize(std::fread(head.data(), 1, head.size(), f));
    bool ok = true;
    for (const auto& reserved : placeholders_) {
        const auto value = std::find_if(closing.begin(), closing.end(),
                                        [&](const auto& kv) { return kv.first == reserved.first; });
        const std::size_t at = head.find(reserved.second);
        if (at == std::string::npos) {
            std::fclose(f);
            throw CliError("cannot write " + quoteName(name_) + ": the room kept for its tag " + reserved.first +
                               " is not at its start",
                           kExitBadInput);
        }
        /* the same number of bytes: the value, then zeros, which end a string in every format that keeps one */
        std::string bytes = value != closing.end() ? value->second : std::string();
        bytes.resize(kClosingTagSize, '\0');
        ok = ok && std::fseek(f, static_cast<long>(at), SEEK_SET) == 0 &&
             std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    }
    const int closeError = std::fclose(f);
    if (!ok || closeError != 0) {
        fail("writing its tags failed", AVERROR(errno));
    }
}

void MuxedOutput::fail(const std::string& what, int err) const
{
    std::string detail = Log::takeOutputError();
    if (detail.empty()) {
        detail = errorText(err);
    }
    const std::string temp = file_.path().string();
    throw CliError(replaceAll("cannot write " + quoteName(name_) + ": " + what + " (" + detail + ")", temp, name_),
                   kExitBadInput);
}

} // namespace cfcli::media
