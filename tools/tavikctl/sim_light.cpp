// tavikctl sim light: the ambient light the simulated sensor sees, fixed or as a script of
// "seconds lux" lines played in the unit's time.
#include "cli.h"

#include <fstream>
#include <sstream>

#include "sim/lighting_model.h"

namespace tavikctl {
namespace sim_light_cmd {

namespace sim = tavik::sim;

void setLight(Context& ctx, double lux, const std::string& script) {
    if (!script.empty()) {
        std::ifstream in(script);
        if (!in) throw std::runtime_error("cannot read " + script);
        std::ostringstream text;
        text << in.rdbuf();
        json points;
        std::string error;
        if (!sim::parseLightScript(text.str(), points, error)) throw std::runtime_error(script + ": " + error);
        sim::startLightScript(points);
        emit(ctx, json{{"script", points}}, "playing " + std::to_string(points.size()) + " points from " + script);
    } else if (lux >= 0) {
        sim::setAmbientLight(lux);
        emit(ctx, json{{"lux", lux}}, "ambient light " + json(lux).dump() + " lux");
    } else {
        const double now = sim::ambientLight();
        emit(ctx, json{{"lux", now}}, "ambient light " + json(now).dump() + " lux");
    }
}

} // namespace sim_light_cmd

void addSimLightCommands(CLI::App& simApp, Context& ctx) {
    using namespace sim_light_cmd;
    auto* light = simApp.add_subcommand("light", "Ambient light of the simulated sensor: LUX or --script FILE");
    static double lux = -1;
    static std::string script;
    auto* luxOption = light->add_option("lux", lux, "Illuminance in lux (stops a script)")->check(finiteRange(0.0, 1e6));
    light->add_option("--script", script, "File of \"seconds lux\" lines, played from now")->excludes(luxOption);
    light->callback([&ctx] { setLight(ctx, lux, script); });
}

} // namespace tavikctl
