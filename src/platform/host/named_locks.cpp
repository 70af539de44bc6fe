#include "platform/host/named_locks.h"

#include <fcntl.h>
#include <linux/futex.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <semaphore.h>

#include "platform/host/time_scale.h"
#include "sim/unit.h"

namespace fs = std::filesystem;

namespace tavik::platform::host {
namespace {

constexpr uint32_t kMagic = 0x4B4C5654; // "TVLK"
constexpr int kSlots = 240;
// Byte i of this range is locked by the process owning slot i for as long as it lives.
constexpr off_t kAliveBase = 4096;

struct Slot {
    uint32_t pid;    // 0: free
    int32_t taken;   // counts this process holds
    int64_t sinceUs; // when it last took one
};

// The mapped file. Every field but `generation` changes only under the guard.
struct State {
    uint32_t magic;
    int32_t count;
    int32_t maximum;
    uint32_t generation; // bumped at every release; waiters sleep on it
    char name[240];
    Slot slots[kSlots];
};
static_assert(sizeof(State) == 4096, "one page");

int64_t nowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Open-file-description locks: owned by the open file, dropped by the kernel when the last
// descriptor of it closes, also when the process is killed.
bool ofdLock(int fd, off_t at, short type, bool wait) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = at;
    fl.l_len = 1;
    for (;;) {
        if (::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &fl) == 0) return true;
        if (errno != EINTR) return false;
    }
}

// Whether another open file holds the alive byte of slot i.
bool slotAlive(int fd, int i) {
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = kAliveBase + i;
    fl.l_len = 1;
    if (::fcntl(fd, F_OFD_GETLK, &fl) != 0) return true; // cannot tell: keep it
    return fl.l_type != F_UNLCK;
}

// Gives back what dead processes held. `own` is the caller's slot (its own lock does not show).
void recoverDead(State& s, int fd, int own) {
    for (int i = 0; i < kSlots; ++i) {
        Slot& slot = s.slots[i];
        if (slot.pid == 0 || i == own || slotAlive(fd, i)) continue;
        s.count = std::min(s.maximum, s.count + std::max(slot.taken, 0));
        slot = Slot{};
    }
}

void futexWait(uint32_t* word, uint32_t seen, int64_t timeoutUs) {
    timespec ts{static_cast<time_t>(timeoutUs / 1000000), static_cast<long>(timeoutUs % 1000000) * 1000};
    ::syscall(SYS_futex, word, FUTEX_WAIT, seen, &ts, nullptr, 0);
}

void futexWakeAll(uint32_t* word) { ::syscall(SYS_futex, word, FUTEX_WAKE, INT_MAX, nullptr, nullptr, 0); }

std::string lockDirectory() { return sim::homeDirectory() + "/sim/locks"; }

// Names such as "Global\TAVIK_..." as file names.
std::string fileNameOf(const std::string& name) {
    std::string file;
    for (char c : name) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                           c == '_' || c == '-' || c == '.';
        file.push_back(plain ? c : '_');
    }
    if (file.empty() || file[0] == '.') file.insert(0, "_");
    return file;
}

// A lock file opened and mapped, with its guard held; the guard is given back on destruction.
struct Mapped {
    int fd = -1;
    State* state = nullptr;
    bool guarded = false;

    Mapped() = default;
    Mapped(const Mapped&) = delete;
    Mapped& operator=(const Mapped&) = delete;
    Mapped(Mapped&& o) noexcept : fd(o.fd), state(o.state), guarded(o.guarded) {
        o.fd = -1;
        o.state = nullptr;
        o.guarded = false;
    }
    Mapped& operator=(Mapped&& o) noexcept {
        if (this != &o) {
            close();
            std::swap(fd, o.fd);
            std::swap(state, o.state);
            std::swap(guarded, o.guarded);
        }
        return *this;
    }
    ~Mapped() { close(); }
    void close() {
        unguard();
        if (state != nullptr) ::munmap(state, sizeof(State));
        if (fd >= 0) ::close(fd);
        state = nullptr;
        fd = -1;
    }
    void unguard() {
        if (guarded) ofdLock(fd, 0, F_UNLCK, false);
        guarded = false;
    }
};

