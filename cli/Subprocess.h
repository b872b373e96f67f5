/* Subprocess.h — a child program started with posix_spawnp (no shell), with optional pipes to its
   standard input and from its standard output. Its standard error is captured in memory, out of the
   user's sight, so that a failure can be reported with the child's own last line. The child is killed
   if the object goes away while it still runs, and on an interrupt (see Cleanup.h). */
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

namespace cfcli {

class Subprocess {
public:
    enum Pipes : unsigned { kNone = 0, kStdin = 1, kStdout = 2 };

    /* Throws UsageError when the program cannot be started (for example, it is not installed). */
    Subprocess(const std::vector<std::string>& argv, unsigned pipes);
    Subprocess(const Subprocess&) = delete;
    Subprocess& operator=(const Subprocess&) = delete;
    ~Subprocess();

    /* Writes all bytes to the child's input; false when the child no longer reads (it exited). */
    bool writeInput(const void* data, std::size_t size);
    void closeInput();
    /* Reads up to `size` bytes, blocking until that many arrived or the output ended; returns the count. */
    std::size_t readOutput(void* data, std::size_t size);
    /* Reads the child's whole output until it closes it. */
    std::string readAllOutput();

    /* Closes the pipes, waits for the child and returns its exit code (128 + signal when killed). */
    int wait();

    /* What the child wrote to standard error so far. */
    std::string errorText() const;

    const std::string& program() const noexcept { return program_; }

private:
    std::string program_;
    pid_t pid_ = -1;
    int stdin_ = -1;
    int stdout_ = -1;
    int stderr_ = -1; /* an in-memory file */
    int cleanupSlot_ = -1;
    int status_ = -1;
};

} // namespace cfcli
