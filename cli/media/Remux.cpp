/* Remux.cpp — opening packet sources, setting up the output's streams from the first video source's parameters,
   and the copy loop that writes whichever packet comes first in time (H.264/HEVC rewritten for AVI). */
#include "media/Remux.h"

extern "C" {
#include <libavcodec/bsf.h>
}

#include <algorithm>
#include <cstring>
#include <deque>

#include "common/Errors.h"
#include "media/AudioTranscoder.h"

namespace cfcli::media {

PacketSource PacketSource::open(const std::string& path, AVMediaType type, bool required)
{
    Log::install();
    PacketSource source;
    source.name = path;
    const AllocationLimit limit(kHeaderAllocationLimit);
    AVFormatContext* raw = nullptr;
    int err = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
    if (err < 0) {
        throw UsageError("cannot read " + quoteName(path) + ": " + errorText(err));
    }
    source.format.reset(raw);
    err = avformat_find_stream_info(raw, nullptr);
    if (err < 0) {
        throw UsageError("cannot read " + quoteName(path) + ": " + errorText(err));
    }
    source.stream = av_find_best_stream(raw, type, -1, -1, nullptr, 0);
    if (source.stream < 0 && !required) {
        source.stream = -1;
        return source;
    }
    if (source.stream < 0) {
        throw UsageError("cannot read " + quoteName(path) + ": it holds no " +
                         (type == AVMEDIA_TYPE_VIDEO ? "video" : "audio"));
    }
    for (unsigned i = 0; i < raw->nb_streams; ++i) {
        if (static_cast<int>(i) != source.stream) {
            raw->streams[i]->discard = AVDISCARD_ALL;
        }
    }
    return source;
}

namespace {

class Remuxer {
public:
    explicit Remuxer(const RemuxSetup& setup) : setup_(setup) {}

    void run()
    {
        MuxedOutput& out = *setup_.output;
        const AVStream& first = (*setup_.video)[0].chosen();
        if (avformat_query_codec(out.container(), first.codecpar->codec_id, FF_COMPLIANCE_NORMAL) == 0) {
            throw UsageError("cannot write " + quoteName(out.name()) + ": its format cannot hold " +
                             avcodec_get_name(first.codecpar->codec_id) + " video as it is, and join does not "
                             "re-encode; name a file whose format takes it (.mkv takes most)");
        }
        video_ = newStream();
        avcodec_parameters_copy(video_->codecpar, first.codecpar);
        video_->codecpar->codec_tag = 0;
        video_->time_base = first.time_base;
        video_->avg_frame_rate = first.avg_frame_rate;
        video_->r_frame_rate = first.r_frame_rate;
        video_->sample_aspect_ratio = first.sample_aspect_ratio;
        openAnnexB(first);
        std::size_t size = 0;
        if (const std::uint8_t* matrix = av_stream_get_side_data(&first, AV_PKT_DATA_DISPLAYMATRIX, &size)) {
            if (std::uint8_t* data = av_stream_new_side_data(video_, AV_PKT_DATA_DISPLAYMATRIX, size)) {
                std::memcpy(data, matrix, size);
            }
        }
        if (setup_.audio != nullptr && setup_.audioPlan.mode != AudioMode::None) {
            const AVStream& in = setup_.audio->chosen();
            audio_ = newStream();
            if (setup_.audioPlan.mode == AudioMode::Copy) {
                avcodec_parameters_copy(audio_->codecpar, in.codecpar);
                audio_->codecpar->codec_tag = 0;
                audio_->time_base = in.time_base;
            } else {
                transcoder_ = std::make_unique<AudioTranscoder>(in, *setup_.audioPlan.encoder, *audio_,
                                                                (out.container()->flags & AVFMT_GLOBALHEADER) != 0);
            }
            /* Audio counts from the moment the video's times count from, as in a whole render. */
            audioShift_ = av_rescale_q(setup_.audioStart, AV_TIME_BASE_Q, in.time_base);
        }
        out.start(setup_.metadata);
        copyAll();
        out.finish();
    }

private:
    AVStream* newStream() { return setup_.output->addStream(); }

