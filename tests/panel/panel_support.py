"""What the panel's tests share: `tavikctl sim panel` started on a free loopback port and stopped."""
import json
import signal
import subprocess


def start_panel(tavikctl):
    """(the server process, the JSON object it prints first: url, address, port, home)."""
    server = subprocess.Popen([tavikctl, "--json", "sim", "panel", "--listen", "127.0.0.1:0"],
                              stdout=subprocess.PIPE, text=True)
    return server, json.loads(server.stdout.readline())


def stop(process, wait):
    process.send_signal(signal.SIGTERM)
    process.wait(wait)
