#!/usr/bin/env bash
# Builds the Debian package corvand_<version>_<arch>.deb in a build folder of
# its own (default build-pkg/): a release build for the system paths, with
# Debian's hardening flags, then CPack. Prints the package's path last.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build-pkg}
# dpkg-dev gives the hardening flags and, through dpkg-shlibdeps, the
# package's library dependencies.
if ! command -v dpkg-buildflags >/dev/null || ! command -v dpkg-shlibdeps >/dev/null; then
  if [ "$(id -u)" = 0 ]; then
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq dpkg-dev >/dev/null
  else
    echo "missing package: dpkg-dev (install it as root)" >&2
    exit 1
  fi
fi
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cppflags=$(dpkg-buildflags --get CPPFLAGS)
cxxflags=$(dpkg-buildflags --get CXXFLAGS)
ldflags=$(dpkg-buildflags --get LDFLAGS)

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCORVAND_ROOT= \
  -DCORVAND_TESTS=OFF -DCORVAND_BENCH=OFF -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_CXX_FLAGS="$cppflags $cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build "$build" -j "$(nproc)"
(cd "$build" && cpack -G DEB >/dev/null)
ls "$PWD/$build"/corvand_*.deb
