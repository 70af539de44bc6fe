"""`tavikctl sim panel` in a real browser (headless Chromium) against a unit of its own.

Run by ctest with: tavikctl, the build's tavik2 Python package on PYTHONPATH, and
TAVIK_PANEL_ARTIFACTS (where the screenshots go). Exits 77 (skipped) when Chromium is absent.
Prints the panel's figures: first page load, library change to page (p95), idle CPU of the server.
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.error
import urllib.request

SKIP = 77
CHROMIUM = shutil.which("chromium")
DRIVER = shutil.which("chromedriver")
if not CHROMIUM or not DRIVER:
    print("SKIPPED: the panel's browser test needs Debian's chromium and chromium-driver")
    sys.exit(SKIP)

from selenium import webdriver  # noqa: E402
from selenium.webdriver.chrome.service import Service  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.support.ui import WebDriverWait  # noqa: E402

from panel_support import start_panel, stop  # noqa: E402

TAVIKCTL = os.environ["TAVIKCTL"]
ARTIFACTS = os.environ.get("TAVIK_PANEL_ARTIFACTS") or tempfile.mkdtemp(prefix="panel-artifacts-")
HOME = tempfile.mkdtemp(prefix="tavik-panel-", dir=os.environ.get("TAVIK_TEST_HOME_PARENT"))
os.environ["TAVIK_HOME"] = HOME
os.environ["TAVIK_TIME_SCALE"] = "20"  # the backlight controller's 800 ms period becomes 40 ms
WAIT = 10  # seconds any one thing may take to show

import tavik2  # noqa: E402  (after TAVIK_HOME)

figures = {}


def tavikctl(*args, check=True):
    return subprocess.run([TAVIKCTL, *args], check=check, capture_output=True, text=True, timeout=30)


def request(url, body=None, headers=None):
    """(status, parsed JSON) of one request."""
    data = json.dumps(body).encode() if body is not None else None
    req = urllib.request.Request(url, data=data, headers=headers or {})
    if data is not None:
        req.add_header("Content-Type", "application/json")
    try:
        with urllib.request.urlopen(req, timeout=WAIT) as res:
            return res.status, json.loads(res.read())
    except urllib.error.HTTPError as e:
        return e.code, json.loads(e.read() or b"null")


def browser():
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for a in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
              "--disable-background-networking", "--disable-component-update", "--disable-sync",
              "--disable-dev-shm-usage", "--window-size=1400,1000",
              "--user-data-dir=" + tempfile.mkdtemp(prefix="chromium-", dir=HOME)):
        options.add_argument(a)
    return webdriver.Chrome(service=Service(DRIVER), options=options)


class Panel(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        tavikctl("sim", "reset")
        cls.server, cls.info = start_panel(TAVIKCTL)
        cls.url = cls.info["url"]
        cls.base = "http://127.0.0.1:%d" % cls.info["port"]
        cls.token = cls.url.split("token=")[1]
        cls.service = None
        cls.driver = browser()
        cls.driver.set_page_load_timeout(WAIT)
        cls.driver.get(cls.url)
        cls.wait_for(cls.driver, lambda d: d.find_element(By.ID, "connection").text == "live")
        figures["first load ms"] = cls.driver.execute_script(
            "const t = performance.getEntriesByType('navigation')[0]; return Math.round(t.loadEventEnd);")

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        if cls.service:
            stop(cls.service, WAIT)
        stop(cls.server, WAIT)
        print("panel figures:", json.dumps(figures), file=sys.stderr)
        shutil.rmtree(HOME, ignore_errors=True)

    @staticmethod
    def wait_for(driver, condition, timeout=WAIT):
        return WebDriverWait(driver, timeout, poll_frequency=0.02).until(condition)

    def api(self, path, body=None):
        return request(self.base + path, body, {"Authorization": "Bearer " + self.token})

    def shot(self, name):
        self.driver.save_screenshot(os.path.join(ARTIFACTS, name + ".png"))

    def attribute(self, element_id, name, driver=None):
        return (driver or self.driver).find_element(By.ID, element_id).get_attribute(name)

    def test_api_needs_the_token_and_this_server_as_host_and_origin(self):
        cases = [
            ("/api/status", {}, 403),
            ("/api/status?token=wrong" + "0" * 26, {}, 403),
            ("/api/status", {"Authorization": "Bearer " + self.token, "Host": "evil.example:%d" % self.info["port"]}, 403),
            ("/api/status", {"Authorization": "Bearer " + self.token, "Origin": "http://evil.example"}, 403),
            ("/api/status?token=" + self.token, {"Origin": self.base}, 200),
            ("/api/get?field=supervisor.ssTemp", {"Authorization": "Bearer " + self.token}, 200),
        ]
        for path, headers, expected in cases:
            with self.subTest(path=path, headers=headers):
                self.assertEqual(request(self.base + path, headers=headers)[0], expected)
        status, doc = request(self.base + "/api/set", {"field": "supervisor.ssTemp", "value": 3})
        self.assertEqual(status, 403)
        self.assertEqual(tavikctl("sim", "get", "supervisor.ssTemp").stdout.strip(), "41")

    def test_api_answers_as_the_tool_does(self):
        self.assertEqual(self.api("/api/get?field=driver.versions.ss")[1],
                         json.loads(tavikctl("--json", "sim", "get", "driver.versions.ss").stdout))
        status, doc = self.api("/api/set", {"field": "supervisor.ssTemp", "value": 70000})
        self.assertEqual(status, 400)
        self.assertIn("ssTemp", doc["error"])
        self.assertEqual(self.api("/api/fault", {"action": "count"}), (400, {"error": "--action count needs --count N",
                                                                           "option": "--count"}))
        self.assertEqual(self.api("/api/profile", {"profile": "../etc/passwd"})[0], 400)
        # The status is read without changing any model (reading the identity EEPROMs moves their
        # address pointers, as on the hardware).
        before = json.loads(tavikctl("--json", "sim", "state").stdout)
        status, doc = self.api("/api/status")
        after = json.loads(tavikctl("--json", "sim", "state").stdout)
        self.assertEqual(status, 200)
        self.assertEqual(doc["versions"]["ss"], json.loads(tavikctl("--json", "status", check=False).stdout)["versions"]["ss"])
        for state in (before, after):
            state.pop("seq")
            for device in ("main", "addon"):
                state["board"]["eeprom"][device].pop("pointer")
        self.assertEqual(before, after)
        seq = json.loads(tavikctl("--json", "sim", "state").stdout)["seq"]
        with tavik2.Diagnostic() as diag:
            diag.getSSTemp()
        log = self.api("/api/log?since=%d" % seq)[1]
        self.assertTrue(log and all(e["seq"] > seq for e in log))
        self.assertIn(0x222468, [e["code"] for e in log])

    def test_led_set_by_the_library_shows_in_its_colour(self):
        self.driver.execute_script("""
            window.seen = [];
            new MutationObserver(() => window.seen.push([document.getElementById('led').dataset.color,
                                                        performance.timeOrigin + performance.now()]))
              .observe(document.getElementById('led'), {attributes: true, attributeFilter: ['data-color']});""")
        delays = []
        with tavik2.FrontLED() as led:
            for i in range(20):
                led.setColor(*[(15, 0, 0), (0, 0, 15)][i % 2])
                committed = time.time() * 1000
                # As the unit holds it (LED dimming follows the backlight).
                colour = "#" + "".join("%02x" % (c * 17) for c in led.getColor())
                self.wait_for(self.driver, lambda d: self.attribute("led", "data-color") == colour)
                seen = self.driver.execute_script("return window.seen.filter(s => s[0] === arguments[0]).pop()", colour)
                delays.append(seen[1] - committed)
        delays.sort()
        figures["library change to page p95 ms"] = round(delays[int(len(delays) * 0.95) - 1], 1)
        self.shot("led")

    def test_display_follows_the_light_through_the_backlight_controller(self):
        cls = type(self)
        cls.service = subprocess.Popen([TAVIKCTL, "service", "run"], stdout=subprocess.DEVNULL)
        tavikctl("backlight", "auto", "on")
        levels = []
        for lux in (10, 5000):
            self.driver.execute_script(
                "const s = document.getElementById('light'); s.value = arguments[0];"
                "s.dispatchEvent(new Event('change'));", lux)
            self.wait_for(self.driver, lambda d: float(tavikctl("sim", "get", "lightsensor.lux").stdout) == lux)
            # The page shows the level the controller reached for this light.
            def shown(d):
                unit = int(tavikctl("sim", "get", "backlight.level").stdout)
                page = int(self.attribute("display", "data-level"))
                time.sleep(0.2)
                return page == unit == int(tavikctl("sim", "get", "backlight.level").stdout) and [page]
            level = WebDriverWait(self.driver, 20, poll_frequency=0.1).until(shown)[0]
            levels.append(level)
            self.shot("display-%d-lux" % lux)
        self.assertLess(levels[0], levels[1])

    def test_fault_added_in_the_page_fails_the_next_library_call_and_refusals_show(self):
        d = self.driver
        for field, value in (("fault-target", "\\\\.\\TavikDrv"), ("fault-code", "0x2224A8")):
            d.find_element(By.ID, field).clear()
            d.find_element(By.ID, field).send_keys(value)
        d.find_element(By.ID, "fault-add").click()
        self.wait_for(d, lambda d: "2237608" in d.find_element(By.ID, "faults").text)
        with tavik2.Power() as power:
            with self.assertRaises(tavik2.Tavik2Error) as caught:
                power.getExtFanPowerStatus()
            self.assertEqual(caught.exception.code, tavik2.ERR_IOCTRL_FAILED)
            d.find_element(By.ID, "fault-clear").click()
            self.wait_for(d, lambda d: d.find_element(By.ID, "faults").text == "")
            self.assertEqual(power.getExtFanPowerStatus(), 0)
        # A value the model refuses: its message beside the control, nothing changed.
        d.find_element(By.ID, "set-field").send_keys("supervisor.ssTemp")
        d.find_element(By.ID, "set-value").send_keys("40000")
        d.find_element(By.ID, "set").click()
        self.wait_for(d, lambda d: "ssTemp" in d.find_element(By.ID, "set-msg").text)
        self.assertEqual(tavikctl("sim", "get", "supervisor.ssTemp").stdout.strip(), "41")
        self.shot("refused")

    def test_buzzer_sounds_at_its_frequency_once_sound_is_on(self):
        audio = lambda d: d.execute_script("return window.panelAudio()")  # noqa: E731
        with tavik2.Buzzer() as buzzer:
            buzzer.setFrequency(3100)
            buzzer.setVolume(51)
            self.driver.find_element(By.ID, "sound").click()
            try:
                self.wait_for(self.driver, lambda d: audio(d) and audio(d)["frequency"] == 3100)
                self.assertEqual(audio(self.driver)["gain"], 0)  # silent until the buzzer sounds
                buzzer.setTrigger(True)
                self.wait_for(self.driver, lambda d: audio(d)["gain"] > 0)
                buzzer.setTrigger(False)
                self.wait_for(self.driver, lambda d: audio(d)["gain"] == 0)
            finally:
                self.driver.find_element(By.ID, "sound").click()
        self.assertIsNone(audio(self.driver))

    def test_parts_follow_the_unit_and_absent_ones_show_so(self):
        d = self.driver
        state = lambda element_id: lambda d: self.attribute(element_id, "data-state")  # noqa: E731
        frames = int(self.attribute("video2", "data-frame") or 0)
        with tempfile.NamedTemporaryFile(dir=HOME, suffix=".raw") as garbage:
            garbage.write(b"no frame")
            garbage.flush()
            tavikctl("sim", "video", "frame", "2", garbage.name)
            self.wait_for(d, lambda d: state("video2")(d) == "nosignal")
        tavikctl("sim", "video", "frame", "2", "--pattern")
        self.wait_for(d, lambda d: state("video2")(d) == "signal" and int(self.attribute("video2", "data-frame")) > frames)
        try:
            tavikctl("sim", "load", "no-battery")
            self.wait_for(d, lambda d: state("battery")(d) == "absent")
        finally:
            tavikctl("sim", "load", "default")
        self.wait_for(d, lambda d: state("battery")(d) == "ok" and self.attribute("battery", "data-charge") == "94")

    def test_two_pages_stay_consistent(self):
        first = self.driver.current_window_handle
        self.driver.switch_to.new_window("window")
        self.driver.get(self.url)
        self.wait_for(self.driver, lambda d: d.find_element(By.ID, "connection").text == "live")
        second = self.driver.current_window_handle
        tavikctl("sim", "set", "digio.inputs", "10")
        for handle in (second, first):
            self.driver.switch_to.window(handle)
            self.wait_for(self.driver, lambda d: [d.find_element(By.ID, "input%d" % i).is_selected()
                                                  for i in range(4)] == [False, True, False, True])
        self.driver.switch_to.window(second)
        self.driver.find_element(By.ID, "input0").click()
        self.wait_for(self.driver, lambda d: tavikctl("sim", "get", "digio.inputs").stdout.strip() == "11")
        self.driver.close()
        self.driver.switch_to.window(first)
        self.wait_for(self.driver, lambda d: d.find_element(By.ID, "input0").is_selected())

    def test_zz_idle_server_cpu_and_the_tour_screenshot(self):
        """Runs last: the server's CPU while nothing changes, with a page open."""
        if type(self).service:
            stop(type(self).service, WAIT)
            type(self).service = None
        time.sleep(2)  # kept-alive connections of the last requests end
        ticks = os.sysconf("SC_CLK_TCK")

        def cpu():
            with open("/proc/%d/stat" % self.server.pid) as f:
                fields = f.read().rsplit(")", 1)[1].split()
            return (int(fields[11]) + int(fields[12])) / ticks

        start, t0 = cpu(), time.time()
        time.sleep(3)
        figures["idle server CPU %"] = round(100 * (cpu() - start) / (time.time() - t0), 2)
        self.driver.find_element(By.ID, "front").screenshot(os.path.join(ARTIFACTS, "panel-front.png"))
        self.shot("panel")
        # The front and the drawn parts, as docs/panel.png shows them.
        self.wait_for(self.driver, lambda d: d.find_element(By.ID, "video1").get_attribute("data-state") == "signal")
        self.driver.execute_script("for (const e of document.querySelectorAll('main > :not(#front):not(#parts)'))"
                                   " e.style.display = 'none';")
        self.driver.set_window_size(1400, 1300)  # an element is shot as far as the window shows it
        self.driver.find_element(By.TAG_NAME, "main").screenshot(os.path.join(ARTIFACTS, "panel-overview.png"))


if __name__ == "__main__":
    unittest.main(verbosity=2)
