/* Playground.cpp — the page's WebAssembly side: the effect's parameter table as the page's controls read it,
   settings in the command's Label=value form (parsed by the frei0r filter's reader), the picture in wasm
   memory, and frames drawn through the direct entry. A page holds one picture, so its state lives here once. */
#include "Crumbleforge_Strings.h"
#include "DirectRender.h"
#include "FilterParams.h"
#include "ParamTable.h"
#include "images/TestCard.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

struct Page {
    cff0r::FilterValues values;
    A_long width = 0;
    A_long height = 0;
    std::unique_ptr<PF_Pixel[]> input;  // the picture, as the effect's pixels
    std::unique_ptr<PF_Pixel[]> output; // drawn as the effect's pixels, handed to the page as RGBA
    DirectFrame frame;
    std::string text; // the last text handed to the page
};

Page& page()
{
    static Page p;
    return p;
}

std::string quoted(const std::string& s)
{
    std::string out = "\"";
    for (const char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out + "\"";
}

/* The shortest plain decimal that reads back as v (what a user would type, and what the command parses to
   v); a number too small for 17 decimals in exponent form. */
std::string shortest(double v)
{
    char text[400];
    for (int decimals = 0; decimals <= 17; ++decimals) {
        std::snprintf(text, sizeof text, "%.*f", decimals, v);
        if (std::strtod(text, nullptr) == v) {
            return text;
        }
    }
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

std::string hexColour(const PF_Pixel& c)
{
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", c.red, c.green, c.blue);
    return text;
}

const char* kindOf(const ParamRow& row)
{
    switch (row.type) {
    case PF_Param_POPUP: return "popup";
    case PF_Param_FLOAT_SLIDER: return "slider";
    case PF_Param_CHECKBOX: return "checkbox";
    case PF_Param_COLOR: return "color";
    case PF_Param_GROUP_START: return "group";
    default: return "end";
    }
}

/* A value as the command's --set takes it: popups by choice, checkboxes on/off, colours #rrggbb. */
std::string settingText(const ParamRow& row, const DirectValue& v)
{
    switch (row.type) {
    case PF_Param_POPUP: return cff0r::choicesOf(row)[static_cast<std::size_t>(v.number) - 1];
    case PF_Param_CHECKBOX: return v.number != 0.0 ? "on" : "off";
    case PF_Param_COLOR: return hexColour(v.color);
    default: return shortest(v.number);
    }
}

/* A value in the filter's units, as melt takes it (colours as #rrggbb): the fewest decimals the filter reads
   back as the value. */
std::string frei0rText(const ParamRow& row, const DirectValue& v)
{
    if (row.type == PF_Param_COLOR) {
        return hexColour(v.color);
    }
    const double value = cff0r::toFrei0r(row, v.number);
    char text[32];
    for (int decimals = 0; decimals <= 17; ++decimals) {
        std::snprintf(text, sizeof text, "%.*f", decimals, value);
        if (cff0r::fromFrei0r(row, std::strtod(text, nullptr)) == v.number) {
            return text;
        }
    }
    return shortest(value);
}

const char* handed(std::string text)
{
    page().text = std::move(text);
    return page().text.c_str();
}

} // namespace

extern "C" {

/* The parameters in the effect's order, group headings and ends included, and the names the filter adds. */
const char* cf_describe()
{
    std::string json = "{\"params\":[";
    bool first = true;
    for (const ParamRow& row : kParams) {
        json += first ? "{" : ",{";
        first = false;
        json += "\"kind\":" + quoted(kindOf(row)) + ",\"label\":" + quoted(GetStringPtr(row.label));
        if (row.type == PF_Param_FLOAT_SLIDER) {
            json += ",\"min\":" + shortest(static_cast<double>(row.min)) +
                    ",\"max\":" + shortest(static_cast<double>(row.max)) +
                    ",\"precision\":" + std::to_string(row.precision);
        }
        if (row.type == PF_Param_POPUP) {
            json += ",\"choices\":[";
            const std::vector<std::string> choices = cff0r::choicesOf(row);
            for (std::size_t i = 0; i < choices.size(); ++i) {
                json += (i ? "," : "") + quoted(choices[i]);
            }
            json += "]";
        }
        json += "}";
    }
    json += "],\"frei0r\":{";
    first = true;
    for (const cff0r::FilterParam& p : cff0r::filterParams()) {
        const char* role = p.role == cff0r::Role::FrameRate ? "rate" : p.role == cff0r::Role::Milliseconds ? "milliseconds" : nullptr;
        if (role != nullptr) {
            json += std::string(first ? "" : ",") + quoted(role) + ":" + quoted(p.name);
            first = false;
        }
    }
    json += "},\"fps\":" + shortest(cff0r::DEFAULT_FRAME_RATE) + "}";
    return handed(std::move(json));
}

/* Every parameter back to the value the command starts from. */
void cf_reset()
{
    page().values = cff0r::FilterValues{};
}

/* Applies one "Label=value" setting; the empty text when it took, else what is wrong with it. Sliders keep
   the declared decimals, as the filter keeps them, so the command line and the filter's values draw alike. */
const char* cf_apply(const char* entry)
{
    std::vector<std::string> problems;
    cff0r::applySettings(page().values, entry, problems);
    for (const ParamRow& row : kParams) {
        if (row.type == PF_Param_FLOAT_SLIDER) {
            double& v = page().values.effect[static_cast<std::size_t>(row.index)].number;
            v = cff0r::fromFrei0r(row, cff0r::toFrei0r(row, v));
        }
    }
    return handed(problems.empty() ? std::string() : problems.front());
}

/* The current values by label: as the command's --set takes them, and in the filter's units. */
const char* cf_values()
{
    std::string set = "{";
    std::string frei0r = "{";
    for (const ParamRow& row : kParams) {
        if (row.type == PF_Param_GROUP_START || row.type == PF_Param_GROUP_END) {
            continue;
        }
        const DirectValue& v = page().values.effect[static_cast<std::size_t>(row.index)];
        const std::string label = quoted(GetStringPtr(row.label));
        set += (set.size() > 1 ? "," : "") + label + ":" + quoted(settingText(row, v));
        frei0r += (frei0r.size() > 1 ? "," : "") + label + ":" + quoted(frei0rText(row, v));
    }
    return handed("{\"set\":" + set + "},\"frei0r\":" + frei0r + "}}");
}

/* Room for a picture of width x height pixels, whose RGBA bytes the page writes at the pointer returned and
   then hands over with cf_source_ready; null, the picture before kept, when there is no memory for it. */
std::uint8_t* cf_source(int width, int height)
{
    if (width < 1 || height < 1 || static_cast<std::int64_t>(width) * height > (std::int64_t{1} << 26)) {
        return nullptr;
    }
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    std::unique_ptr<PF_Pixel[]> input(new (std::nothrow) PF_Pixel[count]);
    std::unique_ptr<PF_Pixel[]> output(new (std::nothrow) PF_Pixel[count]);
    if (!input || !output) {
        return nullptr;
    }
    Page& p = page();
    p.input = std::move(input);
    p.output = std::move(output);
    p.width = width;
    p.height = height;
    return static_cast<std::uint8_t*>(static_cast<void*>(p.input.get()));
}

void cf_source_ready()
{
    Page& p = page();
    const std::size_t count = static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height);
    rgbaToEffect(static_cast<const std::uint8_t*>(static_cast<void*>(p.input.get())), p.input.get(), count);
}

/* The demo's test card as the picture, its RGBA bytes at the pointer returned (before cf_source_ready). */
std::uint8_t* cf_test_card(int width, int height)
{
    std::uint8_t* const start = cf_source(width, height);
    if (start != nullptr) {
        std::uint8_t* bytes = start;
        const cfcli::RgbaImage card = cfcli::makeTestCard(width, height);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const std::uint16_t* px = card.pixel(x, y);
                for (int c = 0; c < 4; ++c) {
                    *bytes++ = static_cast<std::uint8_t>(px[c]);
                }
            }
        }
    }
    return start;
}

/* Draws frame `frame` of the picture (chaos at that frame, as the command's --frame); its RGBA bytes, width x
   height x 4 of them, at the pointer returned. */
std::uint8_t* cf_render(int frame)
{
    Page& p = page();
    if (!p.input) {
        return nullptr;
    }
    const A_long rowbytes = p.width * static_cast<A_long>(sizeof(PF_Pixel));
    constexpr int lastFrame = 21474836; // frame x 100 is the host's 32-bit time value
    frame = std::clamp(frame, -lastFrame, lastFrame);
    prepareDirectFrame(p.frame, p.values.effect, p.input.get(), rowbytes, p.width, p.height,
                       static_cast<A_long>(frame) * 100, 100);
    drawDirectRows(p.frame, p.output.get(), rowbytes, 0, p.height);
    auto* bytes = static_cast<std::uint8_t*>(static_cast<void*>(p.output.get()));
    effectToRgbaInPlace(bytes, static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height));
    return bytes;
}

} // extern "C"
