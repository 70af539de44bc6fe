// The scenario loader: YAML (or JSON) text into typed steps, every error naming the file and line.
#include "sim_scenario.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include <yaml-cpp/yaml.h>

namespace tavikctl::scenario {

ScenarioError::ScenarioError(const std::string& file_, int line_, const std::string& what)
    : std::runtime_error(file_ + (line_ > 0 ? ":" + std::to_string(line_) : std::string()) + ": " + what),
      file(file_), line(line_) {}

const char* stepName(StepKind kind) {
    switch (kind) {
    case StepKind::Set: return "set";
    case StepKind::Delay: return "delay";
    case StepKind::Expect: return "expect";
    case StepKind::Wait: return "wait";
    case StepKind::ExpectSetting: return "expect-setting";
    case StepKind::WaitSetting: return "wait-setting";
    case StepKind::ExpectLog: return "expect-log";
    case StepKind::WaitLog: return "wait-log";
    case StepKind::Fault: return "fault";
    case StepKind::ClearFaults: return "clear-faults";
    case StepKind::Ramp: return "ramp";
    case StepKind::Press: return "press";
    case StepKind::Run: return "run";
    case StepKind::ExpectExit: return "expect-exit";
    case StepKind::Stop: return "stop";
    case StepKind::Snapshot: return "snapshot";
    }
    return "?";
}

namespace {

std::string number(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.10g", v);
    return buf;
}

} // namespace

std::string Condition::describe() const {
    if (value) return "= " + (value->is_string() ? value->get<std::string>() : value->dump());
    std::string t;
    if (min) t = ">= " + number(*min);
    if (max) t += (t.empty() ? "<= " : " and <= ") + number(*max);
    return t;
}

std::optional<double> parseDuration(const std::string& text) {
    static const std::pair<const char*, double> units[] = {{"ms", 1}, {"min", 60000}, {"s", 1000}, {"h", 3600000}};
    size_t end = 0;
    while (end < text.size() && (std::isdigit(static_cast<unsigned char>(text[end])) || text[end] == '.')) ++end;
    const std::string digits = text.substr(0, end);
    if (digits.empty() || digits.size() > 15 || digits.front() == '.' || digits.back() == '.' ||
        digits.find('.') != digits.rfind('.'))
        return std::nullopt;
    std::string unit = text.substr(end);
    while (!unit.empty() && unit.front() == ' ') unit.erase(0, 1);
    for (const auto& [name, factor] : units)
        if (unit == name) {
            const double ms = std::strtod(digits.c_str(), nullptr) * factor;
            if (!std::isfinite(ms) || ms > kMaxDurationMs) return std::nullopt;
            return ms;
        }
    return std::nullopt;
}

namespace {

constexpr size_t kMaxValueNodes = 100000; // aliases can repeat a subtree: the conversion is bounded
constexpr int kMaxValueDepth = 32;

int lineOf(const YAML::Node& n) { return n.Mark().line + 1; }

// A scalar written in quotes (or any non-plain style) is text whatever it looks like.
bool quoted(const YAML::Node& n) { return n.Tag() == "!"; }

class Loader {
public:
    Loader(const std::string& file, const Checks& checks) : file_(file), checks_(checks) {}

