/* Cleanup.cpp — the interrupt-time registry. The handler only reads slots whose state is kActive,
   which the registering thread sets after the slot's contents are complete. */
#include "common/Cleanup.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>

namespace cfcli::cleanup {

namespace {

/* Every signal whose default action ends the process and that a handler may catch: each one removes the
   temporaries before the process ends as it would have. */
constexpr int kCleanupSignals[] = {SIGINT,  SIGTERM,   SIGHUP,  SIGQUIT, SIGUSR1, SIGUSR2,
                                   SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGXFSZ};

enum State : int { kFree = 0, kBusy = 1, kActive = 2 };
enum Kind : int { kFile, kFolder };

struct Slot {
    std::atomic<int> state{kFree};
    Kind kind = kFile;
    std::atomic<long> count{0};
    char path[PATH_MAX] = {};
    char removedPath[PATH_MAX] = {}; /* folders: where the handler moves it before emptying it */
};

constexpr std::size_t kSlots = 32;

/* Process-wide by necessity: the signal handler has no other way to find it. */
std::array<Slot, kSlots>& slots()
{
    static std::array<Slot, kSlots> table;
    return table;
}

/* Decimal digits of n into buf (at least 24 bytes), without the C library. */
void formatNumber(long n, char* buf)
{
    char tmp[24];
    int len = 0;
    do {
        tmp[len++] = static_cast<char>('0' + n % 10);
        n /= 10;
    } while (n > 0 && len < 23);
    for (int i = 0; i < len; ++i) {
        buf[i] = tmp[len - 1 - i];
    }
    buf[len] = '\0';
}

void onSignal(int sig)
{
    for (Slot& s : slots()) {
        if (s.state.load() != kActive) {
            continue;
        }
        if (s.kind == kFile) {
            unlink(s.path);
        } else if (s.kind == kFolder) {
            /* Worker threads may still be creating frame files in it. Under a name they do not know they can
               add none; files they made before move along and go below. */
            const char* folder = rename(s.path, s.removedPath) == 0 ? s.removedPath : s.path;
            /* A file whose creation was already under way can land after its unlink: go round again. */
            for (int round = 0; round < 4; ++round) {
                const int dir = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                if (dir >= 0) {
                    const long n = s.count.load();
                    char name[24];
                    for (long i = 0; i < n; ++i) {
                        formatNumber(i, name);
                        unlinkat(dir, name, 0);
                    }
                    close(dir);
                }
                if (rmdir(folder) == 0 || errno != ENOTEMPTY) {
                    break;
                }
            }
        }
    }
    signal(sig, SIG_DFL);
    raise(sig);
}

int claim(Kind kind, const std::string& path)
{
    static constexpr char kRemovedSuffix[] = ".removed";
    if (path.size() + sizeof kRemovedSuffix > PATH_MAX) {
        return -1;
    }
    auto& table = slots();
    for (std::size_t i = 0; i < table.size(); ++i) {
        int expected = kFree;
        if (table[i].state.compare_exchange_strong(expected, kBusy)) {
            Slot& s = table[i];
            s.kind = kind;
            s.count.store(0);
            std::memcpy(s.path, path.c_str(), path.size() + 1);
            std::memcpy(s.removedPath, path.c_str(), path.size());
            std::memcpy(s.removedPath + path.size(), kRemovedSuffix, sizeof kRemovedSuffix);
            s.state.store(kActive);
            return static_cast<int>(i);
        }
    }
    return -1;
}

} // namespace

void installSignalHandlers()
{
    static const bool installed = [] {
        struct sigaction action {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        for (int sig : kCleanupSignals) {
            sigaction(sig, &action, nullptr);
        }
        signal(SIGPIPE, SIG_IGN);
        return true;
    }();
    (void)installed;
}

int addFile(const std::string& path)
{
    return claim(kFile, path);
}

int addFolder(const std::string& path)
{
    return claim(kFolder, path);
}

void setFolderCount(int slot, long count)
{
    if (slot >= 0) {
        slots()[static_cast<std::size_t>(slot)].count.store(count);
    }
}

void remove(int slot)
{
    if (slot >= 0) {
        slots()[static_cast<std::size_t>(slot)].state.store(kFree);
    }
}

InterruptsBlocked::InterruptsBlocked()
{
    sigset_t interrupts;
    sigemptyset(&interrupts);
    for (int sig : kCleanupSignals) {
        sigaddset(&interrupts, sig);
    }
    pthread_sigmask(SIG_BLOCK, &interrupts, &previous_);
}

InterruptsBlocked::~InterruptsBlocked()
{
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

} // namespace cfcli::cleanup
