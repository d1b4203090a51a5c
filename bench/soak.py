#!/usr/bin/env python3
"""Fault soak: a daemon of this build against misbehaving origins and clients.

Usage: bench/soak.py [--minutes M] [--clients N] [--limits TEXT] [--build DIR]

Starts `corvand -N` from the build folder (default build/) on a free loopback
port, below the build's own root (the settings, logs and pid file found there
are set aside and put back afterwards, as the end-to-end tests do), and one
scripted origin on 127.0.0.1. N keep-alive clients then send requests through
the proxy for M minutes (default 10): to origins that answer well, reset the
connection, stall, send garbage and trickle their answer, and as clients that
send half a head and vanish or close before the answer. Every 15 seconds it
samples the daemon's resident memory, threads and descriptors; at the end it
prints the requests, the outcomes by kind and the samples.

Loopback only; every loop is bounded by the deadline and a request count.
The daemon's limits are shortened (--limits, the CORVAND_LIMITS text) so that
the limit paths run many times within the soak.
"""
import argparse
import collections
import os
import random
import socket
import sys
import threading
import time

from benchdaemon import Daemon, scratch_root

KINDS = [  # (path, weight)
    ("ok", 40), ("reset", 10), ("stall", 4), ("garbage", 10), ("trickle", 8),
    ("big", 8), ("half-head", 6), ("vanish", 6), ("slow-reader", 4),
]
MAX_REQUESTS = 5_000_000


def read_head(sock):
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = sock.recv(65536)
        if not chunk:
            return None, data
        data += chunk
        if len(data) > 65536:
            return None, data
    head, _, rest = data.partition(b"\r\n\r\n")
    return head, rest


class Origin(threading.Thread):
    """One listener on 127.0.0.1; the request path says how to misbehave."""

    def __init__(self, stop):
        super().__init__(daemon=True)
        self.stop = stop
        self.sock = socket.socket()
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(512)
        self.sock.settimeout(0.5)
        self.port = self.sock.getsockname()[1]

    def run(self):
        while not self.stop.is_set():
            try:
                conn, _ = self.sock.accept()
            except OSError:
                continue
            threading.Thread(target=self.serve, args=(conn,), daemon=True).start()

    def serve(self, conn):
        conn.settimeout(60)
        try:
            rest = b""
            while not self.stop.is_set():
                data = rest
                while b"\r\n\r\n" not in data:
                    chunk = conn.recv(65536)
                    if not chunk:
                        return
                    data += chunk
                head, _, rest = data.partition(b"\r\n\r\n")
                path = head.split(b" ")[1].decode(errors="replace").lstrip("/")
                if not self.answer(conn, path):
                    return
        except OSError:
            pass
        finally:
            conn.close()

    def answer(self, conn, path):
        if path == "reset":
            conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
            return False
        if path == "stall":
            self.stop.wait(60)
            return False
        if path == "garbage":
            conn.sendall(os.urandom(random.randint(1, 3000)))
            return False
        if path == "trickle":
            body = b"t" * 400
            conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n" % len(body))
            for i in range(0, len(body), 50):
                if self.stop.wait(0.1):
                    return False
                conn.sendall(body[i:i + 50])
            return True
        size = 2_000_000 if path == "big" else random.randint(0, 20000)
        body = b"x" * size
        conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n"
                     b"Content-Length: %d\r\n\r\n" % size + body)
        return True


class Stats:
    def __init__(self):
        self.lock = threading.Lock()
        self.requests = 0
        self.outcomes = collections.Counter()

    def add(self, kind, outcome):
        with self.lock:
            self.requests += 1
            self.outcomes[(kind, outcome)] += 1


