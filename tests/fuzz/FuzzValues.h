/* FuzzValues.h — numbers as a damaged project or a careless host may hand them over, drawn from a fuzzer's
   input: NaN, infinities, subnormals, the largest values, zero of either sign, small whole numbers near
   the ranges the effect declares, and arbitrary bit patterns. */
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <limits>

namespace cffuzz {

template <typename Real, typename Bits>
Real anyReal(FuzzedDataProvider& in)
{
    using limits = std::numeric_limits<Real>;
    switch (in.ConsumeIntegralInRange<int>(0, 11)) {
    case 0: return limits::quiet_NaN();
    case 1: return limits::infinity();
    case 2: return -limits::infinity();
    case 3: return limits::denorm_min();
    case 4: return -limits::denorm_min() * static_cast<Real>(in.ConsumeIntegralInRange<int>(1, 1000));
    case 5: return limits::max();
    case 6: return limits::lowest();
    case 7: return in.ConsumeBool() ? Real{0} : -Real{0};
    case 8: return static_cast<Real>(in.ConsumeIntegralInRange<int>(-300, 300));
    case 9: {
        Bits bits = in.ConsumeIntegral<Bits>();
        Real value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    case 10: return in.ConsumeFloatingPointInRange<Real>(Real{-2}, Real{2});
    default: return in.ConsumeFloatingPointInRange<Real>(Real{-1000}, Real{1000});
    }
}

inline double anyDouble(FuzzedDataProvider& in)
{
    return anyReal<double, std::uint64_t>(in);
}

inline float anyFloat(FuzzedDataProvider& in)
{
    return anyReal<float, std::uint32_t>(in);
}

} // namespace cffuzz
