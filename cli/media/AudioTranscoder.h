/* AudioTranscoder.h — audio the output's container does not take as it is: decoded, resampled to what the
   container's own audio encoder takes, and encoded again, packet in, packets out. */
#pragma once

#include <functional>

#include "media/Av.h"

extern "C" {
#include <libavutil/audio_fifo.h>
}

namespace cfcli::media {

class AudioTranscoder {
public:
    /* Sets up decoder and encoder; `output` gets its codec parameters. Throws CliError when either cannot open. */
    AudioTranscoder(const AVStream& input, const AVCodec& encoder, AVStream& output, bool globalHeader);
    ~AudioTranscoder();
    AudioTranscoder(const AudioTranscoder&) = delete;
    AudioTranscoder& operator=(const AudioTranscoder&) = delete;

    /* One packet of the input stream (timestamps in its time base); encoded packets go to `out`, already in
       the output stream's time base and numbered as its packets. */
    void push(AVPacket* packet, const std::function<void(AVPacket&)>& out);
    /* Everything still held, then the encoder's tail. */
    void finish(const std::function<void(AVPacket&)>& out);

private:
    void encodeReady(bool all, const std::function<void(AVPacket&)>& out);
    void drain(const std::function<void(AVPacket&)>& out);

    AVStream& output_;
    Codec decoder_;
    Codec encoder_;
    Resampler resampler_;
    AVAudioFifo* fifo_ = nullptr;
    Frame decoded_;
    Frame chunk_;
    Packet packet_;
    std::int64_t nextPts_ = AV_NOPTS_VALUE;
};

} // namespace cfcli::media
