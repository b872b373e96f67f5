/* Errors.h — the failures the command reports, each carrying the exit code it ends with:
   2 for bad usage or input (files, options, parameter values), 1 when the effect or the host failed, 3 when
   the render finished but the input was damaged (what decoded was rendered and kept). */
#pragma once

#include <stdexcept>
#include <string>

namespace cfcli {

enum ExitCode : int { kExitDone = 0, kExitEffectFailed = 1, kExitBadInput = 2, kExitInputDamaged = 3 };

class CliError : public std::runtime_error {
public:
    CliError(const std::string& message, int exitCode) : std::runtime_error(message), exitCode_(exitCode) {}
    int exitCode() const noexcept { return exitCode_; }

private:
    int exitCode_;
};

/* A bad option, parameter value, input file or output location. */
class UsageError : public CliError {
public:
    explicit UsageError(const std::string& message) : CliError(message, kExitBadInput) {}
};

/* The effect module would not load, or a command sent to it failed. */
class EffectFailure : public CliError {
public:
    explicit EffectFailure(const std::string& message) : CliError(message, kExitEffectFailed) {}
};

/* "'path'" — how messages quote a file name. */
std::string quoteName(const std::string& text);

/* strerror(errnum) as a std::string. */
std::string systemMessage(int errnum);

} // namespace cfcli
