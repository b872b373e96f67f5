/* frei0r_api.h — Debian's frei0r.h (frei0r-plugins-dev), which declares the filter's nine entries without
   C linkage or visibility of its own; the filter's files include it through here, so the entries leave it. */
#pragma once

#pragma GCC visibility push(default)
extern "C" {
#include <frei0r.h>
}
#pragma GCC visibility pop
