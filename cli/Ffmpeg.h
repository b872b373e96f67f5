/* Ffmpeg.h — video and every format other than PNG, through Debian's ffmpeg and ffprobe programs:
   probing an input, decoding its frames to raw RGBA over a pipe, and encoding raw RGBA frames (with the
   input's audio when there is some) into a file. Frames stream through: one frame at a time is in our
   hands, the pipes hold a little more. ffmpeg's messages are captured and shown only when it fails. */
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "RgbaImage.h"
#include "Subprocess.h"

namespace cfcli {

/* A file ffmpeg reads, with the options that go before its -i (e.g. for an image sequence). */
struct MediaInput {
    std::filesystem::path path;
    std::vector<std::string> options;
};

struct VideoInfo {
    int width = 0;         /* as decoded: a 90° display rotation swaps the stored size */
    int height = 0;
    std::string rate;      /* frame rate as ffmpeg writes it, e.g. "30000/1001" */
    double fps = 0;
    std::string pixelFormat;
    int componentBits = 8; /* the widest component of the pixel format */
    long frameCount = -1;  /* -1: unknown */
    bool frameCountExact = false;
    int audioStreams = 0;
};

/* Throws UsageError naming the file (with ffprobe's own last line) when ffprobe cannot read it or it has
   no video stream. */
VideoInfo probeVideo(const MediaInput& input);

/* Parses "num/den" (or a plain number) as ffprobe prints rates; 0 when it is not a valid positive rate. */
double parseRate(const std::string& text);

class VideoDecoder {
public:
    /* bits: 8 for rgba frames, 16 for rgba64le frames. */
    VideoDecoder(const MediaInput& input, const VideoInfo& info, int bits);
    /* The next frame, or false at the end of the stream. Throws UsageError when ffmpeg fails. */
    bool read(RgbaImage& frame);

private:
    void fail(const std::string& detail);

    MediaInput input_;
    int width_;
    int height_;
    int bits_;
    std::vector<unsigned char> buffer_;
    std::unique_ptr<Subprocess> process_;
};

enum class AudioMode { None, Copy, Encode };

struct AudioPlan {
    AudioMode mode = AudioMode::None;
    std::string note; /* for the user when audio is re-encoded or dropped */
};

/* How the input's audio can go into a file of `output`'s format: copied untouched if the format takes the
   streams as they are, else re-encoded with the format's default codec, else dropped. Decided by short
   trial runs of ffmpeg into a scratch file. */
AudioPlan planAudio(const MediaInput& input, const std::filesystem::path& output);

class VideoEncoder {
public:
    /* Writes `file` (a temporary name carrying the output's extension, so that ffmpeg picks the format from
       it); `shownName` is the name messages use. */
    VideoEncoder(const std::filesystem::path& file, const std::string& shownName, int width, int height, int bits,
                 const std::string& rate, const MediaInput* audioSource, AudioMode audio);
    /* Throws UsageError with ffmpeg's last line when ffmpeg refuses the frame (it has exited). */
    void write(const RgbaImage& frame);
    /* Ends the stream and waits for ffmpeg to finish the file; throws UsageError when it failed. */
    void finish();

private:
    [[noreturn]] void fail();

    std::filesystem::path file_;
    std::string shownName_;
    int width_;
    int height_;
    int bits_;
    std::vector<unsigned char> buffer_;
    std::unique_ptr<Subprocess> process_;
};

/* ffmpeg's message with every mention of `from` replaced by `to` (temporary names by the user's name). */
std::string replaceAll(std::string text, const std::string& from, const std::string& to);

} // namespace cfcli
