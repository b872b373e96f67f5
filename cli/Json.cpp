/* Json.cpp — writing JSON text. */
#include "Json.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace cfcli {

std::string jsonString(const std::string& text)
{
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
                out += buf;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
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

void JsonWriter::newline()
{
    out_ += '\n';
    out_.append(hasItems_.size() * 2, ' ');
}

void JsonWriter::beforeValue()
{
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!hasItems_.empty()) {
        if (hasItems_.back()) {
            out_ += ',';
        }
        hasItems_.back() = true;
        newline();
    }
}

JsonWriter& JsonWriter::beginObject()
{
    beforeValue();
    out_ += '{';
    hasItems_.push_back(false);
    return *this;
}

JsonWriter& JsonWriter::endObject()
{
    const bool items = hasItems_.back();
    hasItems_.pop_back();
    if (items) {
        newline();
    }
    out_ += '}';
    return *this;
}

JsonWriter& JsonWriter::beginArray()
{
    beforeValue();
    out_ += '[';
    hasItems_.push_back(false);
    return *this;
}

JsonWriter& JsonWriter::endArray()
{
    const bool items = hasItems_.back();
    hasItems_.pop_back();
    if (items) {
        newline();
    }
    out_ += ']';
    return *this;
}

JsonWriter& JsonWriter::key(const std::string& name)
{
    beforeValue();
    out_ += jsonString(name) + ": ";
    afterKey_ = true;
    return *this;
}

JsonWriter& JsonWriter::value(const std::string& text)
{
    beforeValue();
    out_ += jsonString(text);
    return *this;
}

JsonWriter& JsonWriter::value(long long number)
{
    beforeValue();
    out_ += std::to_string(number);
    return *this;
}

JsonWriter& JsonWriter::value(double number)
{
    beforeValue();
    if (!std::isfinite(number)) {
        out_ += "null"; /* JSON has no infinities or NaN */
        return *this;
    }
    out_ += shortestText(number);
    return *this;
}

JsonWriter& JsonWriter::value(float number)
{
    beforeValue();
    out_ += std::isfinite(number) ? shortestText(number) : "null";
    return *this;
}

JsonWriter& JsonWriter::value(bool flag)
{
    beforeValue();
    out_ += flag ? "true" : "false";
    return *this;
}

} // namespace cfcli
