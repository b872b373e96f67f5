/* Ansi.cpp — math wrappers and the variadic string helpers. */
#include "Ansi.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace cfhost::detail {
namespace {

A_FpLong ansiAtan(A_FpLong v) { return std::atan(v); }
A_FpLong ansiAtan2(A_FpLong y, A_FpLong x) { return std::atan2(y, x); }
A_FpLong ansiCeil(A_FpLong v) { return std::ceil(v); }
A_FpLong ansiCos(A_FpLong v) { return std::cos(v); }
A_FpLong ansiExp(A_FpLong v) { return std::exp(v); }
A_FpLong ansiFabs(A_FpLong v) { return std::fabs(v); }
A_FpLong ansiFloor(A_FpLong v) { return std::floor(v); }
A_FpLong ansiFmod(A_FpLong x, A_FpLong y) { return std::fmod(x, y); }
A_FpLong ansiHypot(A_FpLong x, A_FpLong y) { return std::hypot(x, y); }
A_FpLong ansiLog(A_FpLong v) { return std::log(v); }
A_FpLong ansiLog10(A_FpLong v) { return std::log10(v); }
A_FpLong ansiPow(A_FpLong x, A_FpLong y) { return std::pow(x, y); }
A_FpLong ansiSin(A_FpLong v) { return std::sin(v); }
A_FpLong ansiSqrt(A_FpLong v) { return std::sqrt(v); }
A_FpLong ansiTan(A_FpLong v) { return std::tan(v); }
A_FpLong ansiAsin(A_FpLong v) { return std::asin(v); }
A_FpLong ansiAcos(A_FpLong v) { return std::acos(v); }

#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
int ansiSprintf(A_char* dst, const A_char* fmt, ...)
{
    if (dst == nullptr || fmt == nullptr) {
        return -1;
    }
    va_list args;
    va_start(args, fmt);
    const int written = std::vsprintf(dst, fmt, args);
    va_end(args);
    return written;
}

A_char* ansiStrcpy(A_char* dst, const A_char* src)
{
    if (dst == nullptr || src == nullptr) {
        return dst;
    }
    return std::strcpy(dst, src);
}

template <class Table>
void fillCommon(Table& t) noexcept
{
    t.atan = ansiAtan;
    t.atan2 = ansiAtan2;
    t.ceil = ansiCeil;
    t.cos = ansiCos;
    t.exp = ansiExp;
    t.fabs = ansiFabs;
    t.floor = ansiFloor;
    t.fmod = ansiFmod;
    t.hypot = ansiHypot;
    t.log = ansiLog;
    t.log10 = ansiLog10;
    t.pow = ansiPow;
    t.sin = ansiSin;
    t.sqrt = ansiSqrt;
    t.tan = ansiTan;
    t.sprintf = ansiSprintf;
    t.strcpy = ansiStrcpy;
    t.asin = ansiAsin;
    t.acos = ansiAcos;
}

} // namespace

PF_ANSICallbacks ansiCallbacks() noexcept
{
    PF_ANSICallbacks t{};
    fillCommon(t);
    return t;
}

PF_ANSICallbacksSuite1 ansiSuite() noexcept
{
    PF_ANSICallbacksSuite1 t{};
    fillCommon(t);
    return t;
}

} // namespace cfhost::detail