    [[noreturn]] void fail(const std::string& what, int err)
    {
        const std::string at = packetChunk_ != nullptr ? " at a packet of " + quoteName(*packetChunk_) : "";
        setup_.output->fail(what + at, err);
    }

    /* The next packet of the chosen stream of `source`, or null at its end. */
    static Packet read(PacketSource& source)
    {
        Packet p = makePacket();
        while (true) {
            const int err = av_read_frame(source.format.get(), p.get());
            if (err == AVERROR_EOF) {
                return nullptr;
            }
            if (err < 0) {
                throw UsageError("cannot read " + quoteName(source.name) + ": " + errorText(err));
            }
            if (p->stream_index == source.stream) {
                return p;
            }
            av_packet_unref(p.get());
        }
    }

    /* Matroska stores no decoding times: the demuxer leaves them out for the first packets until it has seen
       the codec's reordering, and for all of a chunk too short for that. They are filled as the encoder had them
       (decoding order is presentation order delayed by the codec's reordering depth), so that decoding times
       keep rising across the seam. */
    void readChunkStart(PacketSource& chunk)
    {
        std::vector<Packet> head;
        std::vector<std::size_t> known;
        while (head.size() < 64 && known.size() < 2) {
            Packet p = read(chunk);
            if (!p) {
                break;
            }
            if (p->dts != AV_NOPTS_VALUE) {
                known.push_back(head.size());
            }
            head.push_back(std::move(p));
        }
        const AVStream& s = chunk.chosen();
        const std::int64_t frame =
            std::max<std::int64_t>(1, av_rescale_q(1, av_inv_q(s.avg_frame_rate), s.time_base));
        if (known.empty()) {
            std::vector<std::int64_t> order;
            for (const Packet& p : head) {
                order.push_back(p->pts);
            }
            std::sort(order.begin(), order.end());
            const std::size_t delay = static_cast<std::size_t>(std::max(0, s.codecpar->video_delay));
            for (std::size_t i = 0; i < head.size(); ++i) {
                head[i]->dts = i >= delay ? order[i - delay]
                                          : order[0] - static_cast<std::int64_t>(delay - i) * frame;
            }
        } else {
            const std::int64_t step = known.size() > 1 ? (head[known[1]]->dts - head[known[0]]->dts) /
                                                             static_cast<std::int64_t>(known[1] - known[0])
                                                       : frame;
            for (std::size_t i = 0; i < known[0]; ++i) {
                head[i]->dts = head[known[0]]->dts - static_cast<std::int64_t>(known[0] - i) * step;
            }
        }
        for (Packet& p : head) {
            pending_.push_back(std::move(p));
        }
    }

    Packet nextVideo()
    {
        auto& chunks = *setup_.video;
        while (chunk_ < chunks.size()) {
            if (!started_) {
                readChunkStart(chunks[chunk_]);
                started_ = true;
            }
            Packet p;
            if (!pending_.empty()) {
                p = std::move(pending_.front());
                pending_.pop_front();
            } else {
                p = read(chunks[chunk_]);
            }
            if (p) {
                av_packet_rescale_ts(p.get(), chunks[chunk_].chosen().time_base, video_->time_base);
                nextChunk_ = &chunks[chunk_].name;
                return p;
            }
            ++chunk_;
            started_ = false;
        }
        return nullptr;
    }

    Packet nextAudio()
    {
        if (audio_ == nullptr) {
            return nullptr;
        }
        Packet p = read(*setup_.audio);
        if (p) {
            for (std::int64_t* t : {&p->pts, &p->dts}) {
                if (*t != AV_NOPTS_VALUE) {
                    *t -= audioShift_;
                }
            }
        }
        return p;
    }

    static std::int64_t when(const AVPacket& p) { return p.dts != AV_NOPTS_VALUE ? p.dts : p.pts; }

    void mux(AVPacket& packet)
    {
        setup_.output->write(packet, packetChunk_ != nullptr ? " at a packet of " + quoteName(*packetChunk_) : "");
    }

    void writeAudio(AVPacket& p)
    {
        const AVRational inBase = setup_.audio->chosen().time_base;
        if (transcoder_) {
            transcoder_->push(&p, [this](AVPacket& out) { mux(out); });
            return;
        }
        av_packet_rescale_ts(&p, inBase, audio_->time_base);
        p.stream_index = audio_->index;
        mux(p);
    }