// Opens `path` (creating it when `create`), takes its guard and maps it. A file that was
// removed between the open and the guard is opened again.
bool openMapped(const std::string& path, bool create, Mapped& m) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        Mapped fresh;
        fresh.fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0666);
        if (fresh.fd < 0) return false;
        if (!ofdLock(fresh.fd, 0, F_WRLCK, true)) return false;
        fresh.guarded = true;
        struct stat st {};
        if (::fstat(fresh.fd, &st) != 0) return false;
        if (st.st_nlink == 0) continue;
        if (st.st_size < static_cast<off_t>(sizeof(State))) {
            // Allocated, not only sized: the first write through the map of a sparse file would
            // raise SIGBUS on a full disk instead of failing here.
            if (!create || ::posix_fallocate(fresh.fd, 0, sizeof(State)) != 0) return false;
        }
        void* p = ::mmap(nullptr, sizeof(State), PROT_READ | PROT_WRITE, MAP_SHARED, fresh.fd, 0);
        if (p == MAP_FAILED) return false;
        fresh.state = static_cast<State*>(p);
        m = std::move(fresh);
        return true;
    }
    return false;
}

} // namespace

class NamedLock {
public:
    std::string path;
    Mapped file; // guard not held between calls
    int slot = -1;
    int handles = 0;
    std::mutex threads; // the guard among this process's threads (they share one open file)

    State& state() { return *file.state; }

    // Holds the guard for a scope.
    class Guard {
    public:
        explicit Guard(NamedLock& l) : l_(l), lock_(l.threads) {
            ok_ = ofdLock(l_.file.fd, 0, F_WRLCK, true);
        }
        ~Guard() {
            if (ok_) ofdLock(l_.file.fd, 0, F_UNLCK, false);
        }
        bool ok() const { return ok_; }

    private:
        NamedLock& l_;
        std::lock_guard<std::mutex> lock_;
        bool ok_ = false;
    };

    // Claims a slot for this process (guard held); without a free slot the process's counts are
    // simply not attributed.
    void claimSlot() {
        recoverDead(state(), file.fd, -1);
        for (int i = 0; i < kSlots; ++i) {
            if (state().slots[i].pid != 0) continue;
            if (!ofdLock(file.fd, kAliveBase + i, F_WRLCK, false)) continue;
            state().slots[i] = Slot{static_cast<uint32_t>(::getpid()), 0, 0};
            slot = i;
            return;
        }
    }

    void freeSlot() {
        if (slot < 0) return;
        state().slots[slot] = Slot{};
        ofdLock(file.fd, kAliveBase + slot, F_UNLCK, false);
        slot = -1;
    }
};

namespace {

std::mutex& tableMutex() {
    static std::mutex m;
    return m;
}

// The process's open locks by file path: one open file (and one slot) per lock and process.
std::map<std::string, NamedLock*>& table() {
    static auto* t = new std::map<std::string, NamedLock*>();
    return *t;
}

} // namespace

NamedLock* openNamedLock(const std::string& name, int32_t initialCount, int32_t maximumCount) {
    try {
        const std::string dir = lockDirectory();
        const std::string path = dir + "/" + fileNameOf(name);
        std::lock_guard<std::mutex> guard(tableMutex());
        if (auto it = table().find(path); it != table().end()) {
            ++it->second->handles;
            return it->second;
        }
        std::error_code ec;
        fs::create_directories(dir, ec);
        auto lock = std::make_unique<NamedLock>();
        lock->path = path;
        if (!openMapped(path, true, lock->file)) return nullptr;
        State& s = lock->state();
        if (s.magic != kMagic) {
            std::memset(&s, 0, sizeof s);
            s.count = initialCount;
            s.maximum = maximumCount;
            std::strncpy(s.name, name.c_str(), sizeof s.name - 1);
            s.magic = kMagic;
        }
        lock->claimSlot();
        lock->file.unguard();
        lock->handles = 1;
        table()[path] = lock.get();
        return lock.release();
    } catch (...) {
        return nullptr;
    }
}

