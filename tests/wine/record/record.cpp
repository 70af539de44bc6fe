// record_wtest's program: the record-and-replay test calls through Tavik2.dll (TAVIK_SIM and
// TAVIK_RECORD set by the script), their results written to the file named by argv[1].
#include <cstdio>

#include "shared/record_cases.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    FILE* f = std::fopen(argv[1], "wb");
    if (f == nullptr) return 2;
    std::fputs(tavik::test::record_cases::text(tavik::test::record_cases::run()).c_str(), f);
    return std::fclose(f) == 0 ? 0 : 2;
}
