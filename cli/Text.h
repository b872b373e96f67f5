/* Text.h — small text helpers for the command's messages and reports: numbers written shortest but exact.
   Nothing here knows about effects or files. */
#pragma once

#include <string>

namespace cfcli {

/* The shortest decimal text that reads back as exactly `v` (as a float, or as a double); whole values have
   no decimal point ("250", "-150"). */
std::string shortestText(float v);
std::string shortestText(double v);

} // namespace cfcli
