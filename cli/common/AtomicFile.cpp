/* AtomicFile.cpp — temporary names, syncing and renaming for output files. */
#include "common/AtomicFile.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "common/Cleanup.h"
#include "common/Errors.h"

namespace fs = std::filesystem;

namespace cfcli {

namespace {

fs::path folderOf(const fs::path& target)
{
    const fs::path parent = target.parent_path();
    return parent.empty() ? fs::path(".") : parent;
}

std::string folderText(const fs::path& target)
{
    return quoteName(folderOf(target).string());
}

/* Syncs the folder so that a rename survives a crash; folders that refuse fsync are left as they are. */
void syncFolder(const fs::path& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool writeAll(int fd, const void* data, std::size_t size, int& errnum)
{
    const auto* p = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            errnum = errno;
            return false;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

/* The process's file-creation mask, read without changing it (umask() can only be read by setting it). */
mode_t currentUmask()
{
    if (FILE* f = std::fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned mask = 0;
        bool found = false;
        while (!found && std::fgets(line, sizeof line, f) != nullptr) {
            found = std::sscanf(line, "Umask: %o", &mask) == 1;
        }
        std::fclose(f);
        if (found) {
            return static_cast<mode_t>(mask);
        }
    }
    return 022;
}

/* The file that writing to `target` in place would write: through symbolic links (a chain of them, each
   relative to its own folder) to the path they name, which need not exist yet. */
fs::path fileBehind(const fs::path& target)
{
    fs::path path = target;
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(path, ec))) {
            return path;
        }
        const fs::path next = fs::read_symlink(path, ec);
        if (ec) {
            return path;
        }
        path = next.is_absolute() ? next : folderOf(path) / next;
    }
    return path;
}

} // namespace

TempFile::TempFile(const fs::path& target) : target_(target), file_(fileBehind(target))
{
    // Replacing a file must not do what writing it in place could not: a file the user may not write is
    // refused, and one that exists keeps its mode (and, where this process may set them, its owners).
    struct stat existing {};
    const bool exists = ::stat(file_.c_str(), &existing) == 0 && S_ISREG(existing.st_mode);
    if (exists && ::faccessat(AT_FDCWD, file_.c_str(), W_OK, AT_EACCESS) != 0) {
        const int err = errno;
        throw UsageError("cannot write " + quoteName(target.string()) + ": " + systemMessage(err));
    }
    const std::string ext = file_.extension().string();
    std::string pattern = (folderOf(file_) / ("." + file_.stem().string() + ".tmp-XXXXXX" + ext)).string();
    fd_ = ::mkostemps(pattern.data(), static_cast<int>(ext.size()), O_CLOEXEC);
    if (fd_ < 0) {
        const int err = errno;
        throw UsageError("cannot write " + quoteName(target.string()) + ": cannot create a file in " +
                         folderText(file_) + " (" + systemMessage(err) + ")");
    }
    temp_ = pattern;
    cleanupSlot_ = cleanup::addFile(temp_.string());
    /* mkstemps makes the file private; the finished output gets the mode of the file it replaces, else the
       permissions of any new file. */
    if (exists) {
        (void)::fchown(fd_, existing.st_uid, existing.st_gid);
        ::fchmod(fd_, existing.st_mode & 07777);
    } else {
        ::fchmod(fd_, static_cast<mode_t>(0666 & ~currentUmask()));
    }
}

TempFile::~TempFile()
{
    if (fd_ >= 0) {
        ::close(fd_);
    }
    if (!committed_) {
        ::unlink(temp_.c_str());
    }
    cleanup::remove(cleanupSlot_);
}

void TempFile::fail(const std::string& what, int errnum) const
{
    throw UsageError("cannot write " + quoteName(target_.string()) + ": " + what + " (" + systemMessage(errnum) + ")");
}

void TempFile::write(const void* data, std::size_t size)
{
    int err = 0;
    if (fd_ < 0) {
        fail("file already closed", EBADF);
    }
    if (!writeAll(fd_, data, size, err)) {
        fail("write failed", err);
    }
}

void TempFile::close()
{
    if (fd_ < 0) {
        return;
    }
    const int fd = fd_;
    fd_ = -1;
    if (::fsync(fd) != 0) {
        const int err = errno;
        ::close(fd);
        fail("sync failed", err);
    }
    if (::close(fd) != 0) {
        fail("close failed", errno);
    }
    synced_ = true;
}

void TempFile::commit()
{
    if (fd_ >= 0) {
        close();
    } else if (!synced_) {
        const int fd = ::open(temp_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            fail("the temporary file vanished", errno);
        }
        const int rc = ::fsync(fd);
        const int err = errno;
        ::close(fd);
        if (rc != 0) {
            fail("sync failed", err);
        }
        synced_ = true;
    }
    if (::rename(temp_.c_str(), file_.c_str()) != 0) {
        fail("rename failed", errno);
    }
    committed_ = true;
    cleanup::remove(cleanupSlot_);
    cleanupSlot_ = -1;
    syncFolder(folderOf(file_));
}

