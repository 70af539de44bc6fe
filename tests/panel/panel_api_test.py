"""The JSON API of `tavikctl sim panel` over plain HTTP (no browser), against a unit of its own.

Run by ctest with TAVIKCTL. Every change goes through the model's validation: a refusal is a 400
with its message and leaves the unit as it was.
"""
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import urllib.error
import urllib.request

from panel_support import start_panel, stop

TAVIKCTL = os.environ["TAVIKCTL"]
HOME = tempfile.mkdtemp(prefix="tavik-panel-api-", dir=os.environ.get("TAVIK_TEST_HOME_PARENT"))
os.environ["TAVIK_HOME"] = HOME
os.environ["TAVIK_TIME_SCALE"] = "20"
WAIT = 10
FPGA_IMAGE = os.path.join(os.path.dirname(__file__), "..", "fuzz", "corpus", "fpga", "three_records.hex")


def tavikctl(*args):
    return subprocess.run([TAVIKCTL, *args], check=True, capture_output=True, text=True, timeout=30).stdout


def sim_get(field):
    return json.loads(tavikctl("--json", "sim", "get", field))["value"]


def raw_frame(width, lines, colour):
    """A raw capture frame of two fields of `lines` lines, every pixel (blue, green, red)."""
    header = struct.pack("<4I", 1, width, lines, lines).ljust(256, b"\0")
    return header + bytes([*colour, 0]) * (width * lines * 2)


