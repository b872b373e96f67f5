/* EffectSession.cpp — loading the module and sending it the commands an application sends. */
#include "pipeline/EffectSession.h"

#include <cstring>
#include <fstream>

#include <unistd.h>

#include <climits>

#include "common/Cleanup.h"
#include "common/Errors.h"
#include "cfhost/HostError.h"

#ifndef CRUMBLEFORGE_DEFAULT_PLUGIN
#define CRUMBLEFORGE_DEFAULT_PLUGIN ""
#endif

namespace fs = std::filesystem;

namespace cfcli {

namespace {

const char* errorName(PF_Err err)
{
    switch (err) {
    case PF_Err_OUT_OF_MEMORY: return "PF_Err_OUT_OF_MEMORY";
    case PF_Err_INTERNAL_STRUCT_DAMAGED: return "PF_Err_INTERNAL_STRUCT_DAMAGED";
    case PF_Err_INVALID_INDEX: return "PF_Err_INVALID_INDEX";
    case PF_Err_UNRECOGNIZED_PARAM_TYPE: return "PF_Err_UNRECOGNIZED_PARAM_TYPE";
    case PF_Err_INVALID_CALLBACK: return "PF_Err_INVALID_CALLBACK";
    case PF_Err_BAD_CALLBACK_PARAM: return "PF_Err_BAD_CALLBACK_PARAM";
    case PF_Interrupt_CANCEL: return "PF_Interrupt_CANCEL";
    case PF_Err_CANNOT_PARSE_KEYFRAME_TEXT: return "PF_Err_CANNOT_PARSE_KEYFRAME_TEXT";
    default: return nullptr;
    }
}

void require(PF_Err err, const std::string& what)
{
    if (err != PF_Err_NONE) {
        const char* name = errorName(err);
        throw EffectFailure("the effect failed " + what + " (error " + std::to_string(err) +
                            (name ? std::string(", ") + name : std::string()) + ")");
    }
}

fs::path executableFolder()
{
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) {
        return {};
    }
    return fs::path(std::string(buf, static_cast<std::size_t>(n))).parent_path();
}

} // namespace

fs::path locatePlugin(const std::optional<std::string>& given)
{
    std::error_code ec;
    if (given) {
        if (!fs::exists(*given, ec)) {
            throw UsageError("--plugin " + quoteName(*given) + ": no such file");
        }
        /* A file that is no shared library at all is a wrong argument; a library that fails to load or set up is
           the effect's failure. */
        char magic[4] = {};
        std::ifstream file(*given, std::ios::binary);
        if (fs::is_directory(*given, ec) || !file.read(magic, 4) || std::memcmp(magic, "\x7f" "ELF", 4) != 0) {
            throw UsageError("--plugin " + quoteName(*given) + ": it is not an effect module (a shared library)");
        }
        return *given;
    }
    std::vector<fs::path> candidates;
    const fs::path here = executableFolder();
    if (!here.empty()) {
        candidates.push_back(here / ".." / "src" / "Crumbleforge.so");                   /* build tree */
        candidates.push_back(here / ".." / "lib" / "crumbleforge" / "Crumbleforge.so");  /* installed */
    }
    if (std::string(CRUMBLEFORGE_DEFAULT_PLUGIN).size() > 0) {
        candidates.emplace_back(CRUMBLEFORGE_DEFAULT_PLUGIN);
    }
    std::string tried;
    for (const fs::path& c : candidates) {
        if (fs::is_regular_file(c, ec)) {
            return c.lexically_normal();
        }
        tried += (tried.empty() ? "" : ", ") + c.lexically_normal().string();
    }
    throw EffectFailure("no effect module found (looked for " + tried + "); give one with --plugin PATH");
}

EffectSession::EffectSession(const SessionOptions& options)
{
    cfhost::HostOptions hostOptions;
    hostOptions.applicationId = options.premiere ? cfhost::kPremierePro : cfhost::kAfterEffects;
    hostOptions.threads = options.threads;
    {
        /* The host's worker threads start here; they inherit a mask that keeps interrupts away from them, so
           the interrupt handler always runs on this thread, never beside it (see Cleanup.h). */
        const cleanup::InterruptsBlocked blocked;
        host_ = std::make_unique<cfhost::Host>(hostOptions);
    }
    try {
        effect_ = std::make_unique<cfhost::EffectInstance>(*host_, options.plugin);
        effect_->registerModule();
    } catch (const cfhost::HostError& e) {
        const std::string detail = e.what();
        throw EffectFailure(detail.find(options.plugin.string()) != std::string::npos
                                ? detail
                                : "cannot load the effect module " + quoteName(options.plugin.string()) + ": " + detail);
    }
    require(effect_->globalSetup(), "in global setup");
    globalDone_ = true;
    require(effect_->paramsSetup(), "in parameter setup");
    require(effect_->sequenceSetup(), "in sequence setup");
    sequenceDone_ = true;
    declared_ = declaredParameters(*effect_);
}

EffectSession::~EffectSession()
{
    /* Setdown results change nothing for the user at this point. */
    try {
        if (sequenceDone_) {
            effect_->sequenceSetdown();
        }
        if (globalDone_) {
            effect_->globalSetdown();
        }
    } catch (const std::exception&) {
    }
}

cfhost::World EffectSession::render(const cfhost::World& input, long frame, double fps)
{
    cfhost::World output = host_->makeWorld(input.width(), input.height(), input.depth());
    render(input, output, frame, cfhost::FrameTime::ofFrame(static_cast<A_long>(frame), fps));
    return output;
}

void EffectSession::render(const cfhost::World& input, cfhost::World& output, long frame, const cfhost::FrameTime& time)
{
    require(effect_->render(input, output, time), "to render frame " + std::to_string(frame));
}

} // namespace cfcli
