#!/usr/bin/env python3
"""Resident memory of a running corvand with many idle browser connections.

Usage: bench/idle_connections.py PID PORT [COUNT ...]

Opens COUNT connections (default 1000 and 5000) to 127.0.0.1:PORT one batch
after another, waits until the daemon has settled, and prints the resident set
of process PID before and with the connections open, and the cost per
connection. Loopback only; every connection is closed again at the end.
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


def main():
    pid, port = int(sys.argv[1]), int(sys.argv[2])
    counts = [int(c) for c in sys.argv[3:]] or [1000, 5000]
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
    base = rss_kib(pid)
    print(f"idle daemon: {base} KiB resident, {threads(pid)} threads")
    for count in counts:
        sockets = []
        for _ in range(count):
            sockets.append(socket.create_connection(("127.0.0.1", port), timeout=5))
        deadline = time.time() + 30
        while threads(pid) < count and time.time() < deadline:
            time.sleep(0.2)
        time.sleep(1)
        rss = rss_kib(pid)
        per = (rss - base) * 1024 / count
        print(f"{count} idle connections: {rss} KiB resident, "
              f"{threads(pid)} threads, {per / 1024:.1f} KiB per connection")
        for s in sockets:
            s.close()
        time.sleep(2)


if __name__ == "__main__":
    main()
