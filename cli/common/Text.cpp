/* Text.cpp — the text helpers. */
#include "common/Text.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace cfcli {

std::string joined(const std::vector<std::string>& items, const char* separator)
{
    std::string text;
    for (const std::string& item : items) {
        text += (text.empty() ? "" : separator) + item;
    }
    return text;
}

std::string trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return "";
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

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
