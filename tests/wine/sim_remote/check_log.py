"""Compares the unit's request log (tavikctl --json sim log) with what sim_remote_wtest expects
there: its driver requests (opens excluded) from the first on, byte for byte, and request counts,
all under the Windows process id the program gave in its greeting, with the program named.

    check_log.py EXPECTED LOG_JSON
"""
import json
import sys

DEVICE = "\\\\.\\TavikDrv"


def main(expected_path, log_path):
    pid, requests, counts = None, [], {}
    with open(expected_path) as f:
        for line in f:
            parts = line.split()
            if parts and parts[0] == "pid":
                pid = int(parts[1])
            elif parts and parts[0] == "request":
                # "request CODE IN OUT", an empty payload written as nothing between the spaces
                fields = line.rstrip("\r\n").split(" ")
                requests.append((int(fields[1]), fields[2].lower(), fields[3].lower()))
            elif parts and parts[0] == "count":
                counts[int(parts[1])] = int(parts[2])
    with open(log_path) as f:
        log = json.load(f)

    mine = [e for e in log if e.get("pid") == pid]
    failures = []
    if not mine:
        failures.append(f"no log entry with the program's process id {pid}")
    unnamed = [e for e in mine if "sim_remote_wtest.exe" not in e.get("client", "")]
    if unnamed:
        failures.append(f"{len(unnamed)} entries do not name the client, e.g. {unnamed[0]}")
    driver = [e for e in mine if e.get("target") == DEVICE and not (e.get("code") == 0 and e.get("note") == "open")]
    got = [(e.get("code"), e.get("in", "").lower(), e.get("out", "").lower()) for e in driver[: len(requests)]]
    if got != requests:
        failures.append("driver requests differ:\n  expected " + repr(requests) + "\n  logged   " + repr(got))
    for code, count in counts.items():
        n = sum(1 for e in driver if e.get("code") == code)
        if n != count:
            failures.append(f"{n} requests 0x{code:X}, expected {count}")
    for text in failures:
        print("FAILED log:", text)
    print(f"log: {len(mine)} entries of process {pid}, {len(requests)} requests compared byte for byte, "
          f"{len(counts)} counts; {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
