#!/usr/bin/env python3
"""First load of the panel page from loopback in headless Chromium: median and p95 over 20 loads of
the navigation timing (load event end) and of the moment the page first drew the unit's state
(its "panel-drawn" mark), after one warm-up load. Prints the load average beside the figures.

usage: python3 bench/panel_load_bench.py [build/host/bin/tavikctl]   (a scratch unit home of its own;
Debian's chromium, chromium-driver and python3-selenium, run with /usr/bin/python3)
"""
import json
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.support.ui import WebDriverWait

LOADS = 20
TAVIKCTL = sys.argv[1] if len(sys.argv) > 1 else os.path.join("build", "host", "bin", "tavikctl")
home = tempfile.mkdtemp(prefix="tavik-bench-")
os.environ["TAVIK_HOME"] = home
server = driver = None


def p95(values):
    ordered = sorted(values)
    return ordered[max(0, -(-len(ordered) * 95 // 100) - 1)]


try:
    subprocess.run([TAVIKCTL, "sim", "reset"], check=True, capture_output=True, timeout=30)
    server = subprocess.Popen([TAVIKCTL, "--json", "sim", "panel", "--listen", "127.0.0.1:0"],
                              stdout=subprocess.PIPE, text=True)
    url = json.loads(server.stdout.readline())["url"]
    options = webdriver.ChromeOptions()
    options.binary_location = shutil.which("chromium")
    for a in ("--headless", "--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-background-networking",
              "--disable-component-update", "--disable-sync", "--disable-dev-shm-usage", "--window-size=1400,1000",
              "--user-data-dir=" + os.path.join(home, "chromium")):
        options.add_argument(a)
    driver = webdriver.Chrome(service=Service(shutil.which("chromedriver")), options=options)
    driver.set_page_load_timeout(10)
    loaded, drawn = [], []
    for i in range(LOADS + 1):
        driver.get("about:blank")
        driver.get(url)
        WebDriverWait(driver, 10, poll_frequency=0.01).until(
            lambda d: d.execute_script("return performance.getEntriesByName('panel-drawn').length > 0"))
        load, mark = driver.execute_script(
            "return [performance.getEntriesByType('navigation')[0].loadEventEnd,"
            " performance.getEntriesByName('panel-drawn')[0].startTime]")
        if i > 0:  # the first load warms up the browser and the server
            loaded.append(load)
            drawn.append(mark)
    for label, values in (("page loaded (load event end)", loaded), ("unit's state drawn", drawn)):
        print(f"{label:<30} median {statistics.median(values):6.1f} ms   p95 {p95(values):6.1f} ms   ({LOADS} loads)")
    print("load average %.2f %.2f %.2f" % os.getloadavg())
finally:
    if driver:
        driver.quit()
    if server:
        server.send_signal(signal.SIGTERM)
        server.wait(10)
    shutil.rmtree(home, ignore_errors=True)
