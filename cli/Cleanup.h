/* Cleanup.h — what must vanish if the command is interrupted: temporary files, temporary folders of
   numbered files, and child processes that write into them. On SIGINT, SIGTERM or SIGHUP the handler
   kills and reaps the children, removes the temporaries and dies of the same signal.

   A signal handler can only reach process-wide state, so this is the one registry of its kind; entries
   live in fixed slots and the handler uses async-signal-safe calls only. Register from the main thread:
   the host's worker threads block these signals (EffectSession), so the handler runs on the main thread
   and nothing of ours creates files while it removes them. A SIGKILL cannot be caught; its temporaries
   keep their hidden ".NAME.tmp-" names. */
#pragma once

#include <sys/types.h>

#include <string>

namespace cfcli::cleanup {

/* Installs the handlers (once) and ignores SIGPIPE, so writes to a dead child fail with EPIPE. */
void installSignalHandlers();

/* A slot number, or -1 when every slot is taken (the temporary then is not removed on a signal). */
int addFile(const std::string& path);
/* A folder holding files named 0, 1, ..., count − 1 (count set through setFolderCount). */
int addFolder(const std::string& path);
void setFolderCount(int slot, long count);
int addChild(pid_t pid);
void remove(int slot); /* forget the entry; -1 is ignored */

} // namespace cfcli::cleanup