    /* Video and audio in the order of their times, so that the muxer never holds more than a few packets. */
    void copyAll()
    {
        Packet v = nextVideo();
        Packet a = nextAudio();
        const AVRational audioBase = audio_ != nullptr ? setup_.audio->chosen().time_base : AVRational{1, 1};
        while (v || a) {
            const bool videoFirst =
                v && (!a || av_compare_ts(when(*v), video_->time_base, when(*a), audioBase) <= 0);
            if (videoFirst) {
                writeVideo(v.get());
                v = nextVideo();
            } else {
                writeAudio(*a);
                a = nextAudio();
            }
        }
        if (annexB_) {
            writeVideo(nullptr);
        }
        if (transcoder_) {
            transcoder_->finish([this](AVPacket& out) { mux(out); });
        }
    }

    /* AVI stores H.264 and HEVC as a byte stream with start codes, not as MP4 and Matroska do: FFmpeg's filter
       rewrites the packets (MPEG-TS inserts it by itself). */
    void openAnnexB(const AVStream& first)
    {
        const AVCodecParameters& par = *first.codecpar;
        const char* name = par.codec_id == AV_CODEC_ID_H264   ? "h264_mp4toannexb"
                           : par.codec_id == AV_CODEC_ID_HEVC ? "hevc_mp4toannexb"
                                                              : nullptr;
        if (name == nullptr || std::strcmp(setup_.output->container()->name, "avi") != 0 || par.extradata_size < 1 ||
            par.extradata[0] != 1) {
            return;
        }
        const AVBitStreamFilter* filter = av_bsf_get_by_name(name);
        AVBSFContext* raw = nullptr;
        if (filter == nullptr || av_bsf_alloc(filter, &raw) < 0) {
            throw std::bad_alloc();
        }
        annexB_.reset(raw);
        avcodec_parameters_copy(raw->par_in, &par);
        raw->time_base_in = video_->time_base;
        const int err = av_bsf_init(raw);
        if (err < 0) {
            fail(std::string("the ") + name + " filter does not open", err);
        }
        avcodec_parameters_copy(video_->codecpar, raw->par_out);
        video_->codecpar->codec_tag = 0;
    }

    /* One video packet (null: the end) into the file, through the filter when there is one. */
    void writeVideo(AVPacket* p)
    {
        /* failures from here on name the chunk the packet comes from */
        packetChunk_ = nextChunk_;
        struct Done {
            const std::string*& chunk;
            ~Done() { chunk = nullptr; }
        } done{packetChunk_};
        if (!annexB_) {
            p->stream_index = video_->index;
            mux(*p);
            return;
        }
        int err = av_bsf_send_packet(annexB_.get(), p);
        if (err < 0) {
            fail("the video of a chunk does not convert for the format", err);
        }
        Packet out = makePacket();
        while ((err = av_bsf_receive_packet(annexB_.get(), out.get())) >= 0) {
            out->stream_index = video_->index;
            mux(*out);
            av_packet_unref(out.get());
        }
        if (err != AVERROR(EAGAIN) && err != AVERROR_EOF) {
            fail("the video of a chunk does not convert for the format", err);
        }
    }

    struct FreeBsf {
        void operator()(AVBSFContext* c) const noexcept { av_bsf_free(&c); }
    };

    const RemuxSetup& setup_;
    AVStream* video_ = nullptr;
    AVStream* audio_ = nullptr;
    std::unique_ptr<AudioTranscoder> transcoder_;
    std::unique_ptr<AVBSFContext, FreeBsf> annexB_;
    const std::string* nextChunk_ = nullptr;   /* the chunk of the video packet read last */
    const std::string* packetChunk_ = nullptr; /* the chunk of the video packet being written */
    std::size_t chunk_ = 0;
    bool started_ = false;        /* the start of chunk_ has been read */
    std::deque<Packet> pending_;  /* packets of chunk_ read ahead */
    std::int64_t audioShift_ = 0;
};

} // namespace

void remux(const RemuxSetup& setup)
{
    Remuxer(setup).run();
}

} // namespace cfcli::media