class PanelApi(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        tavikctl("sim", "reset")
        cls.server, info = start_panel(TAVIKCTL)
        cls.base = "http://127.0.0.1:%d" % info["port"]
        cls.token = info["url"].split("token=")[1]

    @classmethod
    def tearDownClass(cls):
        stop(cls.server, WAIT)
        shutil.rmtree(HOME, ignore_errors=True)

    def setUp(self):
        tavikctl("sim", "reset")

    def call(self, path, body=None, raw=None):
        """(status, content type, body: parsed JSON or bytes)."""
        data = raw if raw is not None else json.dumps(body).encode() if body is not None else None
        req = urllib.request.Request(self.base + path, data=data, headers={"Authorization": "Bearer " + self.token})
        if data is not None:
            req.add_header("Content-Type", "application/octet-stream" if raw is not None else "application/json")
        try:
            res = urllib.request.urlopen(req, timeout=WAIT)
        except urllib.error.HTTPError as e:
            res = e
        content = res.read()
        kind = res.headers.get("Content-Type", "")
        return res.status, kind, json.loads(content) if kind.startswith("application/json") else content

    def assertRefused(self, path, body, unchanged_field):
        before = sim_get(unchanged_field)
        status, _, doc = self.call(path, body)
        self.assertEqual(status, 400, doc)
        self.assertTrue(doc["error"])
        self.assertEqual(sim_get(unchanged_field), before)

    def test_refusals_leave_the_unit_unchanged(self):
        cases = [
            ("/api/light", {"lux": -1}, "lightsensor.lux"),
            ("/api/light", {"lux": "bright"}, "lightsensor.lux"),
            ("/api/light", {"ramp": []}, "lightsensor.lux"),
            ("/api/light", {"ramp": [[0, 10, 20]]}, "lightsensor.lux"),
            ("/api/button", {"press": "double"}, "power"),
            ("/api/video?input=3", {"source": "pattern"}, "video"),
            ("/api/video?input=1", {"source": "camera"}, "video"),
            ("/api/profile", {"profile": "no-such-profile"}, "driver"),
            ("/api/profile", {"profile": "/etc/passwd"}, "driver"),
            ("/api/supply", {"selector": 0, "volts": -3}, "adc"),
            ("/api/supply", {"selector": 16, "volts": 3}, "adc"),
            ("/api/supply", {"selector": 3, "volts": 3}, "adc"),  # not measured on this unit
            ("/api/supply", {"selector": 0, "volts": 700}, "adc"),  # beyond a reading: the model's own refusal
        ]
        for path, body, field in cases:
            with self.subTest(path=path, body=body):
                self.assertRefused(path, body, field)

    def test_light_held_and_ramped(self):
        self.assertEqual(self.call("/api/light", {"lux": 1234})[0], 200)
        self.assertEqual(sim_get("lightsensor.lux"), 1234)
        status, _, doc = self.call("/api/light", {"ramp": [[0, 100], [3600, 5000]]})
        self.assertEqual(status, 200, doc)
        self.assertEqual(len(doc["script"]), 2)
        self.assertLess(sim_get("lightsensor.lux"), 5000)

    def test_button_posts_the_configured_action(self):
        # Short press: the start-up configuration's action 1 (suspend), long: 2 (shutdown).
        for press, action, transition in (("short", "suspend", 2), ("long", "shutdown", 3)):
            with self.subTest(press=press):
                tavikctl("sim", "set", "power.powerRequest", "0")
                status, _, doc = self.call("/api/button", {"press": press})
                self.assertEqual((status, doc["action"]), (200, action))
                self.assertEqual(sim_get("power.buttonTransition"), transition)
                self.assertEqual(sim_get("power.powerRequest"), 1)

    def test_video_thumbnail_follows_the_source(self):
        def thumbnail(input_):
            return self.call("/api/video/frame?input=%d&width=64" % input_)

        status, kind, bmp = thumbnail(1)
        self.assertEqual((status, kind), (200, "image/bmp"))
        width, height = struct.unpack("<iI", bmp[18:26])
        self.assertEqual((bmp[:2], width, height), (b"BM", 64, 51))  # the 720 x 576 test picture, scaled

        # A frame the user gave: its colour in the picture (pixels are blue, green, red).
        status, _, doc = self.call("/api/video?input=1", raw=raw_frame(32, 12, (10, 200, 30)))
        self.assertEqual(status, 200, doc)
        status, _, bmp = thumbnail(1)
        self.assertEqual(status, 200)
        self.assertEqual(struct.unpack("<iI", bmp[18:26]), (32, 24))
        self.assertEqual(bmp[54:57], bytes([10, 200, 30]))

        for setup, input_ in ((lambda: self.call("/api/video?input=1", raw=b"not a frame"), 1),
                              (lambda: tavikctl("sim", "set", "video.input2.capture", "false"), 2)):
            setup()
            status, _, doc = thumbnail(input_)
            self.assertEqual(status, 404)
            self.assertIn("no signal", doc["error"])
        self.assertEqual(self.call("/api/video/frame?input=1&width=99999")[0], 400)

    def test_supply_in_volts(self):
        status, _, doc = self.call("/api/supply", {"selector": 0, "volts": 18.0})
        self.assertEqual(status, 200, doc)
        # 12 * 3.3 V over 4096 counts per volt step on selector 0.
        self.assertEqual(sim_get("adc.raw.0"), round(18.0 * 4096 / 39.6))
        self.assertAlmostEqual(doc["volts"], 18.0, delta=0.01)
        shown = {s["selector"]: s for s in self.call("/api/supply")[2]}
        self.assertAlmostEqual(shown[0]["volts"], doc["volts"])
        self.assertNotIn(3, shown)  # a selector the supervisor does not measure

    def test_profile_and_reset(self):
        self.assertEqual(self.call("/api/profile", {"profile": "no-telematics"})[0], 200)
        status = self.call("/api/status")[2]
        self.assertEqual(status["telematics"]["modules"], {"state": "not fitted"})
        tavikctl("sim", "set", "supervisor.ssTemp", "60")
        tavikctl("sim", "fault", "add", "--code", "0x222468", "--action", "fail")
        status, _, doc = self.call("/api/reset", {})
        self.assertEqual((status, doc["profile"]), (200, "default"))
        self.assertEqual(sim_get("supervisor.ssTemp"), 41)
        self.assertEqual(self.call("/api/faults")[2], [])
        self.assertIn("gprs_power", self.call("/api/status")[2]["telematics"])

    def test_firmware_job_followed_through_the_log(self):
        self.assertEqual(self.call("/api/firmware")[2], {"running": False, "target": None})
        tavikctl("firmware", "upgrade", "fpga", FPGA_IMAGE)
        doc = self.call("/api/firmware")[2]
        self.assertEqual({k: doc[k] for k in ("running", "target", "step", "programmed", "percent")},
                         {"running": False, "target": "fpga", "step": "done", "programmed": 32, "percent": 100})
        # A reset clears the log, and the job's record with it.
        tavikctl("sim", "reset")
        self.assertEqual(self.call("/api/firmware")[2], {"running": False, "target": None})
        # Held in the programming path: a job the unit sees running.
        tavikctl("sim", "set", "fpga.switch", "15")
        self.assertTrue(self.call("/api/firmware")[2]["running"])


if __name__ == "__main__":
    unittest.main(verbosity=2)
