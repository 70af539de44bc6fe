// tavikctl sim scenario run|check: scenario files against fresh simulated units, with a JUnit
// XML report for CI.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "cli.h"
#include "sim_ops.h"
#include "sim_scenario.h"
#include "sim_scenario_run.h"
#include "platform/host/time_scale.h"
#include "frame/settings_file.h"

namespace tavikctl {
namespace sim_scenario_cmd {

namespace fs = std::filesystem;
using namespace scenario;

// Text made safe for XML 1.0: markup escaped, invalid UTF-8 and characters XML does not allow
// replaced by U+FFFD.
std::string xmlText(const std::string& in, bool attribute) {
    std::string out;
    out.reserve(in.size());
    const auto* p = reinterpret_cast<const unsigned char*>(in.data());
    const size_t n = in.size();
    for (size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += attribute ? "&quot;" : "\""; break;
            case '\n': out += attribute ? "&#10;" : "\n"; break;
            case '\t': out += attribute ? "&#9;" : "\t"; break;
            case '\r': out += "&#13;"; break;
            default:
                if (c < 0x20) out += "\xEF\xBF\xBD";
                else out += static_cast<char>(c);
            }
            ++i;
            continue;
        }
        // A whole, shortest-form sequence of a code point XML allows, or one replacement per byte.
        const int len = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? (c <= 0xEF ? 3 : 0) : c >= 0xC2 ? 2 : 0;
        uint32_t cp = len == 2 ? c & 0x1F : len == 3 ? c & 0x0F : c & 0x07;
        bool ok = len != 0 && i + len <= n;
        for (int k = 1; ok && k < len; ++k) {
            ok = (p[i + k] & 0xC0) == 0x80;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        ok = ok && !(len == 3 && cp < 0x800) && !(len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) &&
             !(cp >= 0xD800 && cp <= 0xDFFF) && cp != 0xFFFE && cp != 0xFFFF;
        if (ok) {
            out.append(in, i, static_cast<size_t>(len));
            i += static_cast<size_t>(len);
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return out;
}

std::string seconds(double s) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", s);
    return buf;
}

struct Entry {
    std::string file, name;
    bool invalid = false;      // the file could not be used: the message is in `failure`
    ScenarioResult result;
};

// The JUnit report: one test suite, one test case per scenario (a failure with its message; the
// step lines and the programs' output as system-out). Written beside and renamed over.
void writeJunit(const std::string& path, const std::vector<Entry>& entries) {
    size_t failures = 0, errors = 0;
    double total = 0;
    for (const Entry& e : entries) {
        if (e.invalid) ++errors;
        else if (!e.result.passed) ++failures;
        total += e.result.wallSeconds;
    }
    std::string x = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    x += "<testsuites tests=\"" + std::to_string(entries.size()) + "\" failures=\"" + std::to_string(failures) +
         "\" errors=\"" + std::to_string(errors) + "\" time=\"" + seconds(total) + "\">\n";
    x += "  <testsuite name=\"tavikctl sim scenario\" tests=\"" + std::to_string(entries.size()) + "\" failures=\"" +
         std::to_string(failures) + "\" errors=\"" + std::to_string(errors) + "\" skipped=\"0\" time=\"" +
         seconds(total) + "\">\n";
    for (const Entry& e : entries) {
        x += "    <testcase classname=\"" + xmlText(e.file, true) + "\" name=\"" + xmlText(e.name, true) +
             "\" time=\"" + seconds(e.result.wallSeconds) + "\">\n";
        if (e.invalid)
            x += "      <error type=\"invalid scenario\" message=\"" + xmlText(e.result.failure, true) + "\"/>\n";
        else if (!e.result.passed)
            x += "      <failure type=\"step failed\" message=\"" + xmlText(e.result.failure, true) + "\">" +
                 xmlText(e.result.failure, false) + "</failure>\n";
        std::string out = e.result.transcript;
        for (const ProgramReport& p : e.result.programs)
            out += "\n--- " + p.name + " (" + p.command + "): " + p.ended + "\n" + p.output;
        if (!out.empty()) x += "      <system-out>" + xmlText(out, false) + "</system-out>\n";
        x += "    </testcase>\n";
    }
    x += "  </testsuite>\n</testsuites>\n";
    const std::string tmp = path + ".tmp";
    {
        std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
        f << x;
        if (!f.flush()) throw std::runtime_error("cannot write " + tmp);
    }
    fs::rename(tmp, path);
}

// A throw-away unit in a folder of its own for `check`: the checks try fields, values and faults
// on it. Removed with the object.
class ScratchUnit {
public:
    ScratchUnit() {
        if (const char* home = std::getenv("TAVIK_HOME")) previousHome_ = home;
        std::string tmpl = (fs::temp_directory_path() / "tavik-scenario-check-XXXXXX").string();
        if (::mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("cannot make a temporary folder");
        dir_ = tmpl;
    }
    ~ScratchUnit() {
        if (previousHome_) ::setenv("TAVIK_HOME", previousHome_->c_str(), 1);
        else ::unsetenv("TAVIK_HOME");
        tavik::frame::forgetSettingsFilePath();
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    // A fresh unit with the scenario's profile; throws ScenarioError when the profile is unusable.
    void prepare(const Scenario& s) {
        ::setenv("TAVIK_HOME", dir_.c_str(), 1);
        tavik::frame::forgetSettingsFilePath();
        simops::reset();
        if (s.profile.empty()) return;
        try {
            simops::loadProfile(profileArgument(s));
        } catch (const std::exception& e) {
            throw ScenarioError(s.file, s.profileLine, std::string("profile: ") + e.what());
        }
    }

private:
    std::string dir_;
    std::optional<std::string> previousHome_;
};

// Loads a file and checks it against a scratch unit with its profile: fields that exist, values
// the models take, faults `sim fault add` takes.
Scenario checkedScenario(const std::string& path, ScratchUnit& scratch) {
    Scenario first = loadScenario(path);
    scratch.prepare(first);
    Checks checks;
    checks.field = [](const std::string& field) -> std::string {
        try {
            simops::get(field);
            return "";
        } catch (const std::exception& e) {
            return "the unit has no field " + field + " (" + e.what() + ")";
        }
    };
    checks.fault = [](const FaultStep& f) -> std::string {
        try {
            simops::addFault({f.target, f.code, f.action, f.count, f.reply, f.times, f.skip, f.address, f.value});
            simops::clearFaults();
            return "";
        } catch (const simops::Refused& r) { // named by its command-line option: here a field
            return "fault " + (r.option.rfind("--", 0) == 0 ? r.option.substr(2) : r.option) + ": " + r.message;
        } catch (const std::exception& e) {
            return e.what();
        }
    };
    Scenario s = loadScenario(path, checks);
    // Values to set go through the models' own checks (on the scratch unit, in file order).
    for (const Step& st : s.steps)
        if (st.kind == StepKind::Set) try {
                simops::set(st.field, st.valueText);
            } catch (const std::exception& e) {
                throw ScenarioError(path, st.line, std::string("set ") + st.field + ": " + e.what());
            }
    return s;
}

struct RunOptions {
    std::vector<std::string> files;
    std::string junit, home;
    bool keep = false;
};

double environmentScale() {
    const char* v = std::getenv("TAVIK_TIME_SCALE");
    if (v == nullptr || *v == '\0') return 1;
    char* end = nullptr;
    const double s = std::strtod(v, &end);
    return end != v && *end == '\0' && s > 0 ? s : 1;
}

// Every file loaded and checked; the invalid ones reported. False when one was invalid.
bool loadAll(Context& ctx, const std::vector<std::string>& files, std::vector<Scenario>& scenarios,
             std::vector<Entry>& entries) {
    ScratchUnit scratch;
    bool allValid = true;
    for (const std::string& file : files) {
        try {
            scenarios.push_back(checkedScenario(file, scratch));
            entries.push_back({file, scenarios.back().name, false, {}});
        } catch (const ScenarioError& e) {
            allValid = false;
            Entry bad{file, fs::path(file).stem().string(), true, {}};
            bad.result.failure = e.what();
            entries.push_back(bad);
            if (!ctx.json) std::cerr << "tavikctl: " << e.what() << '\n';
        }
    }
    return allValid;
}

void check(Context& ctx, const std::vector<std::string>& files) {
    std::vector<Scenario> scenarios;
    std::vector<Entry> entries;
    const bool valid = loadAll(ctx, files, scenarios, entries);
    json doc = json::array();
    std::string text;
    for (const Entry& e : entries) {
        json d = {{"file", e.file}, {"valid", !e.invalid}};
        if (e.invalid) d["error"] = e.result.failure;
        doc.push_back(d);
        if (!e.invalid) text += e.file + ": valid\n";
    }
    for (const Scenario& s : scenarios)
        for (json& d : doc)
            if (d["file"] == s.file) d["steps"] = s.steps.size();
    emit(ctx, doc, text);
    if (!valid) ctx.fail(kExitUsage);
}

void run(Context& ctx, const RunOptions& o) {
    std::vector<Scenario> scenarios;
    std::vector<Entry> entries;
    if (!loadAll(ctx, o.files, scenarios, entries)) {
        if (!o.junit.empty()) writeJunit(o.junit, entries);
        if (ctx.json) {
            json doc = json::array();
            for (const Entry& e : entries) doc.push_back({{"file", e.file}, {"valid", !e.invalid}, {"error", e.result.failure}});
            emit(ctx, doc, "");
        }
        ctx.fail(kExitUsage);
        return;
    }
    // The homes: sub-folders of --home, or of a temporary folder of our own.
    fs::path parent;
    bool ownParent = false;
    if (!o.home.empty()) {
        parent = fs::absolute(o.home);
        fs::create_directories(parent);
    } else {
        std::string tmpl = (fs::temp_directory_path() / "tavik-scenario-XXXXXX").string();
        if (::mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("cannot make a temporary folder");
        parent = tmpl;
        ownParent = true;
    }
    const std::string oldHome = std::getenv("TAVIK_HOME") ? std::getenv("TAVIK_HOME") : "";
    json doc = json::array();
    bool allPassed = true;
    for (size_t i = 0; i < scenarios.size(); ++i) {
        const Scenario& s = scenarios[i];
        const fs::path home = parent / (std::to_string(i + 1) + "-" + fs::path(s.file).stem().string());
        if (fs::exists(home) && !fs::is_empty(home))
            throw std::runtime_error(home.string() + " is not empty: a scenario needs a fresh home");
        fs::create_directories(home);
        RunSettings settings;
        settings.home = fs::canonical(home).string();
        settings.timeScale = s.timeScale ? *s.timeScale : environmentScale();
        settings.out = ctx.json ? nullptr : &std::cout;
        entries[i].result = runScenario(s, settings);
        const ScenarioResult& r = entries[i].result;
        allPassed = allPassed && r.passed;
        if (!o.keep) {
            std::error_code ec;
            fs::remove_all(home, ec);
        }
        json programs = json::array();
        for (const ProgramReport& p : r.programs)
            programs.push_back({{"name", p.name}, {"command", p.command}, {"ended", p.ended}, {"output", text8(p.output)}});
        json d = {{"file", s.file}, {"name", s.name}, {"passed", r.passed}, {"steps", r.stepsRun},
                  {"unit_s", r.unitSeconds}, {"wall_s", r.wallSeconds}, {"programs", programs}};
        if (!r.passed) d["failure"] = r.failure;
        if (o.keep) d["home"] = settings.home;
        doc.push_back(d);
        if (!ctx.json) {
            std::cout << (r.passed ? "PASSED " : "FAILED ") << s.name << " (" << s.file << "): " << r.stepsRun << " of "
                      << s.steps.size() << " steps, " << seconds(r.unitSeconds) << " s unit time, "
                      << seconds(r.wallSeconds) << " s wall time" << (o.keep ? ", home kept in " + settings.home : "")
                      << "\n";
            if (!r.passed)
                for (const ProgramReport& p : r.programs)
                    std::cout << "--- " << p.name << " (" << p.command << "): " << p.ended << "\n" << p.output
                              << (p.output.empty() || p.output.back() == '\n' ? "" : "\n");
        }
    }
    if (ownParent && !o.keep) {
        std::error_code ec;
        fs::remove_all(parent, ec);
    }
    if (oldHome.empty()) ::unsetenv("TAVIK_HOME");
    else ::setenv("TAVIK_HOME", oldHome.c_str(), 1);
    if (!o.junit.empty()) writeJunit(o.junit, entries);
    if (ctx.json) emit(ctx, doc, "");
    if (!allPassed) ctx.fail(kExitRefused);
}

} // namespace sim_scenario_cmd

void addSimScenarioCommands(CLI::App& sim, Context& ctx) {
    using namespace sim_scenario_cmd;
    auto* sc = sim.add_subcommand("scenario", "Run scenario files (YAML or JSON) against fresh units (docs/scenarios.md)");
    sc->require_subcommand(1);
    static RunOptions ro;
    auto* r = sc->add_subcommand("run", "Run each scenario in a unit of its own; exit 0 all passed, 1 one failed, "
                                        "2 a file is not valid");
    r->add_option("files", ro.files, "Scenario files")->required();
    r->add_option("--junit", ro.junit, "Write a JUnit XML report to this file");
    r->add_option("--home", ro.home, "Make the scenarios' homes in this folder (default: a temporary one)");
    r->add_flag("--keep", ro.keep, "Keep the homes after the run");
    r->callback([&ctx] { run(ctx, ro); });
    static std::vector<std::string> checkFiles;
    auto* c = sc->add_subcommand("check", "Validate scenario files without running them; exit 2 when one is not valid");
    c->add_option("files", checkFiles, "Scenario files")->required();
    c->callback([&ctx] { check(ctx, checkFiles); });
}

} // namespace tavikctl
