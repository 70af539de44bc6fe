// Scenarios: the loader's typing and its errors with line numbers, the fuzzing corpus, and
// `tavikctl sim scenario check|run` end to end (every step kind, failure reports, the JUnit file
// read back by an XML parser, programs stopped at the end) with the shipped examples.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

#include <nlohmann/json.hpp>

#include "sim_scenario.h"
#include "support/sim_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace tavikctl::scenario;
using tavik::test::binPath;
using json = nlohmann::json;

std::string loadError(const std::string& text) {
    try {
        parseScenario(text, "t.yaml");
    } catch (const ScenarioError& e) {
        return e.what();
    }
    return "accepted";
}

TEST(ScenarioLoader, TypesEveryStep) {
    const Scenario s = parseScenario(R"(name: all
profile: no-battery
time-scale: 250
steps:
  - set: {field: driver.versions.ss, value: 1.2.9.9}
  - set: {field: board.boards, value: "3"}
  - delay: 1.5min
  - expect: {field: supervisor.ssTemp, min: -5}
  - wait: {field: backlight.level, value: 7, timeout: 250ms}
  - wait-setting: {key: ABL_k, value: 28.2291, timeout: 2s}
  - expect-log: {target: '\\.\TavikDrv', code: 0x2224B4, ok: false, count: 3}
  - fault: {target: board, code: 56, action: fail, times: 1}
  - ramp: {field: lightsensor.lux, from: 5, to: 1000, over: 1h, steps: 60}
  - press: {button: front, hold: 4s}
  - run: {name: app, command: "echo hi", background: true}
  - expect-exit: {name: app, code: 3, timeout: 2s}
  - snapshot: {frame: out.bmp, input: 2}
)", "t.yaml");
    EXPECT_EQ(s.profile, "no-battery");
    EXPECT_EQ(*s.timeScale, 250);
    ASSERT_EQ(s.steps.size(), 13u);
    EXPECT_EQ(s.steps[0].valueText, "1.2.9.9");
    EXPECT_EQ(s.steps[1].valueText, "\"3\""); // quoted: text, not the number
    EXPECT_EQ(s.steps[2].durationMs, 90000);
    EXPECT_EQ(s.steps[2].line, 7);
    EXPECT_FALSE(s.steps[3].condition.max);
    EXPECT_EQ(*s.steps[3].condition.min, -5);
    EXPECT_EQ(*s.steps[4].condition.value, 7);
    EXPECT_EQ(*s.steps[4].timeoutMs, 250);
    EXPECT_EQ(*s.steps[5].condition.value, "28.2291"); // settings compare as text
    EXPECT_EQ(s.steps[6].logTarget, "\\\\.\\TavikDrv");
    EXPECT_EQ(*s.steps[6].logCode, 0x2224B4u);
    EXPECT_FALSE(*s.steps[6].logOk);
    EXPECT_EQ(s.steps[6].logCount, 3);
    EXPECT_EQ(s.steps[7].fault.target, "board");
    EXPECT_EQ(s.steps[7].fault.times, "1");
    EXPECT_EQ(s.steps[8].durationMs, 3600000);
    EXPECT_EQ(s.steps[8].rampSteps, 60);
    EXPECT_EQ(s.steps[9].durationMs, 4000);
    EXPECT_TRUE(s.steps[10].background);
    EXPECT_EQ(s.steps[11].exitCode, 3);
    EXPECT_EQ(s.steps[12].input, 2);
    // JSON is YAML too.
    const Scenario j = parseScenario(R"({"name": "j", "steps": [{"delay": "250ms"}, {"clear-faults": true}]})", "j.json");
    ASSERT_EQ(j.steps.size(), 2u);
    EXPECT_EQ(j.steps[0].durationMs, 250);
}

