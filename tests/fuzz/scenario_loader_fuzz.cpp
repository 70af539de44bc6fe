// Fuzz target: the scenario loader on arbitrary file contents. A bad file is refused with a
// ScenarioError naming the file; nothing else may escape, and an accepted file is well typed.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "sim_scenario.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tavikctl::scenario;
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        const Scenario s = parseScenario(text, "fuzz.yaml");
        if (s.name.empty() || s.steps.size() > kMaxSteps) std::abort();
        for (const Step& st : s.steps)
            if (st.line < 1 || st.durationMs < 0 || st.durationMs > kMaxDurationMs) std::abort();
    } catch (const ScenarioError& e) {
        if (std::string(e.what()).rfind("fuzz.yaml", 0) != 0 || e.line < 0) std::abort();
    }
    return 0;
}
