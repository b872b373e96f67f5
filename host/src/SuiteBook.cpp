/* SuiteBook.cpp — per-suite acquire/release counts. */
#include "SuiteBook.h"

#include <algorithm>

namespace cfhost::detail {

SuiteUse& SuiteBook::entry(const char* name, int32_t version)
{
    const std::string key = name != nullptr ? name : "";
    auto it = std::find_if(uses_.begin(), uses_.end(),
                           [&](const SuiteUse& u) { return u.name == key && u.version == version; });
    if (it == uses_.end()) {
        uses_.push_back(SuiteUse{key, version, 0, 0});
        return uses_.back();
    }
    return *it;
}

void SuiteBook::acquired(const char* name, int32_t version)
{
    std::lock_guard<std::mutex> lock(mutex_);
    ++entry(name, version).acquired;
    ++acquired_;
}

bool SuiteBook::released(const char* name, int32_t version)
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto& use = entry(name, version);
    ++use.released;
    ++released_;
    return use.released <= use.acquired;
}

std::vector<SuiteUse> SuiteBook::uses() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return uses_;
}

SuiteUse SuiteBook::use(const std::string& name, int32_t version) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& u : uses_) {
        if (u.name == name && u.version == version) {
            return u;
        }
    }
    return SuiteUse{name, version, 0, 0};
}

long SuiteBook::totalAcquired() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return acquired_;
}

long SuiteBook::totalReleased() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return released_;
}

} // namespace cfhost::detail
