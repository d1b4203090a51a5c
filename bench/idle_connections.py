#!/usr/bin/env python3
"""Resident memory of a running corvand with many idle browser connections.

Usage: bench/idle_connections.py [--request URL] PID PORT [COUNT ...]

Opens COUNT connections (default 1000 and 5000) to 127.0.0.1:PORT one batch
after another, waits until the daemon has settled, and prints the resident set
of process PID before and with the connections open, and the cost per
connection. With --request, every connection first fetches URL (an http URL
on loopback) through the proxy and then stays open, idle and kept alive.
Loopback only; every connection is closed again at the end.
"""
import resource
import socket
import sys
import time


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def threads(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("Threads:"):
                return int(line.split()[1])
    return 0


def fetch(sock, url):
    host = url.split("/")[2]
    sock.sendall(f"GET {url} HTTP/1.1\r\nHost: {host}\r\n\r\n".encode())
    data = b""
    while b"\r\n\r\n" not in data:
        data += sock.recv(65536)
    head, _, body = data.partition(b"\r\n\r\n")
    length = 0
    for line in head.split(b"\r\n"):
        if line.lower().startswith(b"content-length:"):
            length = int(line.split(b":")[1])
    while len(body) < length:
        body += sock.recv(65536)


def main():
    args = sys.argv[1:]
    url = None
    if args and args[0] == "--request":
        url, args = args[1], args[2:]
    pid, port = int(args[0]), int(args[1])
    counts = [int(c) for c in args[2:]] or [1000, 5000]
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
    base = rss_kib(pid)
    print(f"idle daemon: {base} KiB resident, {threads(pid)} threads")
    for count in counts:
        sockets = []
        for _ in range(count):
            sockets.append(socket.create_connection(("127.0.0.1", port), timeout=5))
            if url:
                fetch(sockets[-1], url)
        deadline = time.time() + 30
        while threads(pid) < count and time.time() < deadline:
            time.sleep(0.2)
        time.sleep(1)
        rss = rss_kib(pid)
        per = (rss - base) * 1024 / count
        what = "idle connections after one request each" if url else "idle connections"
        print(f"{count} {what}: {rss} KiB resident, "
              f"{threads(pid)} threads, {per / 1024:.1f} KiB per connection")
        for s in sockets:
            s.close()
        time.sleep(2)


if __name__ == "__main__":
    main()
