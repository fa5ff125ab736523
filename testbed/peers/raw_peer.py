#!/usr/bin/python3
"""Scripted TCP peers for the network client tests.

Each scenario listens on a loopback port of its own and plays one conversation
per connection: the replies no real server sends (split, oversized, endless or
trickling). What a client sent is appended to "raw-<scenario>.log" in the peer
folder, so a test can check the exact bytes on the wire; "raw-<scenario>.ends"
grows by one byte when a conversation has ended.

Usage: raw_peer.py FOLDER   (writes FOLDER/raw_peer.ports: "name port" lines)
"""
import os
import socket
import sys
import threading
import time

import http_scenarios
import smtp_scenarios

LIFETIME = 3600      # the peer ends by itself after an hour
IO_TIMEOUT = 30      # no conversation waits longer than this for one read


class Conversation:
    """One accepted connection: reads are logged and bounded in time."""

    def __init__(self, sock, log_path, ports):
        self.sock = sock
        self.ports = ports
        self.log_path = log_path
        self.pending = b""
        sock.settimeout(IO_TIMEOUT)

    def _record(self, data):
        with open(self.log_path, "ab") as log:
            log.write(data)

    def receive(self, limit=65536):
        """Returns what arrived next (b"" when the client closed)."""
        if self.pending:
            data, self.pending = self.pending, b""
            return data
        try:
            data = self.sock.recv(limit)
        except OSError:
            return b""
        self._record(data)
        return data

    def receive_until(self, marker, limit=1 << 20):
        """Reads until the marker (included); b"" when the client closed first."""
        data = b""
        while marker not in data and len(data) < limit:
            chunk = self.receive()
            if not chunk:
                return b""
            data += chunk
        end = data.find(marker) + len(marker)
        self.pending = data[end:]
        return data[:end]

    def send(self, data):
        try:
            self.sock.sendall(data)
            return True
        except OSError:
            return False

    def trickle(self, data, pause):
        for i in range(len(data)):
            if not self.send(data[i:i + 1]):
                return False
            time.sleep(pause)
        return True


def serve(listener, name, play, folder, ports):
    log_path = os.path.join(folder, "raw-%s.log" % name)
    ends_path = os.path.join(folder, "raw-%s.ends" % name)
    while True:
        sock, _ = listener.accept()

        def run(sock=sock):
            try:
                play(Conversation(sock, log_path, ports))
            except OSError:
                pass
            finally:
                sock.close()
                # One byte per conversation ended: a test waits for it before it
                # looks at the log, which then holds all the client sent.
                with open(ends_path, "ab") as ends:
                    ends.write(b".")

        threading.Thread(target=run, daemon=True).start()


def main():
    folder = sys.argv[1]
    scenarios = dict(http_scenarios.SCENARIOS)
    scenarios.update(smtp_scenarios.SCENARIOS)
    ports = {}
    for name, play in sorted(scenarios.items()):
        listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        listener.bind(("127.0.0.1", 0))
        listener.listen(16)
        ports[name] = listener.getsockname()[1]
        threading.Thread(target=serve, args=(listener, name, play, folder, ports),
                         daemon=True).start()
    temp = os.path.join(folder, "raw_peer.ports.tmp")
    with open(temp, "w") as out:
        for name, port in sorted(ports.items()):
            out.write("raw-%s %d\n" % (name, port))
    os.rename(temp, os.path.join(folder, "raw_peer.ports"))
    time.sleep(LIFETIME)


if __name__ == "__main__":
    main()
