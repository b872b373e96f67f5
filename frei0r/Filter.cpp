/* Filter.cpp — the frei0r entries: an instance holds its values and its frame's tables; an update turns
   the host's RGBA into the effect's ARGB, draws through the direct entry, and turns the result back. */
#include "frei0r_api.h"

#include "DirectRender.h"
#include "FilterParams.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

namespace {

struct Instance {
    /* Held by every call on the instance. frei0r allows one thread per instance at a time, but MLT's sliced
       rendering (threads=0) has been seen to update one instance from two threads at once. */
    std::mutex lock;
    A_long width;
    A_long height;
    cff0r::FilterValues values;
    std::vector<PF_Pixel> input; // the host's frame as the effect's pixels, sized in f0r_construct
    DirectFrame frame;
};

/* Frames smaller than this are drawn on the host's thread alone; larger ones in bands on a few threads,
   all joined before the update returns. */
constexpr std::size_t BANDED_PIXELS = 1u << 18;
constexpr unsigned MAX_BANDS = 8;

unsigned bandsFor(const Instance& in)
{
    const std::size_t pixels = static_cast<std::size_t>(in.width) * static_cast<std::size_t>(in.height);
    if (pixels < BANDED_PIXELS) {
        return 1;
    }
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    return std::min({cores, MAX_BANDS, static_cast<unsigned>(in.height)});
}

/* Runs work(firstRow, endRow) over the frame's rows in `bands` bands, the first on this thread. */
template <typename Work>
void inBands(A_long height, unsigned bands, Work work)
{
    std::vector<std::thread> helpers;
    const auto rowsAt = [&](unsigned b) { return static_cast<A_long>(static_cast<std::int64_t>(height) * b / bands); };
    for (unsigned b = 1; b < bands; ++b) {
        try {
            helpers.emplace_back(work, rowsAt(b), rowsAt(b + 1));
        } catch (...) { // no thread to be had: this thread draws the band
            work(rowsAt(b), rowsAt(b + 1));
        }
    }
    work(0, rowsAt(1));
    for (std::thread& t : helpers) {
        t.join();
    }
}

void update(Instance& in, double time, const std::uint32_t* inframe, std::uint32_t* outframe)
{
    const auto width = static_cast<std::size_t>(in.width);
    const unsigned bands = bandsFor(in);
    const auto* source = static_cast<const std::uint8_t*>(static_cast<const void*>(inframe));
    inBands(in.height, bands, [&](A_long first, A_long end) {
        const std::size_t from = static_cast<std::size_t>(first) * width;
        rgbaToEffect(source + 4 * from, in.input.data() + from, static_cast<std::size_t>(end - first) * width);
    });

    const long frame = cff0r::frameNumber(in.values, time);
    const A_long rowbytes = static_cast<A_long>(width * sizeof(PF_Pixel));
    prepareDirectFrame(in.frame, in.values.effect, in.input.data(), rowbytes, in.width, in.height,
                       static_cast<A_long>(frame * 100), 100);

    auto* target = static_cast<std::uint8_t*>(static_cast<void*>(outframe));
    auto* output = static_cast<PF_Pixel*>(static_cast<void*>(outframe));
    inBands(in.height, bands, [&](A_long first, A_long end) {
        drawDirectRows(in.frame, output, rowbytes, first, end);
        const std::size_t from = static_cast<std::size_t>(first) * width;
        effectToRgbaInPlace(target + 4 * from, static_cast<std::size_t>(end - first) * width);
    });
}

} // namespace

extern "C" {

int f0r_init()
{
    (void)cff0r::filterParams(); // made once, before any instance's thread can ask
    return 1;
}

void f0r_deinit() {}

void f0r_get_plugin_info(f0r_plugin_info_t* info)
{
    info->name = "Crumbleforge";
    info->author = "Briskandul";
    info->plugin_type = F0R_PLUGIN_TYPE_FILTER;
    info->color_model = F0R_COLOR_MODEL_RGBA8888;
    info->frei0r_version = FREI0R_MAJOR_VERSION;
    info->major_version = 1;
    info->minor_version = 6;
    info->num_params = static_cast<int>(cff0r::filterParams().size());
    info->explanation = "Footage as lo-fi grungy pixel patterns, block by block";
}

void f0r_get_param_info(f0r_param_info_t* info, int param_index)
{
    const auto& params = cff0r::filterParams();
    if (param_index < 0 || static_cast<std::size_t>(param_index) >= params.size()) {
        return;
    }
    const cff0r::FilterParam& p = params[static_cast<std::size_t>(param_index)];
    info->name = p.name;
    info->type = p.type;
    info->explanation = p.explanation.c_str();
}

f0r_instance_t f0r_construct(unsigned int width, unsigned int height)
{
    // Frame sizes whose pixel count or row bytes do not fit the effect's 32-bit fields are refused.
    if (width == 0 || height == 0 || width > (1u << 24) || height > (1u << 24) ||
        static_cast<std::uint64_t>(width) * height > (1ull << 31) / sizeof(PF_Pixel)) {
        return nullptr;
    }
    try {
        auto* in = new Instance;
        in->width = static_cast<A_long>(width);
        in->height = static_cast<A_long>(height);
        try {
            in->input.resize(static_cast<std::size_t>(width) * height);
        } catch (...) {
            delete in;
            return nullptr;
        }
        return in;
    } catch (...) {
        return nullptr;
    }
}

void f0r_destruct(f0r_instance_t instance)
{
    delete static_cast<Instance*>(instance);
}

void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param, int param_index)
{
    if (instance != nullptr) {
        Instance& in = *static_cast<Instance*>(instance);
        const std::lock_guard<std::mutex> hold(in.lock);
        try {
            cff0r::setParam(in.values, param_index, param);
        } catch (...) { // out of memory copying a settings text: the value stays as it was
        }
    }
}

void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param, int param_index)
{
    if (instance != nullptr) {
        Instance& in = *static_cast<Instance*>(instance);
        const std::lock_guard<std::mutex> hold(in.lock);
        cff0r::getParam(in.values, param_index, param);
    }
}

void f0r_update(f0r_instance_t instance, double time, const std::uint32_t* inframe, std::uint32_t* outframe)
{
    if (instance == nullptr || inframe == nullptr || outframe == nullptr) {
        return;
    }
    Instance& in = *static_cast<Instance*>(instance);
    const std::lock_guard<std::mutex> hold(in.lock);
    try {
        update(in, time, inframe, outframe);
    } catch (const std::bad_alloc&) {
        // Without memory for the frame's tables the frame stays as the host handed it.
        std::memcpy(outframe, inframe, static_cast<std::size_t>(in.width) * static_cast<std::size_t>(in.height) * 4);
    }
}

void f0r_update2(f0r_instance_t instance, double time, const std::uint32_t* inframe1, const std::uint32_t*,
                 const std::uint32_t*, std::uint32_t* outframe)
{
    f0r_update(instance, time, inframe1, outframe);
}

} // extern "C"