    Scenario load(const std::string& source) {
        YAML::Node root;
        try {
            root = YAML::Load(source);
        } catch (const YAML::Exception& e) {
            throw ScenarioError(file_, e.mark.is_null() ? 0 : e.mark.line + 1, "not valid YAML: " + e.msg);
        }
        Scenario s;
        s.file = file_;
        if (!root.IsMap()) fail(root, "a scenario is a map with name, steps and optionally profile and time-scale");
        const Fields top(*this, root, {"name", "profile", "time-scale", "steps"}, {"name", "steps"});
        s.name = text(top.get("name"), "name");
        if (s.name.empty()) fail(top.get("name"), "name must not be empty");
        if (top.has("profile")) {
            s.profile = text(top.get("profile"), "profile");
            s.profileLine = lineOf(top.get("profile"));
        }
        if (top.has("time-scale")) {
            const double scale = real(top.get("time-scale"), "time-scale");
            if (!(scale >= 0.001 && scale <= 1000000)) fail(top.get("time-scale"), "time-scale must be 0.001 to 1000000");
            s.timeScale = scale;
        }
        const YAML::Node steps = top.get("steps");
        if (!steps.IsSequence()) fail(steps, "steps is a list of steps");
        if (steps.size() > kMaxSteps) fail(steps, "more than " + std::to_string(kMaxSteps) + " steps");
        std::set<std::string> started; // programs named by earlier run steps
        for (const YAML::Node& n : steps) {
            s.steps.push_back(step(n));
            const Step& st = s.steps.back();
            if (st.kind == StepKind::Run && !started.insert(st.name).second)
                fail(n, "a program named \"" + st.name + "\" was started already");
            if ((st.kind == StepKind::ExpectExit || st.kind == StepKind::Stop) && !started.count(st.name))
                fail(n, "no earlier run step starts a program named \"" + st.name + "\"");
        }
        return s;
    }

private:
    // The fields of one map: unknown and repeated keys refused, required ones checked.
    class Fields {
    public:
        Fields(Loader& l, const YAML::Node& map, const std::vector<const char*>& known,
               const std::vector<const char*>& required, const std::string& what = "")
        {
            for (const auto& kv : map) {
                const YAML::Node key = kv.first;
                if (!key.IsScalar()) l.fail(key, "keys are plain words");
                const std::string k = key.Scalar();
                bool ok = false;
                for (const char* n : known) ok = ok || k == n;
                if (!ok) {
                    std::string list;
                    for (const char* n : known) list += std::string(list.empty() ? "" : ", ") + n;
                    l.fail(key, "unknown field \"" + k + "\"" + (what.empty() ? "" : " of " + what) + " (known: " + list + ")");
                }
                if (!values_.emplace(k, kv.second).second) l.fail(key, "field \"" + k + "\" given twice");
            }
            for (const char* r : required)
                if (!values_.count(r))
                    l.fail(map, (what.empty() ? std::string() : what + " needs ") + "field \"" + r + "\"" +
                                     (what.empty() ? " is missing" : ""));
        }
        bool has(const std::string& k) const { return values_.count(k) != 0; }
        YAML::Node get(const std::string& k) const { return values_.at(k); }

    private:
        std::map<std::string, YAML::Node> values_;
    };

    [[noreturn]] void fail(const YAML::Node& n, const std::string& what) const {
        throw ScenarioError(file_, lineOf(n), what);
    }

    std::string scalar(const YAML::Node& n, const std::string& what) const {
        if (!n.IsScalar()) fail(n, what + " must be a single value");
        return n.Scalar();
    }
    std::string text(const YAML::Node& n, const std::string& what) const { return scalar(n, what); }

    double real(const YAML::Node& n, const std::string& what) const {
        const std::string t = scalar(n, what);
        char* end = nullptr;
        const double v = t.empty() || quoted(n) ? NAN : std::strtod(t.c_str(), &end);
        if (!std::isfinite(v) || end != t.c_str() + t.size() || t.find_first_of("xXnN ") != std::string::npos)
            fail(n, what + " must be a number, not \"" + t + "\"");
        return v;
    }

    // Decimal or 0x hexadecimal, quoted or not (JSON files quote hexadecimal codes).
    long long integer(const YAML::Node& n, const std::string& what, long long lo, long long hi) const {
        const std::string t = scalar(n, what);
        const bool hex = t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X');
        const std::string digits = hex ? t.substr(2) : (t.size() > 1 && t[0] == '-' ? t.substr(1) : t);
        const bool ok = !digits.empty() && digits.size() <= 12 &&
                        digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") == std::string::npos;
        const long long v = ok ? std::strtoll(t.c_str(), nullptr, hex ? 16 : 10) : 0;
        if (!ok || v < lo || v > hi)
            fail(n, what + " must be a whole number " + std::to_string(lo) + " to " + std::to_string(hi) + ", not \"" + t + "\"");
        return v;
    }