TEST(ScenarioLoader, ErrorsNameFileAndLine) {
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {
        {"name: a\nsteps:\n  - delay: 1s\n  - sleep: 2s\n", "t.yaml:4: unknown step \"sleep\""},
        {"name: a\nsteps:\n  - expect: {field: a.b, valu: 3}\n", "t.yaml:3: unknown field \"valu\" of step expect"},
        {"name: a\nsteps:\n  - delay: 2\n", "t.yaml:3: delay must be a duration with its unit"},
        {"name: a\nsteps:\n  - delay: 2 weeks\n", "t.yaml:3: delay must be a duration"},
        {"name: a\nsteps:\n\n  - wait: {field: a.b, value: 1}\n", "t.yaml:4: step wait needs field \"timeout\""},
        {"name: a\nsteps:\n  - expect: {field: a.b, value: 1, min: 0}\n", "t.yaml:3: give value, or min and/or max"},
        {"name: a\nsteps:\n  - expect: {field: a.b, min: 5, max: 1}\n", "t.yaml:3: min is above max"},
        {"name: a\nsteps:\n  - expect: {field: nodot, value: 1}\n", "t.yaml:3: field must be MODEL.FIELD"},
        {"name: a\nsteps:\n  - ramp: {field: a.b, from: x, to: 1, over: 1s, steps: 2}\n", "t.yaml:3: from must be a number"},
        {"name: a\nsteps:\n  - expect-exit: {name: app, timeout: 1s}\n", "t.yaml:3: no earlier run step starts a program named \"app\""},
        {"name: a\nsteps:\n  - run: {name: x, command: a}\n  - run: {name: x, command: b}\n", "t.yaml:4: a program named \"x\" was started already"},
        {"name: a\nsteps:\n  - press: {button: back, hold: 1s}\n", "t.yaml:3: the unit has one button: front"},
        {"name: a\nsteps:\n  - expect-log: {code: 0x1FFFFFFFF}\n", "t.yaml:3: code must be a whole number"},
        {"name: a\nsteps:\n  - {delay: 1s, wait: 2s}\n", "t.yaml:3: a step is a map with one key"},
        {"name: a\nname: b\nsteps: []\n", "t.yaml:2: field \"name\" given twice"},
        {"steps: []\n", "t.yaml:1: field \"name\" is missing"},
        {"name: a\nsteps: [\n", "t.yaml:3: not valid YAML"},
        {"name: a\ntime-scale: 0\nsteps: []\n", "t.yaml:2: time-scale must be"},
    };
    for (const auto& c : cases) {
        const std::string e = loadError(c.text);
        EXPECT_EQ(e.rfind(c.expected, 0), 0u) << c.text << "\n gave: " << e;
    }
    EXPECT_EQ(loadError("name: a\nsteps:\n  - set: {field: a.b, value: " + std::string(40, '[') + std::string(40, ']') + "}\n"),
              "t.yaml:3: value nested too deeply");
}

// Every corpus input, past crashers among them, is accepted or refused with a ScenarioError.
TEST(ScenarioLoader, FuzzCorpusInputs) {
    size_t inputs = 0;
    for (const auto& entry : fs::directory_iterator(fs::path(TAVIK_SOURCE_DIR) / "tests/fuzz/corpus/scenario")) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string text{std::istreambuf_iterator<char>(in), {}};
        ++inputs;
        try {
            parseScenario(text, "c.yaml");
        } catch (const ScenarioError& e) {
            EXPECT_EQ(std::string(e.what()).rfind("c.yaml", 0), 0u) << entry.path();
        } catch (const std::exception& e) {
            ADD_FAILURE() << entry.path() << ": " << e.what();
        }
    }
    EXPECT_GE(inputs, 10u);
}

class ScenarioRun : public tavik::test::SimTest {
protected:
    std::string write(const std::string& name, const std::string& text) {
        const std::string path = home() + "/" + name;
        std::ofstream(path) << text;
        return path;
    }
    int tavikctl(const std::string& args, std::string* out) { return run(binPath("tavikctl") + " " + args, out); }
};

TEST_F(ScenarioRun, CheckRefusesWhatTheUnitDoesNotTake) {
    const struct {
        const char* step;
        const char* expected;
    } cases[] = {
        {"  - expect: {field: supervisor.noSuchField, value: 1}", ":4: the unit has no field supervisor.noSuchField"},
        {"  - set: {field: supervisor.ssTemp, value: hot}", ":4: set supervisor.ssTemp: "},
        {"  - fault: {target: board, action: absent}", ":4: fault action: a board library has no action \"absent\""},
        {"  - fault: {code: 0x2224F4, action: reply, reply: xyz}", ":4: fault reply: "},
    };
    for (const auto& c : cases) {
        const std::string file = write("bad.yaml", std::string("name: bad\nsteps:\n  - delay: 1s\n") + c.step + "\n");
        std::string out;
        EXPECT_EQ(tavikctl("sim scenario check " + file, &out), 2) << c.step;
        EXPECT_NE(out.find(file + c.expected), std::string::npos) << c.step << "\n" << out;
    }
    std::string out;
    EXPECT_EQ(tavikctl("sim scenario check " + write("good.yaml", "name: g\nprofile: no-battery\nsteps:\n  - set: {field: battery.fitted, value: true}\n"), &out), 0) << out;
}

