"""A corvand of a build, started on a free loopback port for a bench script.

The daemon keeps its files below the build's root; the settings, logs and pid
file found there are set aside while the script runs and put back afterwards,
as the end-to-end tests do.
"""
import contextlib
import os
import shutil
import signal
import socket
import subprocess
import time

DIRS = ["etc/corvand", "var/log/corvand", "var/run/corvand"]


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


@contextlib.contextmanager
def scratch_root(root, tag):
    """Empty daemon folders below root for the with block; tag names the set-aside copies."""
    saved = []
    for d in DIRS:
        path = os.path.join(root, d)
        if os.path.exists(path) and not os.path.exists(f"{path}.saved-by-{tag}"):
            os.rename(path, f"{path}.saved-by-{tag}")
            saved.append(path)
        shutil.rmtree(path, ignore_errors=True)
        os.makedirs(path)
    try:
        yield
    finally:
        for d in DIRS:
            path = os.path.join(root, d)
            shutil.rmtree(path, ignore_errors=True)
            if path in saved:
                os.rename(f"{path}.saved-by-{tag}", path)
            else:
                os.makedirs(path, exist_ok=True)


class Daemon:
    """corvand -N on a free port, with users that do not exist so that it never switches."""

    def __init__(self, binary, root, tag, env=None):
        self.port = free_port()
        with open(os.path.join(root, "etc/corvand/start.conf"), "w") as conf:
            conf.write(f"[ProxyEngine]\nEffectiveGroup='nogroup-corvand-{tag}'\n"
                       f"EffectiveUser='nouser-corvand-{tag}'\nLocalPort={self.port}\n")
        self.process = subprocess.Popen([binary, "-N"], env=env, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        self.pid = self.process.pid
        for _ in range(100):
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                break
            except OSError:
                time.sleep(0.05)

    def alive(self):
        return self.process.poll() is None

    def stop(self):
        if not self.alive():
            return
        self.process.send_signal(signal.SIGTERM)
        try:
            self.process.wait(15)
        except subprocess.TimeoutExpired:
            self.process.kill()