    bool boolean(const YAML::Node& n, const std::string& what) const {
        const std::string t = scalar(n, what);
        if (t == "true" && !quoted(n)) return true;
        if (t == "false" && !quoted(n)) return false;
        fail(n, what + " must be true or false, not \"" + t + "\"");
    }

    double duration(const YAML::Node& n, const std::string& what) const {
        const std::string t = scalar(n, what);
        const auto ms = parseDuration(t);
        if (!ms) fail(n, what + " must be a duration with its unit (250ms, 2s, 1.5min, 1h; at most a week), not \"" + t + "\"");
        return *ms;
    }

    // A value as JSON: plain scalars that read as JSON numbers, true, false or null are those; any
    // other scalar is text.
    json value(const YAML::Node& n, int depth = 0) {
        if (++nodes_ > kMaxValueNodes) fail(n, "value too large");
        if (depth > kMaxValueDepth) fail(n, "value nested too deeply");
        if (n.IsScalar()) {
            if (!quoted(n)) {
                json j = json::parse(n.Scalar(), nullptr, false);
                if (j.is_number() || j.is_boolean() || j.is_null()) return j;
            }
            return n.Scalar();
        }
        if (n.IsSequence()) {
            json a = json::array();
            for (const YAML::Node& e : n) a.push_back(value(e, depth + 1));
            return a;
        }
        if (n.IsMap()) {
            json o = json::object();
            for (const auto& kv : n) {
                if (!kv.first.IsScalar()) fail(kv.first, "keys are plain words");
                o[kv.first.Scalar()] = value(kv.second, depth + 1);
            }
            return o;
        }
        return nullptr; // ~ or an empty value
    }

    void field(const YAML::Node& n, Step& s) const {
        s.field = text(n, "field");
        const size_t dot = s.field.find('.');
        if (dot == std::string::npos || dot == 0 || dot + 1 == s.field.size())
            fail(n, "field must be MODEL.FIELD (e.g. supervisor.ssTemp), not \"" + s.field + "\"");
        if (checks_.field)
            if (const std::string problem = checks_.field(s.field); !problem.empty()) fail(n, problem);
    }

    // value, or min and/or max (numbers).
    void condition(const Fields& f, const YAML::Node& step, Step& s) {
        const bool range = f.has("min") || f.has("max");
        if (f.has("value") == range) fail(step, "give value, or min and/or max");
        if (f.has("value")) s.condition.value = value(f.get("value"));
        if (f.has("min")) s.condition.min = real(f.get("min"), "min");
        if (f.has("max")) s.condition.max = real(f.get("max"), "max");
        if (s.condition.min && s.condition.max && *s.condition.min > *s.condition.max)
            fail(step, "min is above max");
    }

