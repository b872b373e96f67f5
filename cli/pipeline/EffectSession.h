/* EffectSession.h — one effect module loaded into our host and made ready to render, as an application
   does when the effect is applied to a layer: registration, global setup, parameter setup and sequence
   setup; setdown again when the session ends. Failures of the module are EffectFailure (exit code 1). */
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "pipeline/ParamSetter.h"
#include "cfhost/EffectInstance.h"
#include "cfhost/Host.h"

namespace cfcli {

struct SessionOptions {
    std::filesystem::path plugin;
    bool premiere = false;
    unsigned threads = 0;
};

class EffectSession {
public:
    explicit EffectSession(const SessionOptions& options);
    ~EffectSession();
    EffectSession(const EffectSession&) = delete;
    EffectSession& operator=(const EffectSession&) = delete;

    cfhost::Host& host() noexcept { return *host_; }
    cfhost::EffectInstance& effect() noexcept { return *effect_; }
    const std::vector<DeclaredParam>& declared() const noexcept { return declared_; }

    /* Renders one frame at the input's depth; throws EffectFailure naming the frame when the effect fails. */
    cfhost::World render(const cfhost::World& input, long frame, double fps);
    /* The same into a world the caller keeps (same size and depth), at a given time; safe from several
       threads at once. */
    void render(const cfhost::World& input, cfhost::World& output, long frame, const cfhost::FrameTime& time);

private:
    std::unique_ptr<cfhost::Host> host_;
    std::unique_ptr<cfhost::EffectInstance> effect_;
    std::vector<DeclaredParam> declared_;
    bool globalDone_ = false;
    bool sequenceDone_ = false;
};

/* The module to load: --plugin when given (UsageError if it does not exist), else the module built beside
   this program, else the one installed beside it, else the compiled-in default. */
std::filesystem::path locatePlugin(const std::optional<std::string>& given);

} // namespace cfcli
