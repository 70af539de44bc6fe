"""A loopback TCP proxy in front of `tavikctl sim serve` that can break every connection it
carries, for sim_remote_wtest's reconnection check: when the file CUT appears, it closes every
connection (both sides), removes CUT and creates CUT.done. Prints its port, then serves until
killed.

    cutting_proxy.py SERVER_PORT CUT
"""
import os
import socket
import sys
import threading
import time

server_port, cut = int(sys.argv[1]), sys.argv[2]
lock = threading.Lock()
open_sockets = []


def pump(source, sink):
    try:
        while True:
            data = source.recv(65536)
            if not data:
                break
            sink.sendall(data)
    except OSError:
        pass
    for s in (source, sink):
        try:
            s.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass


def accept(listener):
    while True:
        client, _ = listener.accept()
        upstream = socket.create_connection(("127.0.0.1", server_port))
        for s in (client, upstream):
            s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        with lock:
            open_sockets.extend((client, upstream))
        threading.Thread(target=pump, args=(client, upstream), daemon=True).start()
        threading.Thread(target=pump, args=(upstream, client), daemon=True).start()


listener = socket.socket()
listener.bind(("127.0.0.1", 0))
listener.listen(16)
print(listener.getsockname()[1], flush=True)
threading.Thread(target=accept, args=(listener,), daemon=True).start()
while True:
    if os.path.exists(cut):
        with lock:
            for s in open_sockets:
                try:
                    s.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass
                s.close()
            open_sockets.clear()
        os.remove(cut)
        open(cut + ".done", "w").close()
    time.sleep(0.02)
