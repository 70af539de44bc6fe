// The registry of live handles: the handle value, its family and whether it is a shared object.
// Sharded by address so that calls on different objects from many threads rarely meet on one
// guard; each guard is held only for one table lookup.
#include <cstddef>
#include <cstdint>
#include <new>
#include <unordered_map>

#include "frame/handle.h"

namespace tavik::frame {
namespace {

struct Entry {
    Family family;
    bool shared;
};

struct Shard {
    std::atomic_flag busy = ATOMIC_FLAG_INIT;
    std::unordered_map<const void*, Entry> live;
};

constexpr std::size_t kShards = 64;

// Built in static storage and never destroyed: exports may still be called while the process's
// static objects are being torn down.
Shard* makeShards() {
    alignas(Shard) static unsigned char storage[sizeof(Shard) * kShards];
    Shard* shards = reinterpret_cast<Shard*>(storage);
    for (std::size_t i = 0; i < kShards; ++i) new (&shards[i]) Shard();
    return shards;
}

Shard& shardOf(const void* handle) {
    static Shard* const shards = makeShards();
    // Objects are at least 8-byte aligned: the low bits carry no information.
    const auto bits = reinterpret_cast<std::uintptr_t>(handle) >> 4;
    return shards[(bits ^ (bits >> 6)) % kShards];
}

} // namespace

bool registerHandle(Family family, const void* handle, bool shared) noexcept {
    if (handle == nullptr) return false;
    Shard& shard = shardOf(handle);
    SpinGuard guard(shard.busy);
    try {
        shard.live[handle] = Entry{family, shared};
    } catch (...) {
        return false;
    }
    return true;
}

bool checkHandle(Family family, const void* handle) noexcept {
    if (handle == nullptr) return false;
    Shard& shard = shardOf(handle);
    SpinGuard guard(shard.busy);
    const auto it = shard.live.find(handle);
    return it != shard.live.end() && it->second.family == family;
}

bool checkHandleForRelease(Family family, const void* handle) noexcept {
    if (handle == nullptr) return false;
    Shard& shard = shardOf(handle);
    SpinGuard guard(shard.busy);
    const auto it = shard.live.find(handle);
    if (it == shard.live.end() || it->second.family != family) return false;
    if (!it->second.shared) shard.live.erase(it);
    return true;
}

void unregisterHandle(const void* handle) noexcept {
    if (handle == nullptr) return;
    Shard& shard = shardOf(handle);
    SpinGuard guard(shard.busy);
    shard.live.erase(handle);
}

} // namespace tavik::frame
