// Test helper: N transactions on the simulated unit, each adding 1 to the "writer" document's
// counter and logging one entry; prints the counter after each commit (flushed), so a parent
// that kills it knows what was committed.
#include <cstdio>
#include <cstdlib>

#include "sim/unit.h"

int main(int argc, char** argv) {
    const long n = argc > 1 ? std::atol(argv[1]) : 100;
    using namespace tavik::sim;
    for (long i = 0; i < n; ++i) {
        int64_t now = 0;
        Unit::instance().transact([&](Txn& txn) {
            json& d = txn.edit("writer");
            now = d.value("count", int64_t{0}) + 1;
            d["count"] = now;
            std::vector<uint8_t> bytes(16, static_cast<uint8_t>(now));
            txn.blobWrite("writer.memory", uint64_t(now % 64) * 16, bytes.data(), bytes.size());
            LogEntry e;
            e.target = "writer";
            e.code = 1;
            e.in = bytes;
            Unit::instance().appendLog(txn, std::move(e));
        });
        std::printf("%lld\n", static_cast<long long>(now));
        std::fflush(stdout);
    }
    return 0;
}