TempFolder::TempFolder(const fs::path& anchor)
{
    std::string pattern = (folderOf(anchor) / ("." + anchor.stem().string() + ".tmp-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        const int err = errno;
        throw UsageError("cannot write " + quoteName(anchor.string()) + ": cannot create a folder in " +
                         folderText(anchor) + " (" + systemMessage(err) + ")");
    }
    folder_ = pattern;
    cleanupSlot_ = cleanup::addFolder(folder_.string());
}

TempFolder::~TempFolder()
{
    if (!committed_) {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    cleanup::remove(cleanupSlot_);
}

fs::path TempFolder::reserve(const fs::path& target)
{
    const fs::path file = folder_ / std::to_string(targets_.size());
    /* Counted before the file exists, so that an interrupt in between still removes it. */
    cleanup::setFolderCount(cleanupSlot_, static_cast<long>(targets_.size() + 1));
    targets_.push_back(target);
    return file;
}

void TempFolder::writeFile(const fs::path& file, const std::vector<unsigned char>& bytes, const fs::path& target)
{
    auto fail = [&](const char* what, int err) {
        throw UsageError("cannot write " + quoteName(target.string()) + ": " + what + " (" + systemMessage(err) + ")");
    };
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        fail("cannot create a temporary file", errno);
    }
    int err = 0;
    if (!writeAll(fd, bytes.data(), bytes.size(), err)) {
        ::close(fd);
        fail("write failed", err);
    }
    if (::fsync(fd) != 0) {
        err = errno;
        ::close(fd);
        fail("sync failed", err);
    }
    if (::close(fd) != 0) {
        fail("close failed", errno);
    }
}

void TempFolder::commit(const std::vector<fs::path>& stale)
{
    /* An interrupt now waits until one whole sequence stands: the earlier frames are set aside first, so that
       a failure part way puts every one of them back. */
    const cleanup::InterruptsBlocked blocked;
    const fs::path aside = folder_ / "earlier";
    std::vector<std::pair<fs::path, fs::path>> setAside; // (its name, where it waits)
    std::size_t placed = 0;
    try {
        if (::mkdir(aside.c_str(), 0700) != 0) {
            const int err = errno;
            throw UsageError("cannot write " + quoteName(targets_.empty() ? folder_.string() : targets_[0].string()) +
                             ": cannot create a folder in " + quoteName(folder_.string()) + " (" + systemMessage(err) +
                             ")");
        }
        auto moveAside = [&](const fs::path& target) {
            struct stat st {};
            if (::lstat(target.c_str(), &st) != 0 && errno == ENOENT) {
                return;
            }
            /* recorded before the move, so that whatever is thrown after it still puts the file back */
            setAside.emplace_back(target, aside / std::to_string(setAside.size()));
            if (::rename(target.c_str(), setAside.back().second.c_str()) != 0) {
                const int err = errno;
                setAside.pop_back();
                throw UsageError("cannot write " + quoteName(target.string()) + ": cannot replace the earlier file (" +
                                 systemMessage(err) + ")");
            }
        };
        for (const fs::path& target : targets_) {
            moveAside(target);
        }
        for (const fs::path& file : stale) {
            moveAside(file);
        }
        for (; placed < targets_.size(); ++placed) {
            const fs::path file = folder_ / std::to_string(placed);
            if (::rename(file.c_str(), targets_[placed].c_str()) != 0) {
                const int err = errno;
                throw UsageError("cannot write " + quoteName(targets_[placed].string()) + ": rename failed (" +
                                 systemMessage(err) + ")");
            }
        }
    } catch (...) {
        /* new frames back into the folder, earlier ones to their names (the folder goes with this object) */
        for (std::size_t i = placed; i-- > 0;) {
            ::rename(targets_[i].c_str(), (folder_ / std::to_string(i)).c_str());
        }
        for (auto it = setAside.rbegin(); it != setAside.rend(); ++it) {
            ::rename(it->second.c_str(), it->first.c_str());
        }
        ::rmdir(aside.c_str());
        try {
            throw;
        } catch (const UsageError& e) {
            throw UsageError(std::string(e.what()) + "; nothing was replaced");
        }
    }
    committed_ = true;
    std::error_code ignored;
    fs::remove_all(aside, ignored);
    fs::remove(folder_, ignored);
    cleanup::remove(cleanupSlot_);
    cleanupSlot_ = -1;
    if (!targets_.empty()) {
        syncFolder(folderOf(targets_.front()));
    }
}

void writeFileAtomically(const fs::path& target, const std::vector<unsigned char>& bytes)
{
    TempFile file(target);
    file.write(bytes.data(), bytes.size());
    file.commit();
}

void refuseOverwriting(const std::filesystem::path& in, const std::filesystem::path& out)
{
    std::error_code ec;
    if (std::filesystem::equivalent(in, out, ec) && !ec) {
        throw UsageError("cannot write " + quoteName(out.string()) + ": it is the input " + quoteName(in.string()) +
                         "; name another output");
    }
}

} // namespace cfcli