def client(proxy_port, origin_port, stats, deadline, seed):
    rng = random.Random(seed)
    paths, weights = zip(*KINDS)
    sock = None
    while time.monotonic() < deadline and stats.requests < MAX_REQUESTS:
        kind = rng.choices(paths, weights)[0]
        try:
            if sock is None:
                sock = socket.create_connection(("127.0.0.1", proxy_port), timeout=5)
            sock.settimeout(20)
            origin_path = "ok" if kind in ("half-head", "vanish", "slow-reader") else kind
            if kind == "slow-reader":
                origin_path = "big"
            request = (f"GET http://127.0.0.1:{origin_port}/{origin_path} HTTP/1.1\r\n"
                       f"Host: 127.0.0.1:{origin_port}\r\n\r\n").encode()
            if kind == "half-head":
                sock.sendall(request[:len(request) // 2])
                sock.close()
                sock = None
                stats.add(kind, "sent")
                continue
            sock.sendall(request)
            if kind == "vanish":
                sock.close()
                sock = None
                stats.add(kind, "sent")
                continue
            head, rest = read_head(sock)
            if head is None:
                raise ConnectionResetError("closed before a head")
            status = int(head.split(b" ")[1])
            length = None
            close = False
            for line in head.split(b"\r\n")[1:]:
                name, _, value = line.partition(b":")
                if name.strip().lower() == b"content-length":
                    length = int(value)
                if name.strip().lower() in (b"connection", b"proxy-connection") and \
                        value.strip().lower() == b"close":
                    close = True
            got = len(rest)
            while length is None or got < length:
                if kind == "slow-reader":
                    time.sleep(0.01)
                chunk = sock.recv(65536)
                if not chunk:
                    close = True
                    break
                got += len(chunk)
            complete = length is not None and got >= length
            stats.add(kind, f"{status}" + ("" if complete or length is None else " short"))
            if close or length is None:
                sock.close()
                sock = None
        except socket.timeout:
            stats.add(kind, "timeout")
            sock.close()
            sock = None
        except (OSError, ValueError, IndexError) as error:
            stats.add(kind, type(error).__name__)
            if sock is not None:
                sock.close()
            sock = None
    if sock is not None:
        sock.close()


def sample(pid):
    fields = {}
    try:
        with open(f"/proc/{pid}/status") as status:
            for line in status:
                name, _, value = line.partition(":")
                fields[name] = value.strip()
        fds = len(os.listdir(f"/proc/{pid}/fd"))
    except OSError:
        return None
    return int(fields["VmRSS"].split()[0]), int(fields["Threads"]), fds


def soak(args, daemon, origin, stop):
    """The clients until the deadline, then what they met and what the daemon held."""
    stats = Stats()
    start = time.monotonic()
    deadline = start + args.minutes * 60
    threads = [threading.Thread(target=client, args=(daemon.port, origin.port, stats, deadline, i))
               for i in range(args.clients)]
    for t in threads:
        t.start()
    samples = [(0, stats.requests) + sample(daemon.pid)]
    while time.monotonic() < deadline and daemon.alive():
        time.sleep(min(15, max(0, deadline - time.monotonic())))
        s = sample(daemon.pid)
        if s:
            samples.append((int(time.monotonic() - start), stats.requests) + s)
    for t in threads:
        t.join(30)
    stop.set()
    time.sleep(1)
    settled = sample(daemon.pid)
    alive = daemon.alive()
    print(f"daemon {'alive' if alive else 'ENDED with ' + str(daemon.process.returncode)}"
          f" after {time.monotonic() - start:.0f} s; {stats.requests} requests,"
          f" {args.clients} clients, limits {args.limits}")
    print("\noutcomes by kind:")
    for (kind, outcome), count in sorted(stats.outcomes.items()):
        print(f"  {kind:12} {outcome:24} {count:9}")
    print("\n  time/s  requests  RSS/KiB  threads  fds")
    for t, n, rss, thr, fds in samples:
        print(f"  {t:6} {n:9} {rss:8} {thr:8} {fds:4}")
    if settled:
        print(f"  settled {'':8} {settled[0]:8} {settled[1]:8} {settled[2]:4}"
              "  (clients and origins gone)")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--minutes", type=float, default=10)
    parser.add_argument("--clients", type=int, default=24)
    parser.add_argument("--limits", default="head=3000,idle=5000,stall=5000,server=3000")
    parser.add_argument("--build", default=os.path.join(os.path.dirname(__file__), "..", "build"))
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    binary = os.path.join(build, "src", "corvand")
    root = os.path.join(build, "root")
    stop = threading.Event()
    origin = Origin(stop)
    origin.start()
    with scratch_root(root, "soak"):
        daemon = Daemon(binary, root, "soak", env=dict(os.environ, CORVAND_LIMITS=args.limits))
        try:
            soak(args, daemon, origin, stop)
        finally:
            stop.set()
            daemon.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
