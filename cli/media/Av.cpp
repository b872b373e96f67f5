/* Av.cpp — allocation helpers, error texts and the log callback that sorts FFmpeg's messages into input damage
   (shown and counted) and output failures (kept for the error that follows). */
#include "media/Av.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <climits>
#include <cstdio>
#include <mutex>
#include <new>
#include <vector>

namespace cfcli::media {

namespace {

constexpr long kShownInputErrors = 20;

struct LogState {
    std::mutex mutex;
    long inputErrors = 0;
    std::string outputError;
    bool holding = false;
    long heldFrom = 0;             /* inputErrors when holding began */
    std::vector<std::string> held; /* the first input errors since then, kept back */
};

/* The input's error `number` (from 1): the first few are shown. */
void showInputError(long number, const std::string& text)
{
    if (number <= kShownInputErrors) {
        std::fprintf(stderr, "crumbleforge: input: %s\n", text.c_str());
    } else if (number == kShownInputErrors + 1) {
        std::fprintf(stderr, "crumbleforge: input: (further errors of the input are not shown)\n");
    }
}

LogState& logState()
{
    static LogState state;
    return state;
}

bool isInputSide(void* object)
{
    if (object == nullptr) {
        return false;
    }
    const AVClass* cls = *static_cast<const AVClass**>(object);
    if (cls == nullptr) {
        return false;
    }
    AVClassCategory category = cls->category;
    if (cls->get_category != nullptr) {
        category = cls->get_category(object);
    }
    return category == AV_CLASS_CATEGORY_DEMUXER || category == AV_CLASS_CATEGORY_DECODER ||
           category == AV_CLASS_CATEGORY_INPUT;
}

extern "C" void onLog(void* object, int level, const char* format, va_list args)
{
    if (level > AV_LOG_ERROR) {
        return;
    }
    char line[1024];
    int prefix = 1;
    av_log_format_line2(object, level, format, args, line, sizeof line, &prefix);
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    /* the context FFmpeg puts first, "[h264 @ 0x55d0c8a1e2c0] ", becomes "h264: " */
    if (!text.empty() && text[0] == '[') {
        const auto at = text.find(" @ 0x");
        const auto close = text.find("] ");
        if (at != std::string::npos && close != std::string::npos && at < close) {
            text = text.substr(1, at - 1) + ": " + text.substr(close + 2);
        }
    }
    if (text.empty()) {
        return;
    }
    LogState& state = logState();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (isInputSide(object)) {
        ++state.inputErrors;
        if (!state.holding) {
            showInputError(state.inputErrors, text);
        } else if (static_cast<long>(state.held.size()) < kShownInputErrors) {
            state.held.push_back(text);
        }
    } else {
        state.outputError = text;
    }
}

} // namespace

Frame makeFrame()
{
    Frame f(av_frame_alloc());
    if (!f) {
        throw std::bad_alloc();
    }
    return f;
}

Packet makePacket()
{
    Packet p(av_packet_alloc());
    if (!p) {
        throw std::bad_alloc();
    }
    return p;
}

Codec makeCodec(const AVCodec* codec)
{
    Codec c(avcodec_alloc_context3(codec));
    if (!c) {
        throw std::bad_alloc();
    }
    return c;
}

AllocationLimit::AllocationLimit(std::size_t bytes)
{
    av_max_alloc(bytes);
}

AllocationLimit::~AllocationLimit()
{
    av_max_alloc(INT_MAX);
}

std::string errorText(int err)
{
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(err, buf, sizeof buf);
    return buf;
}

void Log::install()
{
    av_log_set_level(AV_LOG_ERROR);
    av_log_set_callback(onLog);
}

long Log::inputErrors()
{
    LogState& state = logState();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.inputErrors;
}

std::string Log::takeOutputError()
{
    LogState& state = logState();
    std::lock_guard<std::mutex> lock(state.mutex);
    std::string text;
    text.swap(state.outputError);
    return text;
}

Log::HeldInput::HeldInput()
{
    LogState& state = logState();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.holding = true;
    state.heldFrom = state.inputErrors;
    state.held.clear();
}

Log::HeldInput::~HeldInput()
{
    LogState& state = logState();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.holding = false;
    state.held.clear();
}

void Log::HeldInput::show()
{
    LogState& state = logState();
    std::lock_guard<std::mutex> lock(state.mutex);
    long number = state.heldFrom;
    for (const std::string& text : state.held) {
        showInputError(++number, text);
    }
    if (state.inputErrors > number && number <= kShownInputErrors) { /* more came than were kept */
        showInputError(kShownInputErrors + 1, "");
    }
    state.holding = false;
    state.held.clear();
}

std::string Log::HeldInput::first() const
{
    LogState& state = logState();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.held.empty() ? std::string() : state.held.front();
}

std::string encoderNames(AVMediaType type)
{
    std::string names;
    void* it = nullptr;
    while (const AVCodec* c = av_codec_iterate(&it)) {
        if (c->type == type && av_codec_is_encoder(c)) {
            names += (names.empty() ? "" : ", ") + std::string(c->name);
        }
    }
    return names;
}

std::string pixelFormatNames(const AVCodec* codec)
{
    std::string names;
    if (codec->pix_fmts == nullptr) {
        return "any";
    }
    for (const AVPixelFormat* p = codec->pix_fmts; *p != AV_PIX_FMT_NONE; ++p) {
        names += (names.empty() ? "" : ", ") + std::string(av_get_pix_fmt_name(*p));
    }
    return names;
}

} // namespace cfcli::media
