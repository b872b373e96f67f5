/* HandleTable.cpp — allocation, lookup and resizing of host memory handles. */
#include "HandleTable.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace cfhost::detail {

HandleTable::~HandleTable() = default;

std::unique_ptr<unsigned char[]> HandleTable::newData(std::size_t size) noexcept
{
    if (size > kMaxSize) {
        return nullptr;
    }
    return std::unique_ptr<unsigned char[]>(new (std::nothrow) unsigned char[std::max<std::size_t>(size, 1)]);
}

PF_Handle HandleTable::allocate(std::size_t size, bool zeroFill) noexcept
{
    auto data = newData(size);
    auto record = std::unique_ptr<Record>(new (std::nothrow) Record);
    if (!data || !record) {
        return nullptr;
    }
    std::memset(data.get(), zeroFill ? 0 : kFreshByte, size);
    record->master = reinterpret_cast<Master>(data.get());
    record->data = std::move(data);
    record->size = size;
    auto handle = reinterpret_cast<PF_Handle>(&record->master);
    try {
        std::lock_guard<std::mutex> lock(mutex_);
        records_.emplace(handle, std::move(record));
    } catch (...) {
        return nullptr;
    }
    return handle;
}

HandleTable::Record* HandleTable::find(PF_Handle handle) const noexcept
{
    const auto it = records_.find(handle);
    return it == records_.end() ? nullptr : it->second.get();
}

bool HandleTable::owns(PF_Handle handle) const noexcept
{
    std::lock_guard<std::mutex> lock(mutex_);
    return find(handle) != nullptr;
}

bool HandleTable::dispose(PF_Handle handle) noexcept
{
    std::unique_ptr<Record> doomed;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = records_.find(handle);
        if (it == records_.end()) {
            return false;
        }
        doomed = std::move(it->second);
        records_.erase(it);
    }
    return true;
}

std::optional<std::size_t> HandleTable::size(PF_Handle handle) const noexcept
{
    std::lock_guard<std::mutex> lock(mutex_);
    const Record* record = find(handle);
    return record != nullptr ? std::optional<std::size_t>(record->size) : std::nullopt;
}

void* HandleTable::lock(PF_Handle handle) noexcept
{
    std::lock_guard<std::mutex> lock(mutex_);
    Record* record = find(handle);
    if (record == nullptr) {
        return nullptr;
    }
    ++record->locks;
    return record->data.get();
}

bool HandleTable::unlock(PF_Handle handle) noexcept
{
    std::lock_guard<std::mutex> lock(mutex_);
    Record* record = find(handle);
    if (record == nullptr || record->locks == 0) {
        return false;
    }
    --record->locks;
    return true;
}

HandleTable::Resize HandleTable::resize(PF_Handle handle, std::size_t newSize) noexcept
{
    std::lock_guard<std::mutex> lock(mutex_);
    Record* record = find(handle);
    if (record == nullptr) {
        return Resize::UnknownHandle;
    }
    auto data = newData(newSize);
    if (!data) {
        return Resize::OutOfMemory;
    }
    const auto kept = std::min(record->size, newSize);
    std::memcpy(data.get(), record->data.get(), kept);
    std::memset(data.get() + kept, 0, newSize - kept);
    record->data = std::move(data);
    record->master = reinterpret_cast<Master>(record->data.get());
    record->size = newSize;
    return Resize::Done;
}

long HandleTable::live() const noexcept
{
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<long>(records_.size());
}

} // namespace cfhost::detail
