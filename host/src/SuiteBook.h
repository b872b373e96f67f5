/* SuiteBook.h — counts suite acquisitions and releases per name and version. */
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "cfhost/Host.h"

namespace cfhost::detail {

class SuiteBook {
public:
    void acquired(const char* name, int32_t version);
    /* false when the suite was released more often than acquired */
    bool released(const char* name, int32_t version);
    std::vector<SuiteUse> uses() const;
    SuiteUse use(const std::string& name, int32_t version) const;
    long totalAcquired() const;
    long totalReleased() const;

private:
    SuiteUse& entry(const char* name, int32_t version); /* caller holds mutex_ */

    mutable std::mutex mutex_;
    std::vector<SuiteUse> uses_;
    long acquired_ = 0;
    long released_ = 0;
};

} // namespace cfhost::detail
