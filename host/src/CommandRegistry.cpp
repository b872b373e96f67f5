/* CommandRegistry.cpp — live command contexts and the parameters they collect. */
#include "CommandRegistry.h"

namespace cfhost::detail {

PF_Err CommandContext::addParam(PF_ParamIndex index, const PF_ParamDef& def)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto next = static_cast<PF_ParamIndex>(added_.size() + 1);
    if (index != -1 && index != next) {
        return PF_Err_INVALID_INDEX;
    }
    added_.push_back(def);
    return PF_Err_NONE;
}

std::vector<PF_ParamDef> CommandContext::takeAdded()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return std::move(added_);
}

void CommandRegistry::enter(CommandContext* context)
{
    std::lock_guard<std::mutex> lock(mutex_);
    live_.insert(context);
}

void CommandRegistry::leave(CommandContext* context) noexcept
{
    std::lock_guard<std::mutex> lock(mutex_);
    live_.erase(context);
}

CommandContext* CommandRegistry::find(PF_ProgPtr ref) const noexcept
{
    std::lock_guard<std::mutex> lock(mutex_);
    const void* key = ref;
    return live_.count(key) != 0 ? static_cast<CommandContext*>(const_cast<void*>(key)) : nullptr;
}

} // namespace cfhost::detail
