/* Reference.h — the effect rendered directly through our host, as the expected result of a command-line
   render with the same parameters, time and pixels (starting, as the command does, at each popup's first choice). */
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "TestPng.h"
#include "cfhost/EffectInstance.h"
#include "cfhost/Host.h"

namespace cftest {

class ReferenceEffect {
public:
    explicit ReferenceEffect(bool premiere = false);
    ~ReferenceEffect();

    cfhost::Host& host() { return *host_; }
    void setPopup(const std::string& label, int choice);
    void setCheckbox(const std::string& label, bool on);
    void setFloat(const std::string& label, double value);
    void setColor(const std::string& label, std::uint8_t r, std::uint8_t g, std::uint8_t b);

    cfhost::World render(const cfhost::World& input, long frame, double fps);

private:
    PF_ParamIndex index(const std::string& label) const;

    std::unique_ptr<cfhost::Host> host_;
    std::unique_ptr<cfhost::EffectInstance> fx_;
};

/* A host world holding a test PNG's pixels at `depth`, expanded to RGBA by PNG's rules (grey to RGB,
   palette lookup, no alpha → opaque) and converted by the command's documented rules. */
cfhost::World worldFromPng(cfhost::Host& host, const TestPng& png, cfhost::Depth depth);

/* A world's pixels as the RGBA samples a PNG of its depth holds. */
std::vector<std::uint16_t> fileSamples(const cfhost::World& world);

/* Raw RGBA frames (rgba or rgba64le) as a list of worlds of the given size. */
std::vector<cfhost::World> worldsFromRaw(cfhost::Host& host, const std::string& raw, int width, int height,
                                         int bits);

} // namespace cftest
