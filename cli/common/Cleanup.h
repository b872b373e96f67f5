/* Cleanup.h — what must vanish if the command is interrupted: temporary files and temporary folders of
   numbered files. On SIGINT, SIGTERM or SIGHUP the handler removes the temporaries and dies of the same
   signal.

   A signal handler can only reach process-wide state, so this is the one registry of its kind; entries
   live in fixed slots and the handler uses async-signal-safe calls only. Register from the main thread:
   every other thread (the host's workers, the pipeline's, FFmpeg's codec threads) is started with these
   signals blocked (InterruptsBlocked), so the handler runs on the main thread. A SIGKILL cannot be caught; its temporaries
   keep their hidden ".NAME.tmp-" names. */
#pragma once

#include <signal.h>

#include <string>

namespace cfcli::cleanup {

/* Installs the handlers (once) and ignores SIGPIPE, so writes to a closed pipe fail with EPIPE. */
void installSignalHandlers();

/* A slot number, or -1 when every slot is taken (the temporary then is not removed on a signal). */
int addFile(const std::string& path);
/* A folder holding files named 0, 1, ..., count − 1 (count set through setFolderCount). */
int addFolder(const std::string& path);
void setFolderCount(int slot, long count);
void remove(int slot); /* forget the entry; -1 is ignored */

/* While one lives, the calling thread (and every thread it starts) does not take the interrupt signals. */
class InterruptsBlocked {
public:
    InterruptsBlocked();
    ~InterruptsBlocked();
    InterruptsBlocked(const InterruptsBlocked&) = delete;
    InterruptsBlocked& operator=(const InterruptsBlocked&) = delete;

private:
    sigset_t previous_;
};

} // namespace cfcli::cleanup
