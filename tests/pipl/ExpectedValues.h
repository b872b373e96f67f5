/* ExpectedValues.h — the capability words the effect declares at global setup; both resource forms must
   carry exactly these. */
#pragma once

#include <cstdint>

constexpr uint32_t kExpectedOutFlags = 0x02000004, kExpectedOutFlags2 = 0x08000001;
