#!/usr/bin/env python3
"""Throughput and proxy CPU for large transfers: tunnels and big bodies.

Usage: bench/tunnel.py [--build DIR] [--mb N] [--runs N] [--binary NAME=PATH ...]

Starts its own loopback servers: a raw one that sends N MB to whoever
connects while it reads (and drops) whatever comes, and an HTTP one that
answers every GET with an N MB body (Content-Length). Then, for each corvand
binary in turn (default: the build's own), started with -N on a free loopback
port below the build's root, it measures
  - a CONNECT tunnel to the raw server with N MB each way at once,
  - a GET of the big body through the proxy (HTTP/1.1, Content-Length),
and the same two straight to the servers ("direct"). Prints MB/s (the bytes
that crossed the proxy, both ways for the tunnel, over wall time) and the
proxy's CPU per MB (user + system time from /proc/PID/stat), medians of
--runs runs. Loopback only; every transfer is bounded in size and time.
"""
import argparse
import os
import socket
import statistics
import threading
import time

from benchdaemon import Daemon, scratch_root

CHUNK = 1 << 20
TIMEOUT = 30


def cpu_ms(pid):
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    ticks = int(fields[11]) + int(fields[12])  # utime, stime
    return ticks * 1000.0 / os.sysconf("SC_CLK_TCK")


def send_bytes(sock, total, payload):
    view = memoryview(payload)
    left = total
    while left > 0:
        n = sock.send(view[:min(left, len(view))])
        left -= n


def drain(sock, limit=None):
    buf = bytearray(CHUNK)
    got = 0
    while limit is None or got < limit:
        n = sock.recv_into(buf)
        if n == 0:
            break
        got += n
    return got


class Servers:
    """The raw source-and-sink and the HTTP big-body server, in threads."""

    def __init__(self, size):
        self.size = size
        self.payload = os.urandom(CHUNK)
        self.raw = self._listen(self._raw_conn)
        self.http = self._listen(self._http_conn)

    def _listen(self, handler):
        s = socket.socket()
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        s.bind(("127.0.0.1", 0))
        s.listen(64)
        threading.Thread(target=self._accept, args=(s, handler), daemon=True).start()
        return s.getsockname()[1]

    def _accept(self, s, handler):
        while True:
            conn, _ = s.accept()
            conn.settimeout(TIMEOUT)
            threading.Thread(target=handler, args=(conn,), daemon=True).start()

    def _raw_conn(self, conn):
        try:
            sink = threading.Thread(target=drain, args=(conn,), daemon=True)
            sink.start()
            send_bytes(conn, self.size, self.payload)
            conn.shutdown(socket.SHUT_WR)
            sink.join(TIMEOUT)
        except OSError:
            pass
        finally:
            conn.close()

    def _http_conn(self, conn):
        try:
            data = b""
            while True:
                while b"\r\n\r\n" not in data:
                    more = conn.recv(65536)
                    if not more:
                        return
                    data += more
                data = data.split(b"\r\n\r\n", 1)[1]
                conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                             b"Content-Length: %d\r\n\r\n" % self.size)
                send_bytes(conn, self.size, self.payload)
        except OSError:
            pass
        finally:
            conn.close()


def read_head(sock):
    data = b""
    while b"\r\n\r\n" not in data:
        more = sock.recv(1)
        if not more:
            raise OSError("closed before the head ended")
        data += more
    return data


def tunnel(servers, proxy_port):
    """Seconds for size bytes each way at once; direct without a proxy."""
    start = time.monotonic()
    if proxy_port:
        sock = socket.create_connection(("127.0.0.1", proxy_port), timeout=TIMEOUT)
        target = f"127.0.0.1:{servers.raw}"
        sock.sendall(f"CONNECT {target} HTTP/1.1\r\nHost: {target}\r\n\r\n".encode())
        if b" 200 " not in read_head(sock).split(b"\r\n")[0] + b" ":
            raise OSError("tunnel refused")
    else:
        sock = socket.create_connection(("127.0.0.1", servers.raw), timeout=TIMEOUT)

    def up():
        send_bytes(sock, servers.size, servers.payload)
        sock.shutdown(socket.SHUT_WR)

    sender = threading.Thread(target=up)
    sender.start()
    got = drain(sock)
    sender.join(TIMEOUT)
    sock.close()
    if got != servers.size:
        raise OSError(f"tunnel brought {got} of {servers.size} bytes")
    return time.monotonic() - start


def big_body(servers, proxy_port):
    start = time.monotonic()
    sock = socket.create_connection(("127.0.0.1", proxy_port or servers.http), timeout=TIMEOUT)
    url = f"http://127.0.0.1:{servers.http}/big" if proxy_port else "/big"
    sock.sendall(f"GET {url} HTTP/1.1\r\nHost: 127.0.0.1:{servers.http}\r\n\r\n".encode())
    head = read_head(sock)
    length = int(head.lower().split(b"content-length:")[1].split(b"\r\n")[0])
    got = drain(sock, length)
    sock.close()
    if got != servers.size:
        raise OSError(f"body brought {got} of {servers.size} bytes")
    return time.monotonic() - start


def measure(name, servers, runs, daemon, mb):
    port = daemon.port if daemon else 0
    rows = []
    for what, run, moved in (("tunnel", tunnel, 2 * mb), ("big body", big_body, mb)):
        rates, costs = [], []
        for _ in range(runs):
            before = cpu_ms(daemon.pid) if daemon else 0
            seconds = run(servers, port)
            after = cpu_ms(daemon.pid) if daemon else 0
            rates.append(moved / seconds)
            costs.append((after - before) / moved)
        cost = f"{statistics.median(costs):7.2f}" if daemon else "      -"
        rows.append(f"{name:10} {what:9} {statistics.median(rates):9.0f} MB/s  {cost} ms/MB")
    return rows


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(os.path.dirname(__file__), "..", "build"))
    parser.add_argument("--mb", type=int, default=200, help="MB per transfer and direction")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--binary", action="append", default=[],
                        help="NAME=PATH of a corvand built for the same root")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    binaries = [b.split("=", 1) for b in args.binary] or [["corvand",
                                                           os.path.join(build, "src", "corvand")]]
    root = os.path.join(build, "root")
    servers = Servers(args.mb * 1000 * 1000)
    rows = measure("direct", servers, args.runs, None, args.mb)
    with scratch_root(root, "bench"):
        for name, binary in binaries:
            daemon = Daemon(os.path.abspath(binary), root, "bench")
            try:
                rows += measure(name, servers, args.runs, daemon, args.mb)
            finally:
                daemon.stop()
    print(f"{args.mb} MB per transfer and direction, median of {args.runs} runs")
    for row in rows:
        print(row)
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
