/* Sequence.cpp — parsing and expanding numbered file-name patterns. */
#include "Sequence.h"

#include <cctype>

#include "Errors.h"

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

} // namespace cfcli
