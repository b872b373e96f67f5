/* Ffmpeg.cpp — the ffprobe/ffmpeg command lines and the raw-frame pipes. */
#include "Ffmpeg.h"

#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <map>

#include "Cleanup.h"
#include "Errors.h"

namespace fs = std::filesystem;

namespace cfcli {

namespace {

const char* const kQuiet[] = {"-nostdin", "-hide_banner", "-loglevel", "error"};

std::vector<std::string> ffmpegCommand(const char* program)
{
    std::vector<std::string> args{program};
    args.insert(args.end(), std::begin(kQuiet), std::end(kQuiet));
    return args;
}

void addInput(std::vector<std::string>& args, const MediaInput& input)
{
    args.insert(args.end(), input.options.begin(), input.options.end());
    args.push_back("-i");
    args.push_back(input.path.string());
}

/* "key=value" lines of ffprobe's flat output, quotes removed. */
std::map<std::string, std::string> parseFlat(const std::string& text)
{
    std::map<std::string, std::string> values;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string line = text.substr(start, end - start);
        const std::size_t eq = line.find('=');
        if (eq != std::string::npos) {
            std::string value = line.substr(eq + 1);
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
                value = value.substr(1, value.size() - 2);
            }
            values[line.substr(0, eq)] = value;
        }
        start = end + 1;
    }
    return values;
}

long toLong(const std::string& text, long fallback)
{
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    return (end != text.c_str() && *end == '\0') ? v : fallback;
}

/* The widest component of a pixel format, from ffprobe's table of formats. */
int componentBits(const std::string& pixelFormat)
{
    Subprocess probe({"ffprobe", "-v", "error", "-show_pixel_formats", "-of", "flat"}, Subprocess::kStdout);
    const auto table = parseFlat(probe.readAllOutput());
    probe.wait();
    std::string prefix;
    for (const auto& [key, value] : table) {
        const std::string suffix = ".name";
        if (value == pixelFormat && key.size() > suffix.size() &&
            key.compare(key.size() - suffix.size(), suffix.size(), suffix) == 0) {
            prefix = key.substr(0, key.size() - suffix.size()) + ".components.";
            break;
        }
    }
    int bits = 8;
    if (prefix.empty()) {
        return bits;
    }
    for (auto it = table.lower_bound(prefix); it != table.end() && it->first.compare(0, prefix.size(), prefix) == 0;
         ++it) {
        if (it->first.size() > 10 && it->first.compare(it->first.size() - 10, 10, ".bit_depth") == 0) {
            bits = std::max(bits, static_cast<int>(toLong(it->second, 8)));
        }
    }
    return bits;
}

/* ffmpeg's last line that says something: after the cause it often adds lines that only say that something
   failed ("Conversion failed!", "Error initializing output stream 0:0 --", "Last message repeated",
   "out.xyz: Invalid argument" after "Unable to find a suitable output format for 'out.xyz'"). */
std::string ffmpegMessage(const Subprocess& process, const std::string& fallback)
{
    const std::string text = process.errorText();
    std::string best;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        start = end + 1;
        const auto first = line.find_first_not_of(" \t");
        if (first == std::string::npos) {
            continue;
        }
        line = line.substr(first, line.find_last_not_of(" \t") - first + 1);
        /* drop the context ffmpeg puts before messages, "[mp4 @ 0x55d0c8a1e2c0] " */
        if (line[0] == '[' && line.find(" @ 0x") != std::string::npos && line.find("] ") != std::string::npos) {
            line = line.substr(line.find("] ") + 2);
        }
        auto endsWith = [&](const std::string& tail) {
            return line.size() >= tail.size() && line.compare(line.size() - tail.size(), tail.size(), tail) == 0;
        };
        const bool vague = line == "Conversion failed!" || line.rfind("Last message repeated", 0) == 0 ||
                           endsWith("--") || endsWith(": Invalid argument");
        if (!vague || best.empty()) {
            best = line;
        }
    }
    return best.empty() ? fallback : best;
}

void unpack(const std::vector<unsigned char>& bytes, int bits, RgbaImage& frame)
{
    if (bits == 16) {
        for (std::size_t i = 0; i < frame.samples.size(); ++i) {
            frame.samples[i] = static_cast<std::uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        }
    } else {
        for (std::size_t i = 0; i < frame.samples.size(); ++i) {
            frame.samples[i] = bytes[i];
        }
    }
}

void pack(const RgbaImage& frame, std::vector<unsigned char>& bytes)
{
    if (frame.bits == 16) {
        bytes.resize(frame.samples.size() * 2);
        for (std::size_t i = 0; i < frame.samples.size(); ++i) {
            bytes[2 * i] = static_cast<unsigned char>(frame.samples[i] & 0xFF);
            bytes[2 * i + 1] = static_cast<unsigned char>(frame.samples[i] >> 8);
        }
    } else {
        bytes.resize(frame.samples.size());
        for (std::size_t i = 0; i < frame.samples.size(); ++i) {
            bytes[i] = static_cast<unsigned char>(frame.samples[i]);
        }
    }
}

