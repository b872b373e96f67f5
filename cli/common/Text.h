/* Text.h — small text helpers for the command's messages and reports: joining, trimming, case, and numbers
   written shortest but exact. Nothing here knows about effects or files. */
#pragma once

#include <string>
#include <vector>

namespace cfcli {

/* "a, b, c" from {"a", "b", "c"} with separator ", ". */
std::string joined(const std::vector<std::string>& items, const char* separator);

/* The text without leading and trailing spaces and tabs. */
std::string trimmed(const std::string& text);

/* The text with ASCII letters in lower case (for matching labels and words in any case). */
std::string lowered(std::string text);

/* The shortest decimal text that reads back as exactly `v` (as a float, or as a double); whole values have
   no decimal point ("250", "-150"). */
std::string shortestText(float v);
std::string shortestText(double v);

} // namespace cfcli
