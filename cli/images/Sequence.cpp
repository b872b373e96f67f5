/* Sequence.cpp — parsing and expanding numbered file-name patterns. */
#include "images/Sequence.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>

#include "common/Errors.h"

namespace cfcli {

std::optional<SequencePattern> SequencePattern::parse(const std::string& text)
{
    SequencePattern pattern;
    pattern.text_ = text;
    std::string literal;
    int conversions = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            literal += text[i];
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '%') {
            literal += '%';
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        bool zero = false;
        if (j < text.size() && text[j] == '0') {
            zero = true;
            ++j;
        }
        int width = 0;
        while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j])) && width < 100) {
            width = width * 10 + (text[j] - '0');
            ++j;
        }
        if (j >= text.size() || text[j] != 'd') {
            literal += text[i]; /* not a conversion: a plain percent sign */
            continue;
        }
        if (++conversions > 1) {
            throw UsageError("the pattern " + quoteName(text) + " has more than one %d; write a literal % as %%");
        }
        if (text.find('/', j) != std::string::npos) {
            throw UsageError("the pattern " + quoteName(text) + " numbers folders; only file names can be numbered");
        }
        pattern.prefix_ = literal;
        literal.clear();
        pattern.zeroPad_ = zero;
        pattern.width_ = width;
        i = j;
    }
    if (conversions == 0) {
        return std::nullopt;
    }
    pattern.suffix_ = literal;
    return pattern;
}

std::string SequencePattern::format(long n) const
{
    const bool negative = n < 0;
    std::string digits = std::to_string(negative ? -static_cast<long long>(n) : static_cast<long long>(n));
    const std::size_t used = digits.size() + (negative ? 1 : 0);
    const std::size_t width = static_cast<std::size_t>(width_);
    if (used < width) {
        if (zeroPad_) {
            digits.insert(0, width - used, '0');
        } else {
            digits.insert(0, width - used, ' ');
        }
    }
    if (negative) {
        /* printf puts the sign before zero padding but after space padding */
        const std::size_t at = zeroPad_ ? 0 : digits.find_first_not_of(' ');
        digits.insert(at, 1, '-');
    }
    return prefix_ + digits + suffix_;
}

std::optional<long> SequencePattern::numberOf(const std::string& name) const
{
    if (name.size() <= prefix_.size() + suffix_.size() || name.compare(0, prefix_.size(), prefix_) != 0 ||
        name.compare(name.size() - suffix_.size(), suffix_.size(), suffix_) != 0) {
        return std::nullopt;
    }
    std::string digits = name.substr(prefix_.size(), name.size() - prefix_.size() - suffix_.size());
    const auto first = digits.find_first_not_of(' ');
    if (first == std::string::npos || digits.size() - first > 12) {
        return std::nullopt;
    }
    char* end = nullptr;
    const long n = std::strtol(digits.c_str() + first, &end, 10);
    if (*end != '\0' || format(n) != name) {
        return std::nullopt;
    }
    return n;
}

std::optional<long> SequencePattern::gapAfter(long first, long count) const
{
    namespace fs = std::filesystem;
    const fs::path sample(format(first));
    const fs::path folder = sample.has_parent_path() ? sample.parent_path() : fs::path(".");
    const std::string lead = sample.has_parent_path() ? folder.string() + "/" : "";
    std::error_code ec;
    bool later = false;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const auto n = numberOf(lead + it->path().filename().string());
        if (n && *n >= first + count) {
            later = true;
            break;
        }
    }
    if (!later) {
        return std::nullopt;
    }
    return first + count;
}

} // namespace cfcli
