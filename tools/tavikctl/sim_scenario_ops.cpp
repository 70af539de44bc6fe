#include "sim_scenario_ops.h"

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>

#include "platform/host/time_scale.h"

namespace tavikctl::scenario::ops {

json get(const std::string& path) { return {{"path", path}, {"value", tavik::sim::Unit::instance().getValue(path)}}; }

json set(const std::string& path, const std::string& value) {
    tavik::sim::Unit::instance().setValue(path, value);
    return get(path);
}

json addFault(const FaultSpec& f) {
    const std::string tool = std::filesystem::read_symlink("/proc/self/exe").string();
    std::vector<std::string> args = {tool, "--json", "sim", "fault", "add", "--target", f.target, "--code", f.code,
                                     "--action", f.action};
    const std::pair<const char*, const std::string*> optional[] = {
        {"--count", &f.count}, {"--reply", &f.reply}, {"--times", &f.times},
        {"--skip", &f.skip},   {"--address", &f.address}, {"--value", &f.value}};
    for (const auto& [option, text] : optional)
        if (!text->empty()) args.insert(args.end(), {option, *text});
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int out[2];
    if (::pipe(out) != 0) throw std::runtime_error("cannot start tavikctl sim fault add");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::dup2(out[1], 2);
        ::close(out[0]);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    std::string text;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(out[0], buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        while (!text.empty() && text.back() == '\n') text.pop_back();
        throw std::invalid_argument(text.empty() ? "sim fault add refused the fault" : text);
    }
    return json::parse(text, nullptr, false);
}

void clearFaults() { tavik::sim::Unit::instance().clearFaults(); }

std::vector<tavik::sim::LogEntry> readLog(const LogFilter& f) {
    tavik::sim::LogQuery q;
    q.target = f.target;
    if (!f.code.empty()) q.code = std::stoll(f.code);
    if (!f.since.empty()) q.since = std::stoull(f.since);
    q.last = f.last;
    return tavik::sim::Unit::instance().readLog(q);
}

json loadProfile(const std::string& nameOrPath) {
    const json p = tavik::sim::Unit::readProfile(nameOrPath);
    tavik::sim::Unit::instance().loadProfile(p);
    return {{"profile", p.value("name", nameOrPath)}};
}

json reset() {
    tavik::sim::Unit::instance().reset();
    tavik::platform::host::removeNamedSemaphores();
    return {{"profile", "default"}, {"home", tavik::sim::Unit::instance().home()}};
}

} // namespace tavikctl::scenario::ops
