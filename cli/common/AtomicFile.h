/* AtomicFile.h — output that appears whole or not at all. A TempFile is written beside its final
   name (same folder, so the rename cannot cross file systems), synced, and renamed over the target on
   commit(); destroyed uncommitted (or on a signal) it is removed and any existing target is untouched.
   A target that is a symbolic link keeps it: the file it names is replaced. An existing file keeps its mode,
   and one this process may not write is refused.
   TempFolder does the same for a set of files (the frames of a sequence) that are renamed out of a
   hidden folder once all of them are complete, replacing the earlier set whole. */
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace cfcli {

class TempFile {
public:
    /* Creates ".NAME.tmp-XXXXXX.EXT" beside the file `target` names (through symbolic links); throws
       UsageError naming the target when that file may not be written, or its folder when the temporary
       cannot be created there. */
    explicit TempFile(const std::filesystem::path& target);
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile();

    const std::filesystem::path& path() const noexcept { return temp_; }
    const std::filesystem::path& target() const noexcept { return target_; }

    /* Appends bytes; throws UsageError naming the target (a full disk shows up here or in close()). */
    void write(const void* data, std::size_t size);
    /* Syncs and closes the file. Call it before another program writes the file by name. */
    void close();
    /* Syncs what is at the temporary name (also when another program wrote it), renames it over the
       target and syncs the folder. */
    void commit();

private:
    void fail(const std::string& what, int errnum) const;

    std::filesystem::path target_; // as the user named it
    std::filesystem::path file_;   // the file it names, which commit() replaces
    std::filesystem::path temp_;
    int fd_ = -1;
    int cleanupSlot_ = -1;
    bool synced_ = false;
    bool committed_ = false;
};

class TempFolder {
public:
    /* Creates a hidden folder ".NAME.tmp-XXXXXX" beside `anchor` (a target path, used for its folder
       and name). */
    explicit TempFolder(const std::filesystem::path& anchor);
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder();

    /* Records the next file's final name and returns the temporary name to write it at (with writeFile(), from
       any thread) before commit(). */
    std::filesystem::path reserve(const std::filesystem::path& target);
    /* Writes and syncs one file; throws UsageError naming `target` at the first write that fails. */
    static void writeFile(const std::filesystem::path& file, const std::vector<unsigned char>& bytes,
                          const std::filesystem::path& target);
    std::size_t size() const noexcept { return targets_.size(); }
    /* Puts every file at its target and removes the `stale` files (frames of an earlier, longer sequence),
       all or nothing: interrupts wait until it is done, and a failure part way puts every earlier file back
       (UsageError). */
    void commit(const std::vector<std::filesystem::path>& stale = {});

private:
    std::filesystem::path folder_;
    std::vector<std::filesystem::path> targets_;
    int cleanupSlot_ = -1;
    bool committed_ = false;
};

/* Writes `bytes` to `target` through a TempFile. */
void writeFileAtomically(const std::filesystem::path& target, const std::vector<unsigned char>& bytes);

/* Throws UsageError when `out` is the file `in` (through any path or link), which writing would replace. */
void refuseOverwriting(const std::filesystem::path& in, const std::filesystem::path& out);

} // namespace cfcli
