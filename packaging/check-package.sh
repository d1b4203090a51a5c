#!/usr/bin/env bash
# CI checks of the Debian package: build it, list and lint it, check the
# maintainer scripts and the manual page, install, remove and purge it in a
# scratch root, and run the packaged daemon at its real paths in a private
# mount namespace (the host's /etc, /usr, /var/log and /run stay untouched):
# start it as systemd would, send it a varied set of requests over loopback,
# stop it, feed its access log to GoAccess and its security log to a parser of
# the documented layout, and rotate the logs with the packaged logrotate rules.
# Needs root (as CI is) for the scratch root and the daemon. Ends with a count
# of the checks that passed.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD

export DEBIAN_FRONTEND=noninteractive
need="dpkg-dev lintian goaccess groff man-db systemd logrotate passwd python3 util-linux"
missing=$(for p in $need; do dpkg -s "$p" >/dev/null 2>&1 || echo "$p"; done)
if [ -n "$missing" ]; then
  apt-get update -qq
  apt-get install -y -qq $missing >/dev/null
fi

. "$top/packaging/checks.sh"

summary() {
  echo "package checks: $passed of $((passed + failed)) passed"
  [ "$failed" = 0 ]
}

echo "=== building the package"
deb=$(packaging/build-package.sh build-pkg | tail -1)
work=$(mktemp -d /tmp/corvand-package.XXXXXX)
cleanup() { rm -rf "$work"; }
trap cleanup EXIT
echo "$deb"

echo "=== contents"
dpkg-deb --contents "$deb" | tee "$work/contents" | awk '{ print $1, $2, $6 }'
contents_ok() {
  local path
  for path in ./usr/sbin/corvand ./usr/share/corvand/errors/badrequest.html \
    ./usr/share/corvand/files/cvstats.html ./usr/share/corvand/files/not_available.htm \
    ./usr/share/man/man8/corvand.8.gz \
    ./lib/systemd/system/corvand.service ./etc/logrotate.d/corvand \
    ./usr/lib/tmpfiles.d/corvand.conf ./usr/share/doc/corvand/copyright \
    ./usr/share/doc/corvand/changelog.gz; do
    grep -q " $path\$" "$work/contents" || { echo "missing: $path"; return 1; }
  done
  # Made by postinst with the daemon's owner, never shipped.
  ! grep -Eq ' \./(etc/corvand|var/)' "$work/contents"
}
check "package holds its files, and no folder the daemon writes to" contents_ok
check "file name is corvand_<version>_<arch>.deb" \
  test "$(basename "$deb")" = "corvand_$(dpkg-deb -f "$deb" Version)_$(dpkg-deb -f "$deb" Architecture).deb"
check "logrotate rules are a conffile" \
  sh -c "dpkg-deb --ctrl-tarfile '$deb' | tar -xO ./conffiles | grep -qx /etc/logrotate.d/corvand"

echo "=== lintian"
check "lintian reports no error" lintian --fail-on error "$deb"

echo "=== maintainer scripts and manual page"
dpkg-deb -x "$deb" "$work/x"
dpkg-deb -e "$deb" "$work/x/DEBIAN"
for script in postinst prerm postrm; do
  check "sh -n $script" sh -n "$work/x/DEBIAN/$script"
done
man_clean() {
  local errors
  errors=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
    man --warnings -E UTF-8 -l -Tutf8 -Z "$work/x/usr/share/man/man8/corvand.8.gz" 2>&1 >/dev/null)
  [ -z "$errors" ] || { echo "$errors"; return 1; }
  errors=$(zcat "$work/x/usr/share/man/man8/corvand.8.gz" | groff -ww -man -z 2>&1)
  [ -z "$errors" ] || { echo "$errors"; return 1; }
  man -l "$work/x/usr/share/man/man8/corvand.8.gz" 2>/dev/null | grep -q "curl -x"
}
check "man -l renders corvand(8) without warnings" man_clean

if [ "$(id -u)" != 0 ]; then
  echo "not root: the scratch root and the daemon checks are left out"
  summary
  exit
fi

echo "=== install, remove and purge in a scratch root"
scratch=$work/root
mkdir -p "$scratch/etc" "$scratch/var/lib/dpkg/info" "$scratch/var/lib/dpkg/updates"
touch "$scratch/var/lib/dpkg/status"
grep -E '^(root|adm):' /etc/group >"$scratch/etc/group"
grep -E '^(root|adm):' /etc/gshadow >"$scratch/etc/gshadow"
grep -E '^root:' /etc/passwd >"$scratch/etc/passwd"
grep -E '^root:' /etc/shadow >"$scratch/etc/shadow"
in_scratch() {
  dpkg --root="$scratch" --log=/dev/null --force-script-chrootless --force-depends "$@" >"$work/dpkg.log" 2>&1 ||
    { cat "$work/dpkg.log"; return 1; }
}
uid_of() { awk -F: -v n="$1" '$1 == n { print $3 }' "$scratch/etc/passwd"; }
installed_ok() {
  grep -q '^corvand:x:[0-9]*:[0-9]*:[^:]*:/nonexistent:/usr/sbin/nologin$' "$scratch/etc/passwd" &&
    grep -q '^corvand:' "$scratch/etc/group" &&
    [ "$(stat -c '%u %g %a' "$scratch/etc/corvand")" = "$(uid_of corvand) $(awk -F: '$1 == "corvand" { print $3 }' "$scratch/etc/group") 750" ] &&
    [ "$(stat -c '%u %g %a' "$scratch/var/log/corvand")" = "$(uid_of corvand) 4 2750" ] &&
    [ "$(stat -c '%u %a' "$scratch/run/corvand")" = "$(uid_of corvand) 755" ] &&
    [ -L "$scratch/etc/systemd/system/multi-user.target.wants/corvand.service" ] &&
    [ -x "$scratch/usr/sbin/corvand" ]
}
install_ok() { in_scratch -i "$deb" && installed_ok; }
check "install: user, group, owned folders, service enabled" install_ok
echo "[ProxyEngine]" >"$scratch/etc/corvand/start.conf"
echo "a log line" >"$scratch/var/log/corvand/access.log"
reinstall_ok() { in_scratch -i "$deb" && installed_ok && test -s "$scratch/etc/corvand/start.conf"; }
check "reinstall keeps the settings" reinstall_ok
remove_ok() {
  in_scratch -r corvand && test ! -e "$scratch/usr/sbin/corvand" &&
    test -s "$scratch/etc/corvand/start.conf" && test -s "$scratch/var/log/corvand/access.log" &&
    test -e "$scratch/etc/logrotate.d/corvand"
}
check "remove keeps settings and logs" remove_ok
purge_ok() {
  in_scratch -P corvand && test ! -e "$scratch/etc/corvand" && test ! -e "$scratch/var/log/corvand" &&
    test ! -e "$scratch/etc/logrotate.d/corvand" &&
    test ! -e "$scratch/etc/systemd/system/multi-user.target.wants/corvand.service"
}
check "purge removes settings, logs and the service's links" purge_ok

echo "=== the packaged daemon at its real paths"
if ! unshare --mount --propagation private true 2>/dev/null; then
  echo "FAIL no private mount namespace here"
  failed=$((failed + 1))
else
  set +e
  unshare --mount --propagation private bash "$top/packaging/check-daemon.sh" "$work" "$top"
  result=$?
  set -e
  while read -r p f; do
    passed=$((passed + p))
    failed=$((failed + f))
  done <"$work/daemon.counts"
  [ "$result" = 0 ] || { echo "daemon checks ended early ($result)"; failed=$((failed + 1)); }
fi

summary
