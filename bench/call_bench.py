#!/usr/bin/env python3
"""The cost of one call through the tavik2 Python package: AuxVersion.getTavikVersion, as
bench/call_bench.cs measures it through the .NET binding and handle_bench (BM_ThroughExport/0) from C.

usage: PYTHONPATH=build/host/python python3 bench/call_bench.py   (a scratch unit home of its own)
"""
import os
import shutil
import tempfile
import time
import timeit

home = tempfile.mkdtemp(prefix="tavik-bench-")
os.environ["TAVIK_HOME"] = home
try:
    import tavik2

    for label, obj, op in (("AuxVersion.getTavikVersion", tavik2.AuxVersion(), "getTavikVersion"),
                           ("About.getUnitSerial (text)", tavik2.About(), "getUnitSerial")):
        call = getattr(obj, op)
        n = 20000
        # the thread's CPU time, so that a machine busy with other work does not count
        best = min(timeit.repeat(call, number=n, repeat=5, timer=time.thread_time)) / n
        print(f"python {label:<30} {best * 1e9:8.1f} ns/call")
        obj.close()
finally:
    shutil.rmtree(home, ignore_errors=True)
