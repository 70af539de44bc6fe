// tavikctl sim profiles: the shipped unit profiles; a file that is no valid profile is named
// with the reason, and the others are listed all the same.
#include "cli.h"
#include "sim/profile_files.h"

namespace tavikctl {

void listProfiles(Context& ctx) {
    json doc = json::array();
    std::string text;
    for (const auto& p : tavik::sim::listShippedProfiles()) {
        if (!p.error.empty()) {
            doc.push_back({{"name", p.name}, {"file", p.file}, {"error", p.error}});
            std::cerr << "tavikctl: skipped " << p.error << '\n';
            continue;
        }
        doc.push_back({{"name", p.name}, {"file", p.file}, {"description", p.description}});
        text += p.name + ": " + p.description + "\n";
    }
    if (doc.empty()) text = "no profiles in " + tavik::sim::shippedProfileDirectory();
    emit(ctx, doc, text);
}

} // namespace tavikctl
