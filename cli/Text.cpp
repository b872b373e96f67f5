/* Text.cpp — the text helpers. */
#include "Text.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace cfcli {

namespace {

template <class Real>
std::string shortest(Real v)
{
    char buf[40];
    if (v == std::trunc(v) && std::fabs(v) < static_cast<Real>(1e15)) {
        std::snprintf(buf, sizeof buf, "%.0f", static_cast<double>(v));
        return buf;
    }
    for (int precision = 1; precision <= 17; ++precision) {
        std::snprintf(buf, sizeof buf, "%.*g", precision, static_cast<double>(v));
        if (static_cast<Real>(std::strtod(buf, nullptr)) == v) {
            break;
        }
    }
    return buf;
}

} // namespace

std::string shortestText(float v)
{
    return shortest(v);
}

std::string shortestText(double v)
{
    return shortest(v);
}

} // namespace cfcli
