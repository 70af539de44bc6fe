// Test helper: reads the supervisor version N times through the library, as an application
// would; exits 0 when every read succeeded.
#include <cstdlib>

#include "tavik2/aux_version.h"

int main(int argc, char** argv) {
    const int n = argc > 1 ? std::atoi(argv[1]) : 10;
    int failures = 0;
    for (int i = 0; i < n; ++i) {
        Varnholtstad::AuxVersion* h = GetAuxVersion();
        uint8_t v[4];
        if (AuxVersion_getSSVersion(h, &v[0], &v[1], &v[2], &v[3]) != ERR_SUCCESS) ++failures;
        AuxVersion_release(h);
    }
    return failures == 0 ? 0 : 1;
}