/* A scratch file with the given extension in the system's temporary folder, removed on destruction. */
class ScratchFile {
public:
    explicit ScratchFile(const std::string& extension)
    {
        std::string pattern = (fs::temp_directory_path() / ("crumbleforge-probe-XXXXXX" + extension)).string();
        const int fd = ::mkstemps(pattern.data(), static_cast<int>(extension.size()));
        if (fd >= 0) {
            ::close(fd);
            path_ = pattern;
            slot_ = cleanup::addFile(path_.string());
        }
    }
    ~ScratchFile()
    {
        if (!path_.empty()) {
            ::unlink(path_.c_str());
        }
        cleanup::remove(slot_);
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    const fs::path& path() const noexcept { return path_; }

private:
    fs::path path_;
    int slot_ = -1;
};

/* Whether ffmpeg can put the input's audio streams, as `codecArgs` says, into a file of this extension. */
bool audioFits(const MediaInput& input, const std::string& extension, const std::vector<std::string>& codecArgs)
{
    ScratchFile scratch(extension);
    if (scratch.path().empty()) {
        return false;
    }
    auto args = ffmpegCommand("ffmpeg");
    args.push_back("-y");
    addInput(args, input);
    args.insert(args.end(), {"-map", "0:a", "-t", "0.2"});
    args.insert(args.end(), codecArgs.begin(), codecArgs.end());
    args.push_back(scratch.path().string());
    Subprocess trial(args, Subprocess::kNone);
    return trial.wait() == 0;
}

} // namespace

