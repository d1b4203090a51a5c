#!/usr/bin/env bash
# Part of check-package.sh; runs inside a private mount namespace, as root.
# Lays the unpacked package over the real /usr and /etc (overlays whose
# changes stay in the work folder) and fresh /var/log, /run and
# /var/lib/systemd, runs the package's own postinst, and then the daemon as
# its service would. Writes "passed failed" to WORK/daemon.counts.
set -uo pipefail
work=$1
top=$2
x=$work/x

. "$top/packaging/checks.sh"
daemon=""
finish() {
  # The daemon outlives the namespace's mounts: never leave one behind.
  if [ -n "$daemon" ] && kill -0 "$daemon" 2>/dev/null; then
    for child in $(workers); do
      kill -KILL "$child" 2>/dev/null
    done
    kill -KILL "$daemon" 2>/dev/null
  fi
  echo "$passed $failed" >"$work/daemon.counts"
}
# The supervisor's working processes.
workers() { cat "/proc/$daemon/task/$daemon/children" 2>/dev/null; }
trap finish EXIT
# Polls a condition for at most 10 seconds.
wait_for() {
  local i
  for i in $(seq 100); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

# The overlays' upper layers live on a tmpfs of this namespace: an upper
# layer may not lie on an overlay itself, as /tmp does in some containers.
upper=$work/upper
mkdir -p "$upper"
mount -t tmpfs tmpfs "$upper" || exit 2
mkdir -p "$upper/etc" "$upper/etc-work" "$upper/usr" "$upper/usr-work"
mount -t overlay overlay -o "lowerdir=/etc,upperdir=$upper/etc,workdir=$upper/etc-work" /etc || exit 2
mount -t overlay overlay -o "lowerdir=$x/usr:/usr,upperdir=$upper/usr,workdir=$upper/usr-work" /usr || exit 2
# /lib is /usr/lib on Debian: the unit goes where systemd looks for it.
mkdir -p /usr/lib/systemd/system
cp "$x/lib/systemd/system/corvand.service" /usr/lib/systemd/system/
cp "$x/etc/logrotate.d/corvand" /etc/logrotate.d/corvand
for dir in /var/log /run /var/lib/systemd; do
  mount -t tmpfs tmpfs "$dir" || exit 2
done

check "postinst configure" env DPKG_MAINTSCRIPT_PACKAGE=corvand DPKG_MAINTSCRIPT_NAME=postinst "$x/DEBIAN/postinst" configure
check "corvand user has no login shell" sh -c 'getent passwd corvand | grep -q ":/usr/sbin/nologin$"'

if command -v systemd-analyze >/dev/null; then
  verify() {
    local out
    out=$(systemd-analyze verify /usr/lib/systemd/system/corvand.service 2>&1)
    # Without systemd running, the units the service is ordered after may
    # be unknown; anything about corvand.service itself counts.
    out=$(printf '%s\n' "$out" | grep -i 'corvand' || true)
    [ -z "$out" ] || { echo "$out"; return 1; }
  }
  check "systemd-analyze verify corvand.service" verify
fi

# A free loopback port, and access logging of local clients.
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >/etc/corvand/start.conf <<CONF
[ProxyEngine]
LocalPort=$port
CONF
cat >/etc/corvand/corvand.conf <<'CONF'
[ProxyEngine]
AccessLog=1
AccessLogLookup=0
AccessLogNoLocal=0
[MediaFilter]
BlockTypesFromList=1
Enabled=1
Logging=1
[MediaFilter.MediaTypes]
video/mpeg;.mpg
CONF
chown corvand:corvand /etc/corvand/*.conf

listening() { python3 -c "import socket, sys; socket.create_connection(('127.0.0.1', $port), timeout=1)" 2>/dev/null; }
stopped() { ! kill -0 "$daemon" 2>/dev/null; }
start_daemon() {
  # As the unit does: the daemon as corvand, its run folder its own.
  mkdir -p /run/corvand && chown corvand:corvand /run/corvand
  setpriv --reuid=corvand --regid=corvand --init-groups /usr/sbin/corvand || return 1
  wait_for test -s /run/corvand/corvand.pid || return 1
  daemon=$(cat /run/corvand/corvand.pid)
  wait_for listening
}
stop_daemon() {
  setpriv --reuid=corvand --regid=corvand --init-groups /usr/sbin/corvand shutdown >/dev/null &&
    wait_for stopped
}

check "daemon starts as corvand, writes /run/corvand/corvand.pid, listens" start_daemon
check "daemon runs as corvand" sh -c "[ \"\$(stat -c %U /proc/$daemon)\" = corvand ]"
# systemctl reload: the same supervisor, a new worker that listens again.
before=""
worker_changed() { local now; now=$(workers); [ -n "$now" ] && [ "$now" != "$before" ]; }
reload_ok() {
  before=$(workers)
  [ -n "$before" ] || return 1
  setpriv --reuid=corvand --regid=corvand --init-groups /usr/sbin/corvand restart >/dev/null &&
    wait_for worker_changed && kill -0 "$daemon" && wait_for listening
}
check "restart (ExecReload) replaces the worker under the same supervisor" reload_ok
requests=$(timeout 120 python3 "$top/packaging/logcheck.py" traffic "$port")
check "traffic sent ($requests requests)" test -n "$requests"
shutdown_ok() { stop_daemon && test ! -e /run/corvand/corvand.pid; }
check "shutdown stops it and removes the pid file" shutdown_ok

log=/var/log/corvand/access.log
lines=$(wc -l <"$log" 2>/dev/null || echo 0)
echo "access log: $lines lines"
sed 's/^/    /' "$log" 2>/dev/null | head -40
# Every request has a line, refused ones too, but the proxy's own three pages.
check "access log has a line for every request but the proxy's pages" test "$lines" -eq $((requests - 3))
goaccess_ok() {
  local report=$work/goaccess.json
  goaccess "$log" --log-format=COMBINED --no-global-config -o "$report" >/dev/null 2>"$work/goaccess.err" ||
    { cat "$work/goaccess.err"; return 1; }
  python3 - "$report" "$lines" <<'PY'
import json, sys
general = json.load(open(sys.argv[1]))["general"]
total, valid, failed = (general[k] for k in ("total_requests", "valid_requests", "failed_requests"))
print("    goaccess: total %d, valid %d, failed %d" % (total, valid, failed))
sys.exit(0 if failed == 0 and total == valid == int(sys.argv[2]) else 1)
PY
}
check "GoAccess (COMBINED) reads every access log line" goaccess_ok
security_ok() {
  local n
  n=$(python3 "$top/packaging/logcheck.py" security-log /var/log/corvand/security.log) || return 1
  echo "    security log: $n lines"
  sed 's/^/    /' /var/log/corvand/security.log | head -20
  [ "$n" -ge 2 ]
}
check "security log lines follow the documented layout" security_ok

# Weekly rotation: logrotate renames and compresses, corvand rotate finds
# nothing left to rename, and the daemon's next flush starts a new file.
rotate_ok() {
  start_daemon || return 1
  logrotate -f -s "$work/logrotate.state" /etc/logrotate.d/corvand || return 1
  test -s /var/log/corvand/access.log.1.gz && test ! -e /var/log/corvand/access.log || return 1
  zcat /var/log/corvand/access.log.1.gz | cmp -s - <(cat "$work/access.before") || return 1
  timeout 60 python3 "$top/packaging/logcheck.py" traffic "$port" >/dev/null || return 1
  stop_daemon || return 1
  ls /var/log/corvand
  # No time-stamped file, and the new log has this round's lines only.
  ! ls /var/log/corvand | grep -Eq '^(access|security)[0-9]{10}\.log$' &&
    [ "$(wc -l </var/log/corvand/access.log)" = "$lines" ]
}
cp "$log" "$work/access.before"
check "logrotate rotates, the daemon starts new logs" rotate_ok
