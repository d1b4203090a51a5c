-- wrk talks to the proxy the way a browser does: the request line carries the
-- absolute URL of the origin, and wrk's own URL argument is the proxy.
local target = os.getenv("CORVANE_TARGET") or "http://127.0.0.1:18090/small.html"
local host = target:match("^http://([^/]+)") or "127.0.0.1"

wrk.method = "GET"
wrk.path = target
wrk.headers["Host"] = host
wrk.headers["User-Agent"] = "corvane-load/1"
wrk.headers["Accept"] = "*/*"
if os.getenv("CORVANE_CLOSE") == "1" then wrk.headers["Connection"] = "close" end