WaitResult waitNamedLock(NamedLock* lock, uint64_t timeoutUs, bool forever) {
    const auto start = std::chrono::steady_clock::now();
    uint32_t* generation = &lock->state().generation;
    for (;;) {
        const uint32_t seen = __atomic_load_n(generation, __ATOMIC_ACQUIRE);
        {
            NamedLock::Guard guard(*lock);
            if (!guard.ok()) return WaitResult::Failed;
            State& s = lock->state();
            if (s.count <= 0) recoverDead(s, lock->file.fd, lock->slot);
            if (s.count > 0) {
                --s.count;
                if (lock->slot >= 0) {
                    ++s.slots[lock->slot].taken;
                    s.slots[lock->slot].sinceUs = nowUs();
                }
                return WaitResult::Signaled;
            }
        }
        int64_t sleepUs = 5000; // a dead holder wakes nobody: look again after this long
        if (!forever) {
            const auto waited = std::chrono::duration_cast<std::chrono::microseconds>(
                                    std::chrono::steady_clock::now() - start)
                                    .count();
            if (static_cast<uint64_t>(waited) >= timeoutUs) return WaitResult::Timeout;
            sleepUs = std::min<int64_t>(sleepUs, static_cast<int64_t>(timeoutUs) - waited);
        }
        futexWait(generation, seen, sleepUs);
    }
}

bool releaseNamedLock(NamedLock* lock, int32_t count) {
    {
        NamedLock::Guard guard(*lock);
        if (!guard.ok()) return false;
        State& s = lock->state();
        recoverDead(s, lock->file.fd, lock->slot);
        if (count <= 0 || s.count + count > s.maximum) return false;
        s.count += count;
        // The counts given back are this process's first, then (a release by another process,
        // as of a wake-up semaphore) those of the others, so that no count is given back twice.
        int32_t excess = s.count - s.maximum;
        for (int i = 0; i < kSlots; ++i) excess += std::max(s.slots[i].taken, 0);
        auto giveBack = [&](Slot& slot) {
            const int32_t n = std::min(excess, std::max(slot.taken, 0));
            slot.taken -= n;
            excess -= n;
        };
        if (lock->slot >= 0) giveBack(s.slots[lock->slot]);
        for (int i = 0; i < kSlots && excess > 0; ++i) giveBack(s.slots[i]);
        __atomic_fetch_add(&s.generation, 1, __ATOMIC_RELEASE);
    }
    futexWakeAll(&lock->state().generation);
    return true;
}

void closeNamedLock(NamedLock* lock) {
    std::lock_guard<std::mutex> guard(tableMutex());
    if (--lock->handles > 0) return;
    {
        NamedLock::Guard g(*lock);
        // Counts still held stay with this process, as they would on Windows while the
        // semaphore lives; its slot (and open file) stays until the process ends.
        if (lock->slot >= 0 && lock->state().slots[lock->slot].taken > 0) return;
        lock->freeSlot();
    }
    table().erase(lock->path);
    delete lock;
}

std::vector<NamedLockInfo> listNamedLocks() {
    std::vector<NamedLockInfo> locks;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(lockDirectory(), ec)) {
        Mapped m;
        if (!openMapped(entry.path().string(), false, m) || m.state->magic != kMagic) continue;
        State& s = *m.state;
        recoverDead(s, m.fd, -1);
        NamedLockInfo info;
        info.name.assign(s.name, strnlen(s.name, sizeof s.name));
        info.count = s.count;
        info.maximum = s.maximum;
        for (const Slot& slot : s.slots)
            if (slot.pid != 0 && slot.taken > 0) info.holders.push_back({slot.pid, slot.taken, slot.sinceUs});
        locks.push_back(std::move(info));
    }
    std::sort(locks.begin(), locks.end(),
              [](const NamedLockInfo& a, const NamedLockInfo& b) { return a.name < b.name; });
    return locks;
}

void removeNamedSemaphores() {
    std::error_code ec;
    // Lock files nobody alive uses; one still in use stays (removing it would break the lock
    // under the processes that hold or wait for it).
    for (const auto& entry : fs::directory_iterator(lockDirectory(), ec)) {
        Mapped m;
        if (!openMapped(entry.path().string(), false, m)) continue;
        bool used = false;
        if (m.state->magic == kMagic) {
            recoverDead(*m.state, m.fd, -1);
            for (const Slot& slot : m.state->slots) used = used || slot.pid != 0;
        }
        if (!used) ::unlink(entry.path().c_str());
    }
    // POSIX semaphores that earlier builds kept for this home in /dev/shm.
    const std::size_t home = std::hash<std::string>{}(sim::homeDirectory());
    const std::string prefix = "sem.tavik." + std::to_string(home % 1000000007u) + ".";
    for (const auto& entry : fs::directory_iterator("/dev/shm", ec)) {
        const std::string file = entry.path().filename().string();
        if (file.compare(0, prefix.size(), prefix) == 0) sem_unlink(("/" + file.substr(4)).c_str());
    }
}

} // namespace tavik::platform::host
