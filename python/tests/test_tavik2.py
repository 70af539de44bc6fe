"""The tavik2 package against a fresh simulated unit (default profile)."""
import os
import tempfile
import unittest

_home = tempfile.mkdtemp(prefix="tavik2-py-", dir=os.environ.get("TAVIK_TEST_HOME_PARENT"))
os.environ["TAVIK_HOME"] = _home
os.environ.setdefault("TAVIK_TIME_SCALE", "1000")

import tavik2  # noqa: E402  (the unit's home is chosen before the library loads)
from tavik2 import _functions  # noqa: E402


class FunctionTable(unittest.TestCase):
    def test_every_export_of_a_built_family_is_a_method(self):
        self.assertIn("About", tavik2.FAMILIES)
        self.assertIn("Video", tavik2.FAMILIES)
        missing = []
        for _ordinal, family, name, _result, _params in _functions.FUNCTIONS:
            if family not in tavik2.FAMILIES or name.endswith("_release") or name.startswith("Get"):
                continue
            if not hasattr(getattr(tavik2, family), name.split("_", 1)[1]):
                missing.append(name)
        self.assertEqual(missing, [])

    def test_constants_come_from_the_headers(self):
        self.assertEqual((tavik2.ERR_SUCCESS, tavik2.ERR_INVALID_PARAMETER, tavik2.ERR_GET_TEMP), (0, 9, 19))
        self.assertEqual(tavik2.UPGRADE_DONE, 6)


class Calls(unittest.TestCase):
    def test_out_parameters_come_back_as_values(self):
        with tavik2.AuxVersion() as versions:
            self.assertEqual(versions.getSSVersion(), (1, 3, 0, 0))
            self.assertEqual(versions.getFPGAVersion(), (0, 4, 0, 1))
        with tavik2.About() as about:
            self.assertEqual(about.getUnitSerial(), "U7654321")
            self.assertEqual(about.getDisplayResolution(), "1280x800")
            self.assertEqual(about.getNrOfCANConnections(), 2)
            self.assertIs(about.getIsGPSMounted(), True)

    def test_failure_raises_the_code_and_its_message(self):
        with tavik2.Diagnostic() as diag:
            with self.assertRaises(tavik2.Tavik2Error) as caught:
                diag.getPMTemp(200)
        self.assertEqual(caught.exception.code, tavik2.ERR_GET_TEMP)
        self.assertEqual(caught.exception.message, tavik2.error_text(tavik2.ERR_GET_TEMP))
        self.assertIn("Diagnostic_getPMTemp", str(caught.exception))

    def test_records_and_wrong_argument_counts(self):
        with tavik2.FirmwareUpgrade() as fw:
            status = fw.getUpgradeStatus(False)
            self.assertEqual(set(status), {"action", "percent", "result"})
            with self.assertRaises(TypeError):
                fw.getUpgradeStatus()

    def test_byte_buffers(self):
        with tavik2.Video() as video:
            video.init(1)
            bmp = video.takeSnapshotBmp(False, False)  # allocated by the library, freed by the package
            self.assertEqual(bmp[:2], b"BM")
            self.assertEqual(int.from_bytes(bmp[2:6], "little"), len(bmp))
            self.assertEqual(len(video.takeSnapshotRaw(64, False)), 64)
            raw = video.takeSnapshotRaw(tavik2.RAW_FRAME_BUFFER_SIZE, False)
            self.assertEqual(video.createBitmap(raw, False, False)[:2], b"BM")  # bytes in, sized by the package

    def test_closed_object_gives_invalid_parameter(self):
        about = tavik2.About()
        about.close()
        about.close()  # a second close does nothing
        with self.assertRaises(tavik2.Tavik2Error) as caught:
            about.getUnitSerial()
        self.assertEqual(caught.exception.code, tavik2.ERR_INVALID_PARAMETER)


if __name__ == "__main__":
    unittest.main()
