/* Subprocess.cpp — spawning, piping and reaping child programs. */
#include "Subprocess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "Cleanup.h"
#include "Errors.h"

extern char** environ;

namespace cfcli {

namespace {

void closeFd(int& fd)
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

struct FileActions {
    posix_spawn_file_actions_t actions;
    FileActions() { posix_spawn_file_actions_init(&actions); }
    ~FileActions() { posix_spawn_file_actions_destroy(&actions); }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;
};

} // namespace

Subprocess::Subprocess(const std::vector<std::string>& argv, unsigned pipes) : program_(argv.at(0))
{
    /* Every descriptor of ours is close-on-exec, so one child never holds another's pipe open. */
    int in[2] = {-1, -1};
    int out[2] = {-1, -1};
    auto fail = [&](const std::string& what, int err) {
        for (int fd : {in[0], in[1], out[0], out[1], stderr_}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
        stderr_ = -1;
        throw UsageError("cannot run " + program_ + ": " + what + " (" + systemMessage(err) + ")");
    };
    stderr_ = ::memfd_create("child-stderr", MFD_CLOEXEC);
    if (stderr_ < 0) {
        fail("cannot capture its messages", errno);
    }
    if ((pipes & kStdin) && ::pipe2(in, O_CLOEXEC) != 0) {
        fail("cannot make a pipe", errno);
    }
    if ((pipes & kStdout) && ::pipe2(out, O_CLOEXEC) != 0) {
        fail("cannot make a pipe", errno);
    }

    FileActions fa;
    if (pipes & kStdin) {
        posix_spawn_file_actions_adddup2(&fa.actions, in[0], 0);
    } else {
        posix_spawn_file_actions_addopen(&fa.actions, 0, "/dev/null", O_RDONLY, 0);
    }
    if (pipes & kStdout) {
        posix_spawn_file_actions_adddup2(&fa.actions, out[1], 1);
    } else {
        posix_spawn_file_actions_addopen(&fa.actions, 1, "/dev/null", O_WRONLY, 0);
    }
    posix_spawn_file_actions_adddup2(&fa.actions, stderr_, 2);

    /* The child starts with default signal handling and SIGPIPE not ignored. */
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int sig : {SIGPIPE, SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&defaults, sig);
    }
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    const int rc = ::posix_spawnp(&pid_, program_.c_str(), &fa.actions, &attr, args.data(), environ);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        pid_ = -1;
        fail(rc == ENOENT ? "it is not installed or not on PATH" : "spawn failed", rc);
    }
    cleanupSlot_ = cleanup::addChild(pid_);
    closeFd(in[0]);
    closeFd(out[1]);
    stdin_ = in[1];
    stdout_ = out[0];
}

Subprocess::~Subprocess()
{
    if (pid_ > 0 && status_ < 0) {
        ::kill(pid_, SIGKILL);
    }
    wait();
    closeFd(stderr_);
}

bool Subprocess::writeInput(const void* data, std::size_t size)
{
    const auto* p = static_cast<const unsigned char*>(data);
    while (size > 0 && stdin_ >= 0) {
        const ssize_t n = ::write(stdin_, p, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return size == 0;
}

void Subprocess::closeInput()
{
    closeFd(stdin_);
}

std::size_t Subprocess::readOutput(void* data, std::size_t size)
{
    auto* p = static_cast<unsigned char*>(data);
    std::size_t got = 0;
    while (got < size && stdout_ >= 0) {
        const ssize_t n = ::read(stdout_, p + got, size - got);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    return got;
}

std::string Subprocess::readAllOutput()
{
    std::string text;
    char buf[4096];
    std::size_t n = 0;
    while ((n = readOutput(buf, sizeof buf)) > 0) {
        text.append(buf, n);
    }
    return text;
}

int Subprocess::wait()
{
    closeFd(stdin_);
    closeFd(stdout_);
    if (pid_ > 0 && status_ < 0) {
        int status = 0;
        pid_t r = 0;
        do {
            r = ::waitpid(pid_, &status, 0);
        } while (r < 0 && errno == EINTR);
        cleanup::remove(cleanupSlot_);
        cleanupSlot_ = -1;
        if (r < 0) {
            status_ = 127;
        } else if (WIFEXITED(status)) {
            status_ = WEXITSTATUS(status);
        } else {
            status_ = 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
        }
    }
    return status_ < 0 ? 0 : status_;
}

std::string Subprocess::errorText() const
{
    std::string text;
    if (stderr_ < 0) {
        return text;
    }
    char buf[4096];
    off_t offset = 0;
    ssize_t n = 0;
    while ((n = ::pread(stderr_, buf, sizeof buf, offset)) > 0) {
        text.append(buf, static_cast<std::size_t>(n));
        offset += n;
    }
    return text;
}

} // namespace cfcli
