#!/usr/bin/env python3
"""Log checks of the packaged daemon, run by check-package.sh.

  logcheck.py traffic PROXY_PORT     sends a varied set of requests through the
                                     proxy to an origin of its own; prints how
                                     many requests it sent
  logcheck.py security-log FILE      parses every line of a security log by the
                                     layout the daemon documents; prints the
                                     number of lines

Everything talks to 127.0.0.1 only, and every socket has a time limit.
"""

import http.server
import re
import socket
import sys
import threading

LIMIT = 5.0  # seconds for any one connect, send or receive


class Origin(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def reply(self, status, body, media_type="text/html"):
        self.send_response(status)
        self.send_header("Content-Type", media_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def do_GET(self):
        if self.path.startswith("/missing"):
            self.reply(404, b"<html><body>missing</body></html>")
        elif self.path.endswith(".mpg"):
            self.reply(200, b"MPEG" * 64, "video/mpeg")
        elif self.path.startswith("/page"):
            self.reply(200, b"<html><head><script src='/a.js'></script></head>"
                       b"<body><embed src='/movie.mpg' type='video/mpeg'>"
                       b"<img src='/banner.gif' width=468 height=60>text</body></html>")
        else:
            self.reply(200, b"plain text", "text/plain")

    do_HEAD = do_GET

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0") or 0)
        self.rfile.read(min(length, 1 << 20))
        self.reply(201, b"created", "text/plain")

    def log_message(self, *args):
        pass


def exchange(port, raw):
    """Sends raw bytes to the proxy and reads until it closes (or the limit)."""
    with socket.create_connection(("127.0.0.1", port), timeout=LIMIT) as s:
        s.sendall(raw)
        got = b""
        try:
            while len(got) < 1 << 20:
                chunk = s.recv(65536)
                if not chunk:
                    break
                got += chunk
        except socket.timeout:
            pass
        return got


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def traffic(proxy_port):
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Origin)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    origin = "http://127.0.0.1:%d" % server.server_address[1]
    closed = "http://127.0.0.1:%d" % free_port()

    def request(method, url, headers=b"", body=b""):
        head = b"%s %s HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" % (
            method.encode(), url.encode())
        if body:
            head += b"Content-Length: %d\r\n" % len(body)
        return head + headers + b"\r\n" + body

    # Quotes, backslashes and bytes above 127 are lawful in a field value and
    # reach the log escaped; a control byte gets the head refused (and logged).
    hostile_referer = b'Referer: http://x.example/"quoted" \\back\\ \xc3\xa9 "-" [01/Jan/2000:00:00:00 +0000]\r\n'
    hostile_agent = b'User-Agent: Mozilla/5.0 "evil" \\" [31m\xff\xfe 200 999 "x" "y"\r\n'
    control_agent = b'User-Agent: Mozilla/5.0 \x01\x7f\x1b[31m\r\n'
    sent = [
        request("GET", origin + "/"),                                   # served
        request("GET", origin + "/missing"),                            # origin's 404
        request("HEAD", origin + "/head"),
        request("POST", origin + "/form", b"Content-Type: text/plain\r\n", b"a=1&b=2"),
        request("GET", origin + "/page.html", b"Referer: " + origin.encode() + b"/\r\n"),
        request("GET", origin + "/movie.mpg"),                          # blocked media type
        request("GET", origin + "/ref", hostile_referer),
        request("GET", origin + "/agent", hostile_agent),
        request("GET", origin + "/both", hostile_referer + hostile_agent),
        request("GET", origin + "/control", control_agent),             # refused
        request("GET", origin + '/q?a="b"&c=%00\\', b"User-Agent: curl/8\r\n"),
        request("GET", closed + "/nobody"),                             # cannot connect
        request("GET", "/not-a-proxy-request"),                         # refused
        request("GET", "http://-corva.vane-/trans.gif"),                # internal
        request("GET", "http://-corva.vane-/cvstats"),                  # internal page
        request("GET", "http://-corva.vane-/conf"),                     # needs a login
        request("GET", origin + "/x", b"X-Long: " + b"y" * 6000 + b"\r\n"),
        b"GARBAGE\r\n\r\n",                                             # bad request
        b'GET http://127.0.0.1:1/ "HTTP/1.1"\r\n\r\n',                  # odd request line
    ]
    for raw in sent:
        exchange(proxy_port, raw)
    server.shutdown()
    print(len(sent))


# One security-log line: the time stamp, then one of the layouts below, each
# ending with the verdict word. A quoted field escapes \" and \\ and writes
# other odd bytes as \xHH; bare fields hold no blank.
STAMP = r"\[\d\d/(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec)/\d{4}:\d\d:\d\d:\d\d [+-]\d{4}\] "
QUOTED = r'"(?:[^"\\\x00-\x1f\x7f-\xff]|\\["\\]|\\x[0-9A-F]{2})*"'
INNER = r'(?:[^"\\\x00-\x1f\x7f-\xff]|\\["\\]|\\x[0-9A-F]{2})'
NUMBER = r"(?:\d+|-)"
BARE = r'(?:[^\s"]+)'
VERDICT = r"(filter|pass|unknown)"
LAYOUTS = [
    # a response's media type
    QUOTED + " " + NUMBER + " " + BARE + " " + BARE + " " + VERDICT,
    # a script, object or embed of a page
    r'"(?:Script|Object|Embed) ' + INNER + r'+" ' + NUMBER + " " + BARE + " " + BARE + " " + VERDICT,
    # an ActiveX object or a Java object with a class id; an applet
    r'"Object CLASSID=' + INNER + r'*" ' + NUMBER + r" - - (filter|pass)",
    r'"Applet ' + INNER + r'+" ' + NUMBER + r" - - (filter|pass)",
]
LINE = re.compile(STAMP + "(?:" + "|".join("(?:%s)" % l for l in LAYOUTS) + ")")


def security_log(path):
    with open(path, "rb") as f:
        data = f.read().decode("latin-1")
    if data and not data.endswith("\n"):
        sys.exit("security log: the last line has no line feed")
    lines = data.splitlines()
    bad = [l for l in lines if not LINE.fullmatch(l)]
    for l in bad:
        print("security log: not in the documented layout: %r" % l, file=sys.stderr)
    if bad:
        sys.exit(1)
    print(len(lines))


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "traffic":
        traffic(int(sys.argv[2]))
    elif len(sys.argv) == 3 and sys.argv[1] == "security-log":
        security_log(sys.argv[2])
    else:
        sys.exit(__doc__)
