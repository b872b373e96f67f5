/* CommandRegistry.h — the commands in progress on one Host. A command's effect_ref is the address of its
   CommandContext; callbacks look the address up here before touching it, so a stale or made-up effect_ref
   is refused instead of dereferenced. */
#pragma once

#include <mutex>
#include <unordered_set>
#include <vector>

#include "AE_Effect.h"
#include "cfhost/Keyframes.h"

namespace cfhost::detail {

class CommandContext {
public:
    CommandContext(PF_Cmd cmd, const std::vector<PF_ParamDef>* params,
                   const std::vector<KeyframeList>* keyframes = nullptr)
        : cmd_(cmd), params_(params), keyframes_(keyframes)
    {
    }

    PF_Cmd cmd() const noexcept { return cmd_; }
    PF_ProgPtr ref() noexcept { return reinterpret_cast<PF_ProgPtr>(this); }

    /* current values for checkout_param; null when the command carries none */
    const std::vector<PF_ParamDef>* params() const noexcept { return params_; }
    /* keyframes of the parameters, index for index; null or shorter: constant parameters */
    const std::vector<KeyframeList>* keyframes() const noexcept { return keyframes_; }

    /* add_param: index -1 appends; otherwise the index must be the next free position of the parameter
       array (input layer included). Returns PF_Err_INVALID_INDEX for any other index. */
    PF_Err addParam(PF_ParamIndex index, const PF_ParamDef& def);
    std::vector<PF_ParamDef> takeAdded();

private:
    PF_Cmd cmd_;
    const std::vector<PF_ParamDef>* params_;
    const std::vector<KeyframeList>* keyframes_;
    std::mutex mutex_;
    std::vector<PF_ParamDef> added_;
};

class CommandRegistry {
public:
    void enter(CommandContext* context);
    void leave(CommandContext* context) noexcept;
    CommandContext* find(PF_ProgPtr ref) const noexcept;

private:
    mutable std::mutex mutex_;
    std::unordered_set<const void*> live_;
};

/* Registers a context for the lifetime of a command call. */
class CommandScope {
public:
    CommandScope(CommandRegistry& registry, CommandContext& context) : registry_(registry), context_(context)
    {
        registry_.enter(&context_);
    }
    ~CommandScope() { registry_.leave(&context_); }
    CommandScope(const CommandScope&) = delete;
    CommandScope& operator=(const CommandScope&) = delete;

private:
    CommandRegistry& registry_;
    CommandContext& context_;
};

} // namespace cfhost::detail
