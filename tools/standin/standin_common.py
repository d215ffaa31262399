"""What the two stand-in servers share: the listening socket on 127.0.0.1,
the address file for the client, per-connection scenarios and transcripts,
and the rules that make them end on their own.

A server serves the client whose working folder is DIR:
  DIR/data/<address file>     "127.0.0.1 PORT", written once listening
  DIR/standin/<name>.json     the scenario, read again at every connection
  DIR/standin/<prefix>-N.bin  every byte received on connection N of a prefix
  DIR/standin/server.log      what the servers did, for a failing test's reader
"""

import argparse
import json
import os
import select
import signal
import socket
import sys
import threading
import time


class Connection:
    """One accepted client: receives into a transcript, and lets a script
    wait for text that the client sent."""

    def __init__(self, server, sock, transcript_path, number):
        self.server = server
        self.sock = sock
        self.number = number
        self.transcript_path = transcript_path
        self.received = bytearray()
        self.consumed = 0  # bytes already matched by expect()
        self.closed_by_client = False
        self.lock = threading.Condition()
        with open(transcript_path, "wb"):
            pass
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        while True:
            try:
                data = self.sock.recv(65536)
            except OSError:
                data = b""
            with self.lock:
                if not data:
                    self.closed_by_client = True
                    self.lock.notify_all()
                    return
                self.received += data
                with open(self.transcript_path, "ab") as f:
                    f.write(data)
                self.lock.notify_all()

    def log(self, text):
        self.server.log("%s #%d: %s" % (self.server.name, self.number, text))

    def send(self, data):
        try:
            self.sock.sendall(data)
            return True
        except OSError as e:
            self.log("send failed: %s" % e)
            return False

    def expect(self, text, timeout):
        """Waits until the client has sent text after what earlier waits
        matched; the match and everything before it count as used."""
        want = text if isinstance(text, bytes) else text.encode("latin-1")
        deadline = time.monotonic() + timeout
        with self.lock:
            while True:
                at = self.received.find(want, self.consumed)
                if at >= 0:
                    self.consumed = at + len(want)
                    return True
                if self.closed_by_client:
                    self.log("client closed while waiting for %r" % want)
                    return False
                left = deadline - time.monotonic()
                if left <= 0:
                    self.log("timed out waiting for %r" % want)
                    return False
                self.lock.wait(min(left, 0.5))

    def read_line(self, timeout):
        """The next line (with its line feed) after what was used, or None."""
        deadline = time.monotonic() + timeout
        with self.lock:
            while True:
                at = self.received.find(b"\n", self.consumed)
                if at >= 0:
                    line = bytes(self.received[self.consumed:at + 1])
                    self.consumed = at + 1
                    return line
                if self.closed_by_client or time.monotonic() >= deadline:
                    return None
                self.lock.wait(0.5)

    def wait_for_client_close(self, timeout):
        """Never hang up before the client's last line: wait for its close."""
        deadline = time.monotonic() + timeout
        with self.lock:
            while not self.closed_by_client and time.monotonic() < deadline:
                self.lock.wait(0.5)
        self.close()

    def close(self):
        try:
            self.sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self.sock.close()


class StandInServer:
    def __init__(self, name, address_file, scenario_file, default_prefix, handler):
        parser = argparse.ArgumentParser(description="Stand-in %s for the Quorvex client's tests." % name)
        parser.add_argument("--dir", default=".", help="the client's working folder (default: here)")
        parser.add_argument("--idle-exit", type=float, default=1800.0,
                            help="end after this many seconds without a connection")
        parser.add_argument("--parent", type=int, default=0,
                            help="end when this process is gone (the test command's)")
        self.args = parser.parse_args()
        self.name = name
        self.dir = os.path.abspath(self.args.dir)
        self.standin_dir = os.path.join(self.dir, "standin")
        self.address_file = address_file
        self.scenario_file = scenario_file
        self.default_prefix = default_prefix
        self.handler = handler
        self.counts = {}
        self.log_lock = threading.Lock()
        os.makedirs(self.standin_dir, exist_ok=True)
        os.makedirs(os.path.join(self.dir, "data"), exist_ok=True)

    def log(self, text):
        with self.log_lock:
            with open(os.path.join(self.standin_dir, "server.log"), "a") as f:
                f.write("%.3f %s\n" % (time.time(), text))

    def scenario(self):
        path = os.path.join(self.standin_dir, self.scenario_file)
        try:
            with open(path, "r", encoding="utf-8") as f:
                return json.load(f)
        except FileNotFoundError:
            return {}
        except (OSError, ValueError) as e:
            self.log("%s: unreadable scenario %s: %s" % (self.name, path, e))
            return {}

    def path(self, relative):
        return relative if os.path.isabs(relative) else os.path.join(self.dir, relative)

    def _parent_alive(self):
        if not self.args.parent:
            return True
        try:
            os.kill(self.args.parent, 0)
            return True
        except ProcessLookupError:
            return False
        except PermissionError:
            return True

    def run(self):
        signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
        listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        listener.bind(("127.0.0.1", 0))
        listener.listen(16)
        port = listener.getsockname()[1]
        # Written whole under another name first: the client never reads half a file.
        target = os.path.join(self.dir, "data", self.address_file)
        with open(target + ".tmp", "w") as f:
            f.write("127.0.0.1 %d\n" % port)
        os.replace(target + ".tmp", target)
        self.log("%s listening on 127.0.0.1:%d" % (self.name, port))
        last_activity = time.monotonic()
        while self._parent_alive() and time.monotonic() - last_activity < self.args.idle_exit:
            ready, _, _ = select.select([listener], [], [], 0.5)
            if not ready:
                continue
            sock, _ = listener.accept()
            sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            last_activity = time.monotonic()
            scenario = self.scenario()
            prefix = scenario.get("transcript", self.default_prefix)
            number = self.counts.get(prefix, 0) + 1
            self.counts[prefix] = number
            transcript = os.path.join(self.standin_dir, "%s-%d.bin" % (prefix, number))
            connection = Connection(self, sock, transcript, number)
            connection.log("accepted, transcript %s" % os.path.basename(transcript))
            threading.Thread(target=self._serve, args=(connection, scenario), daemon=True).start()
        self.log("%s ends" % self.name)

    def _serve(self, connection, scenario):
        try:
            self.handler(self, connection, scenario)
        except Exception as e:  # a broken scenario must not take the server down
            connection.log("handler failed: %r" % e)
            connection.close()


def to_bytes(text):
    """Scenario texts are JSON strings; each character is one byte (latin-1),
    so "\\u00ff" stands for the byte 255."""
    return text.encode("latin-1")
