/* HandleTable.h — host memory handles. A handle points at a master pointer that the host keeps in a
   record of its own; *handle is the data. Resizing moves the data (never the handle), so code that keeps
   a stale data pointer fails visibly. Every handle is looked up before use: a foreign, stale or
   disposed handle is refused, never dereferenced. */
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <unordered_map>

#include "AE_Effect.h"

namespace cfhost::detail {

class HandleTable {
public:
    /* Byte written into fresh effect-allocated blocks: their contents are undefined, as in a real host. */
    static constexpr unsigned char kFreshByte = 0xCD;
    /* Larger requests fail like an exhausted heap instead of reaching the allocator. */
    static constexpr std::size_t kMaxSize = std::size_t{1} << 40;

    HandleTable() = default;
    HandleTable(const HandleTable&) = delete;
    HandleTable& operator=(const HandleTable&) = delete;
    ~HandleTable();

    /* null when memory runs out; zeroFill false fills with kFreshByte */
    PF_Handle allocate(std::size_t size, bool zeroFill) noexcept;
    bool owns(PF_Handle handle) const noexcept;
    bool dispose(PF_Handle handle) noexcept;
    std::optional<std::size_t> size(PF_Handle handle) const noexcept;
    void* lock(PF_Handle handle) noexcept;   /* the data, or null for an unknown handle */
    bool unlock(PF_Handle handle) noexcept;  /* false for an unknown or unlocked handle */
    enum class Resize { Done, UnknownHandle, OutOfMemory };
    Resize resize(PF_Handle handle, std::size_t newSize) noexcept;
    long live() const noexcept;

private:
    using Master = std::remove_pointer_t<PF_Handle>; /* char* or void* depending on the platform */
    struct Record {
        Master master = nullptr; /* the handle is the address of this member */
        std::unique_ptr<unsigned char[]> data;
        std::size_t size = 0;
        unsigned locks = 0;
    };

    static std::unique_ptr<unsigned char[]> newData(std::size_t size) noexcept;
    Record* find(PF_Handle handle) const noexcept; /* caller holds mutex_ */

    mutable std::mutex mutex_;
    std::unordered_map<PF_Handle, std::unique_ptr<Record>> records_;
};

} // namespace cfhost::detail
