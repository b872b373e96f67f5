/* Errors.cpp — small helpers for building one-line error messages. */
#include "common/Errors.h"

#include <cstring>

namespace cfcli {

std::string quoteName(const std::string& text)
{
    return "'" + text + "'";
}

std::string systemMessage(int errnum)
{
    return std::strerror(errnum);
}

} // namespace cfcli