    std::string programName(const YAML::Node& n) const {
        const std::string name = text(n, "name");
        if (name.empty() || name.size() > 64 || name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-.") != std::string::npos || name[0] == '.')
            fail(n, "name must be 1 to 64 letters, digits, '-', '_' or '.', not starting with '.'");
        return name;
    }

    Step step(const YAML::Node& n) {
        if (!n.IsMap() || n.size() != 1) fail(n, "a step is a map with one key (set, delay, expect, ...)");
        const YAML::Node key = n.begin()->first;
        const YAML::Node body = n.begin()->second;
        const std::string name = scalar(key, "the step");
        static const std::map<std::string, StepKind> kinds = {
            {"set", StepKind::Set}, {"delay", StepKind::Delay}, {"expect", StepKind::Expect},
            {"wait", StepKind::Wait}, {"expect-setting", StepKind::ExpectSetting},
            {"wait-setting", StepKind::WaitSetting}, {"expect-log", StepKind::ExpectLog},
            {"wait-log", StepKind::WaitLog}, {"fault", StepKind::Fault}, {"clear-faults", StepKind::ClearFaults},
            {"ramp", StepKind::Ramp}, {"press", StepKind::Press}, {"run", StepKind::Run},
            {"expect-exit", StepKind::ExpectExit}, {"stop", StepKind::Stop}, {"snapshot", StepKind::Snapshot}};
        const auto it = kinds.find(name);
        if (it == kinds.end()) {
            std::string list;
            for (const auto& [k, v] : kinds) list += (list.empty() ? "" : ", ") + k;
            fail(key, "unknown step \"" + name + "\" (steps: " + list + ")");
        }
        Step s;
        s.kind = it->second;
        s.line = lineOf(key);
        const std::string what = "step " + name;
        auto map = [&](std::vector<const char*> known, std::vector<const char*> required) {
            if (!body.IsMap()) fail(body, what + " takes a map of fields");
            return Fields(*this, body, known, required, what);
        };
        // The fields of an expect step; its wait twin also needs a time-out.
        auto waitable = [&](std::vector<const char*> known, std::vector<const char*> required) {
            const bool wait = s.kind == StepKind::Wait || s.kind == StepKind::WaitSetting || s.kind == StepKind::WaitLog;
            if (wait) {
                known.push_back("timeout");
                required.push_back("timeout");
            }
            Fields f = map(known, required);
            if (wait) s.timeoutMs = duration(f.get("timeout"), "timeout");
            return f;
        };
        switch (s.kind) {
        case StepKind::Set: {
            const Fields f = map({"field", "value"}, {"field", "value"});
            field(f.get("field"), s);
            const YAML::Node v = f.get("value");
            s.valueText = v.IsScalar() && !quoted(v) ? v.Scalar() : value(v).dump();
            s.condition.value = value(v);
            break;
        }
        case StepKind::Delay:
            s.durationMs = duration(body, "delay");
            break;
        case StepKind::Expect:
        case StepKind::Wait: {
            const Fields f = waitable({"field", "value", "min", "max"}, {"field"});
            field(f.get("field"), s);
            condition(f, body, s);
            break;
        }
        case StepKind::ExpectSetting:
        case StepKind::WaitSetting: {
            const Fields f = waitable({"key", "value", "min", "max"}, {"key"});
            s.key = text(f.get("key"), "key");
            if (s.key.empty()) fail(f.get("key"), "key must not be empty");
            condition(f, body, s);
            if (s.condition.value && !f.get("value").IsScalar()) fail(f.get("value"), "a setting's value is one text");
            if (s.condition.value) s.condition.value = f.get("value").Scalar(); // settings are texts
            break;
        }
        case StepKind::ExpectLog:
        case StepKind::WaitLog: {
            const Fields f = waitable({"target", "code", "ok", "count"}, {"code"});
            if (f.has("target")) s.logTarget = text(f.get("target"), "target");
            s.logCode = static_cast<uint32_t>(integer(f.get("code"), "code", 0, 0xFFFFFFFFll));
            if (f.has("ok")) s.logOk = boolean(f.get("ok"), "ok");
            if (f.has("count")) s.logCount = static_cast<int>(integer(f.get("count"), "count", 1, 100000));
            break;
        }
        case StepKind::Fault: {
            const Fields f = map({"target", "code", "action", "reply", "count", "times", "skip", "address", "value"}, {"action"});
            auto opt = [&](const char* k, std::string& out) {
                if (f.has(k)) out = text(f.get(k), k);
            };
            opt("target", s.fault.target);
            opt("code", s.fault.code);
            opt("action", s.fault.action);
            opt("reply", s.fault.reply);
            opt("count", s.fault.count);
            opt("times", s.fault.times);
            opt("skip", s.fault.skip);
            opt("address", s.fault.address);
            opt("value", s.fault.value);
            if (checks_.fault)
                if (const std::string problem = checks_.fault(s.fault); !problem.empty()) fail(body, problem);
            break;
        }
        case StepKind::ClearFaults:
            if (!boolean(body, "clear-faults")) fail(body, "clear-faults takes true");
            break;
        case StepKind::Ramp: {
            const Fields f = map({"field", "from", "to", "over", "steps"}, {"field", "from", "to", "over", "steps"});
            field(f.get("field"), s);
            s.from = real(f.get("from"), "from");
            s.to = real(f.get("to"), "to");
            s.durationMs = duration(f.get("over"), "over");
            s.rampSteps = static_cast<int>(integer(f.get("steps"), "steps", 1, 10000));
            break;
        }
        case StepKind::Press: {
            const Fields f = map({"button", "hold"}, {"button", "hold"});
            if (text(f.get("button"), "button") != "front") fail(f.get("button"), "the unit has one button: front");
            s.durationMs = duration(f.get("hold"), "hold");
            break;
        }
        case StepKind::Run: {
            const Fields f = map({"name", "command", "background", "code", "timeout"}, {"name", "command"});
            s.name = programName(f.get("name"));
            s.command = text(f.get("command"), "command");
            if (s.command.empty()) fail(f.get("command"), "command must not be empty");
            if (f.has("background")) s.background = boolean(f.get("background"), "background");
            if (s.background && (f.has("code") || f.has("timeout")))
                fail(body, "code and timeout belong to a program run in the foreground (expect-exit checks a background one)");
            if (f.has("code")) s.exitCode = static_cast<int>(integer(f.get("code"), "code", 0, 255));
            if (f.has("timeout")) s.timeoutMs = duration(f.get("timeout"), "timeout");
            break;
        }
        case StepKind::ExpectExit: {
            const Fields f = map({"name", "code", "timeout"}, {"name", "timeout"});
            s.name = programName(f.get("name"));
            if (f.has("code")) s.exitCode = static_cast<int>(integer(f.get("code"), "code", 0, 255));
            s.timeoutMs = duration(f.get("timeout"), "timeout");
            break;
        }
        case StepKind::Stop: {
            const Fields f = map({"name"}, {"name"});
            s.name = programName(f.get("name"));
            break;
        }
        case StepKind::Snapshot: {
            const Fields f = map({"state", "frame", "input"}, {});
            if (f.has("state") == f.has("frame")) fail(body, "snapshot takes state: FILE or frame: FILE");
            if (f.has("input") && !f.has("frame")) fail(f.get("input"), "input belongs to a frame snapshot");
            if (f.has("state")) s.stateFile = text(f.get("state"), "state");
            if (f.has("frame")) s.frameFile = text(f.get("frame"), "frame");
            if (f.has("input")) s.input = static_cast<int>(integer(f.get("input"), "input", 1, 2));
            if (s.stateFile.empty() && s.frameFile.empty()) fail(body, "the snapshot needs a file name");
            break;
        }
        }
        return s;
    }

    const std::string& file_;
    const Checks& checks_;
    size_t nodes_ = 0;
};

} // namespace

Scenario parseScenario(const std::string& text, const std::string& file, const Checks& checks) {
    if (text.size() > kMaxScenarioBytes)
        throw ScenarioError(file, 0, "larger than " + std::to_string(kMaxScenarioBytes) + " bytes");
    if (text.find('\0') != std::string::npos) throw ScenarioError(file, 0, "not a text file (holds a zero byte)");
    try {
        return Loader(file, checks).load(text);
    } catch (const ScenarioError&) {
        throw;
    } catch (const YAML::Exception& e) {
        throw ScenarioError(file, e.mark.is_null() ? 0 : e.mark.line + 1, e.msg);
    }
}

std::string profileArgument(const Scenario& s) {
    namespace fs = std::filesystem;
    std::string profile = s.profile;
    const bool file = profile.find('/') != std::string::npos ||
                      (profile.size() > 5 && profile.compare(profile.size() - 5, 5, ".json") == 0);
    if (!file) return profile;
    if (fs::path(profile).is_relative()) profile = (fs::path(s.file).parent_path() / profile).lexically_normal().string();
    return profile.find('/') == std::string::npos ? "./" + profile : profile;
}

Scenario loadScenario(const std::string& path, const Checks& checks) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ScenarioError(path, 0, "cannot be read");
    std::string text;
    char buf[65536];
    while (in.read(buf, sizeof buf) || in.gcount() > 0) {
        text.append(buf, static_cast<size_t>(in.gcount()));
        if (text.size() > kMaxScenarioBytes)
            throw ScenarioError(path, 0, "larger than " + std::to_string(kMaxScenarioBytes) + " bytes");
    }
    if (in.bad()) throw ScenarioError(path, 0, "cannot be read");
    return parseScenario(text, path, checks);
}

} // namespace tavikctl::scenario