std::string replaceAll(std::string text, const std::string& from, const std::string& to)
{
    if (from.empty()) {
        return text;
    }
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

double parseRate(const std::string& text)
{
    char* end = nullptr;
    const double num = std::strtod(text.c_str(), &end);
    double den = 1;
    if (end == text.c_str()) {
        return 0;
    }
    if (*end == '/') {
        const char* start = end + 1;
        den = std::strtod(start, &end);
        if (end == start) {
            return 0;
        }
    }
    if (*end != '\0' || !(num > 0) || !(den > 0) || !std::isfinite(num / den)) {
        return 0;
    }
    return num / den;
}

VideoInfo probeVideo(const MediaInput& input)
{
    const std::string name = quoteName(input.path.string());
    std::vector<std::string> args{"ffprobe", "-v", "error"};
    args.insert(args.end(), input.options.begin(), input.options.end());
    args.insert(args.end(), {"-show_streams", "-show_entries", "format=duration", "-of", "flat", "-i",
                             input.path.string()});
    Subprocess probe(args, Subprocess::kStdout);
    const auto values = parseFlat(probe.readAllOutput());
    if (probe.wait() != 0) {
        throw UsageError("cannot read " + name + ": " + ffmpegMessage(probe, "ffprobe failed"));
    }
    VideoInfo info;
    std::string video;
    for (int i = 0; values.count("streams.stream." + std::to_string(i) + ".index"); ++i) {
        const std::string prefix = "streams.stream." + std::to_string(i) + ".";
        const auto type = values.find(prefix + "codec_type");
        if (type == values.end()) {
            continue;
        }
        if (type->second == "audio") {
            ++info.audioStreams;
        } else if (type->second == "video" && video.empty()) {
            video = prefix;
        }
    }
    if (video.empty()) {
        throw UsageError("cannot read " + name + ": it holds no video or image");
    }
    auto get = [&](const std::string& key) {
        const auto it = values.find(video + key);
        return it == values.end() ? std::string() : it->second;
    };
    info.width = static_cast<int>(toLong(get("width"), 0));
    info.height = static_cast<int>(toLong(get("height"), 0));
    if (info.width <= 0 || info.height <= 0) {
        throw UsageError("cannot read " + name + ": ffprobe reports no frame size");
    }
    for (int i = 0; values.count(video + "side_data_list.side_data." + std::to_string(i) + ".side_data_type"); ++i) {
        const long rotation = toLong(get("side_data_list.side_data." + std::to_string(i) + ".rotation"), 0);
        if (std::labs(rotation) % 180 == 90) { /* ffmpeg turns such frames upright while decoding */
            std::swap(info.width, info.height);
        }
    }
    info.rate = get("avg_frame_rate");
    info.fps = parseRate(info.rate);
    if (info.fps <= 0) {
        info.rate = get("r_frame_rate");
        info.fps = parseRate(info.rate);
    }
    if (info.fps <= 0) {
        info.rate = "24";
        info.fps = 24;
    }
    info.pixelFormat = get("pix_fmt");
    info.componentBits = info.pixelFormat.empty() ? 8 : componentBits(info.pixelFormat);
    const long frames = toLong(get("nb_frames"), -1);
    if (frames > 0) {
        info.frameCount = frames;
        info.frameCountExact = true;
    } else {
        const auto duration = values.find("format.duration");
        if (duration != values.end()) {
            const double seconds = std::strtod(duration->second.c_str(), nullptr);
            if (seconds > 0) {
                info.frameCount = std::lround(seconds * info.fps);
            }
        }
    }
    return info;
}

VideoDecoder::VideoDecoder(const MediaInput& input, const VideoInfo& info, int bits)
    : input_(input), width_(info.width), height_(info.height), bits_(bits)
{
    auto args = ffmpegCommand("ffmpeg");
    addInput(args, input);
    args.insert(args.end(), {"-map", "0:v:0", "-fps_mode", "passthrough", "-f", "rawvideo", "-pix_fmt",
                             bits == 16 ? "rgba64le" : "rgba", "pipe:1"});
    process_ = std::make_unique<Subprocess>(args, Subprocess::kStdout);
    buffer_.resize(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * (bits == 16 ? 8u : 4u));
}

void VideoDecoder::fail(const std::string& detail)
{
    process_->wait();
    throw UsageError("cannot read " + quoteName(input_.path.string()) + ": " + ffmpegMessage(*process_, detail));
}

bool VideoDecoder::read(RgbaImage& frame)
{
    const std::size_t got = process_->readOutput(buffer_.data(), buffer_.size());
    if (got == 0) {
        if (process_->wait() != 0) {
            fail("ffmpeg failed");
        }
        return false;
    }
    if (got < buffer_.size()) {
        fail("the last frame is incomplete");
    }
    if (frame.width != width_ || frame.height != height_ || frame.bits != bits_) {
        frame = RgbaImage(width_, height_, bits_);
    }
    unpack(buffer_, bits_, frame);
    return true;
}

AudioPlan planAudio(const MediaInput& input, const fs::path& output)
{
    const std::string ext = output.extension().string();
    if (audioFits(input, ext, {"-c:a", "copy"})) {
        return {AudioMode::Copy, ""};
    }
    if (audioFits(input, ext, {})) {
        return {AudioMode::Encode, "the audio of " + quoteName(input.path.string()) + " is re-encoded: " +
                                       quoteName(output.string()) + "'s format does not take it as it is"};
    }
    return {AudioMode::None, "the audio of " + quoteName(input.path.string()) + " is left out: " +
                                 quoteName(output.string()) + "'s format cannot hold it"};
}

VideoEncoder::VideoEncoder(const fs::path& file, const std::string& shownName, int width, int height, int bits,
                           const std::string& rate, const MediaInput* audioSource, AudioMode audio)
    : file_(file), shownName_(shownName), width_(width), height_(height), bits_(bits)
{
    auto args = ffmpegCommand("ffmpeg");
    /* -xerror: ffmpeg otherwise reports some write errors (a full disk) and still exits with success. */
    args.insert(args.end(), {"-xerror", "-y", "-f", "rawvideo", "-pix_fmt", bits == 16 ? "rgba64le" : "rgba", "-s",
                             std::to_string(width) + "x" + std::to_string(height), "-framerate", rate, "-i",
                             "pipe:0"});
    if (audioSource != nullptr && audio != AudioMode::None) {
        addInput(args, *audioSource);
        args.insert(args.end(), {"-map", "0:v", "-map", "1:a"});
        if (audio == AudioMode::Copy) {
            args.insert(args.end(), {"-c:a", "copy"});
        }
    }
    args.push_back(file.string());
    process_ = std::make_unique<Subprocess>(args, Subprocess::kStdin);
}

void VideoEncoder::fail()
{
    process_->wait();
    const std::string message = replaceAll(ffmpegMessage(*process_, "ffmpeg failed"), file_.string(), shownName_);
    throw UsageError("cannot write " + quoteName(shownName_) + ": " + message);
}

void VideoEncoder::write(const RgbaImage& frame)
{
    if (frame.width != width_ || frame.height != height_ || frame.bits != bits_) {
        throw UsageError("cannot write " + quoteName(shownName_) + ": frames change size or depth within the video");
    }
    pack(frame, buffer_);
    if (!process_->writeInput(buffer_.data(), buffer_.size())) {
        fail();
    }
}

void VideoEncoder::finish()
{
    process_->closeInput();
    /* At this log level ffmpeg prints errors only; any of them means the file cannot be trusted. */
    if (process_->wait() != 0 || !process_->errorText().empty()) {
        fail();
    }
}

} // namespace cfcli
