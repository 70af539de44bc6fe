"""The install script's plan when the two architectures' package indexes disagree, fed a recorded
apt-cache policy: the security suite's i386 index could not be fetched after the host packages had
taken amd64 libraries from it."""
import os
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPT = os.path.join(HERE, "..", "..", "scripts", "apt_plan.py")
sys.path.insert(0, os.path.dirname(SCRIPT))
import apt_plan  # noqa: E402

POLICY = os.path.join(HERE, "policy-i386-security-missing.txt")


class PlanTest(unittest.TestCase):
    def setUp(self):
        with open(POLICY, encoding="utf-8") as f:
            self.pins, self.unfixable = apt_plan.plan(apt_plan.parse_policy(f.read(), "amd64"), "amd64", "i386")

    def test_each_package_settles_on_a_version_both_architectures_offer(self):
        got = {p.name: p.version for p in self.pins}
        self.assertEqual(got, {
            "libpcre2-8-0": "10.42-1",         # amd64 took the security version: goes back
            "libssl3": "3.0.20-1~deb12u2",     # amd64 would take the security version: stays
            "zlib1g": "1:1.2.13.dfsg-1",       # epoch kept
            "libfoo1": "1.0-1",                # the other way round: i386 index newer
        })  # libc6, cmake and wine32 agree or exist for one architecture: no pin

    def test_a_package_without_a_common_version_is_named(self):
        # libbar2's amd64 version is only in the dpkg status: not offered by any index
        self.assertEqual(self.unfixable, ["libbar2"])

    def test_command_writes_preferences_apt_reads_and_fails_on_the_unfixable(self):
        run = subprocess.run([sys.executable, SCRIPT, "--policy", POLICY], capture_output=True, text=True)
        self.assertEqual(run.returncode, 3)
        self.assertIn("Package: libpcre2-8-0:any\nPin: version 10.42-1\nPin-Priority: 1001\n", run.stdout)
        self.assertIn("libbar2: no version offered for both amd64 and i386", run.stderr)


if __name__ == "__main__":
    unittest.main()
