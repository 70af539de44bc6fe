// Runs the record-and-replay test calls (tests/shared/record_cases.h) through libtavik2.so and
// prints their results, one "name value" a line; the wine test compares them with the DLL's.
#include <cstdio>

#include "tests/shared/record_cases.h"

int main() {
    std::fputs(tavik::test::record_cases::text(tavik::test::record_cases::run()).c_str(), stdout);
    return 0;
}