// Every step kind the examples do not cover, a failure with its line, the JUnit file read back by
// python3's XML parser, and a background program stopped (SIGTERM) at the end.
TEST_F(ScenarioRun, RunsStepsAndReportsFailures) {
    const std::string state = home() + "/state.json", frame = home() + "/frame.bmp";
    const std::string passing = write("pass.yaml", R"(name: every step
time-scale: 1000
steps:
  - run: {name: sleeper, command: 'trap "echo got TERM; exit 3" TERM; echo started; while :; do sleep 0.01; done', background: true}
  - set: {field: supervisor.ssTemp, value: 60}
  - expect: {field: supervisor.maxTemp, min: 60, max: 60}
  - fault: {code: 0x222468, action: fail, times: 1}
  - run: {name: diag, command: tavikctl diag, code: 1}
  - expect-log: {code: 0x222468, ok: false}
  - clear-faults: true
  - ramp: {field: lightsensor.lux, from: 0, to: 90, over: 3s, steps: 3}
  - expect: {field: lightsensor.lux, value: 90}
  - run: {name: setting, command: tavikctl settings set Greeting hello}
  - expect-setting: {key: Greeting, value: hello}
  - run: {name: late, command: 'sleep 0.05; tavikctl settings set Counter 12', background: true}
  - wait-setting: {key: Counter, min: 10, max: 20, timeout: 1h}
  - delay: 2s
  - wait: {field: supervisor.ssTemp, value: 60, timeout: 1s}
  - wait-log: {code: 0x222468, count: 1, timeout: 1s}
  - snapshot: {state: )" + state + R"(}
  - snapshot: {frame: )" + frame + R"(}
)");
    const std::string failing = write("fail.yaml", "name: too cold\ntime-scale: 1000\nsteps:\n  - run: {name: talker, command: 'echo \"<&> \\\"said\\\"\"; printf \"\\\\001\\\\377\\\\n\"'}\n"
                                                   "  - expect: {field: supervisor.ssTemp, min: 70}\n  - delay: 1s\n");
    const std::string junit = home() + "/report.xml";
    std::string out;
    EXPECT_EQ(tavikctl("sim scenario run " + passing + " " + failing + " --junit " + junit + " --home " + home() + "/runs", &out), 1) << out;
    EXPECT_NE(out.find("PASSED every step"), std::string::npos) << out;
    EXPECT_NE(out.find(failing + ":5: expect: supervisor.ssTemp: expected >= 70, actual 41"), std::string::npos) << out;
    EXPECT_NE(out.find("end: sleeper stopped by the scenario (exit 3)"), std::string::npos) << out;
    EXPECT_FALSE(fs::exists(home() + "/runs/1-pass")) << "homes are removed without --keep";

    const json unitState = json::parse(std::ifstream(state));
    EXPECT_EQ(unitState["supervisor"]["ssTemp"], 60);
    char magic[2] = {};
    std::ifstream(frame, std::ios::binary).read(magic, 2);
    EXPECT_EQ(std::string(magic, 2), "BM");

    // The report as a CI's JUnit reader sees it.
    const std::string reader = write("read.py", R"(import json, sys, xml.etree.ElementTree as ET
root = ET.parse(sys.argv[1]).getroot()
cases = [{"name": c.get("name"), "classname": c.get("classname"),
          "failure": (c.find("failure").get("message") if c.find("failure") is not None else None),
          "out": c.findtext("system-out") or ""} for c in root.iter("testcase")]
print(json.dumps({"tests": root.find("testsuite").get("tests"), "failures": root.find("testsuite").get("failures"), "cases": cases}))
)");
    std::string parsed;
    ASSERT_EQ(run("python3 " + reader + " " + junit, &parsed), 0) << parsed;
    const json report = json::parse(parsed);
    EXPECT_EQ(report["tests"], "2");
    EXPECT_EQ(report["failures"], "1");
    ASSERT_EQ(report["cases"].size(), 2u);
    EXPECT_EQ(report["cases"][0]["name"], "every step");
    EXPECT_TRUE(report["cases"][0]["failure"].is_null());
    EXPECT_NE(report["cases"][0]["out"].get<std::string>().find("got TERM"), std::string::npos);
    EXPECT_EQ(report["cases"][1]["classname"], failing);
    EXPECT_EQ(report["cases"][1]["failure"], failing + ":5: expect: supervisor.ssTemp: expected >= 70, actual 41");
    EXPECT_NE(report["cases"][1]["out"].get<std::string>().find("<&> \"said\"\n\xEF\xBF\xBD\xEF\xBF\xBD\n"), std::string::npos)
        << report["cases"][1]["out"];
}

TEST_F(ScenarioRun, InvalidFileRunsNothing) {
    const std::string good = write("good.yaml", "name: g\nsteps:\n  - run: {name: marker, command: 'touch " + home() + "/ran'}\n");
    const std::string bad = write("bad.yaml", "name: b\nsteps:\n  - delay: soon\n");
    std::string out;
    EXPECT_EQ(tavikctl("sim scenario run " + good + " " + bad, &out), 2) << out;
    EXPECT_NE(out.find(bad + ":3: delay must be a duration"), std::string::npos) << out;
    EXPECT_FALSE(fs::exists(home() + "/ran"));
}

// The shipped examples against `tavikctl service run` and the example programs.
TEST_F(ScenarioRun, Examples) {
    const std::string dir = std::string(TAVIK_SOURCE_DIR) + "/examples/scenarios/";
    std::string out;
    const auto start = std::chrono::steady_clock::now();
    const int status = tavikctl("--json sim scenario run " + dir + "sunrise.yaml " + dir + "front_button_shutdown.yaml " +
                                    dir + "hot_low_battery.yaml " + dir + "fpga_retry.yaml --home " + home() + "/runs",
                                &out);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(status, 0) << out;
    const json results = json::parse(out, nullptr, false);
    ASSERT_TRUE(results.is_array()) << out;
    ASSERT_EQ(results.size(), 4u);
    for (const json& r : results) {
        EXPECT_TRUE(r["passed"].get<bool>()) << r.dump(2);
        std::cout << "  " << r["name"].get<std::string>() << ": " << r["wall_s"] << " s wall, " << r["unit_s"] << " s unit\n";
    }
    std::cout << "  four examples: " << wall << " s wall\n";
}

} // namespace
