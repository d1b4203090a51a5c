# Thin wrapper over CMake for the two everyday commands:
#   make run   - build and start the proxy in the foreground on port 9090
#   make test  - build and run the whole test suite
# Both use build/, whose daemon keeps all its files below build/root.

BUILD   ?= build
ROOT    := $(abspath $(BUILD))/root
JOBS    ?= $(shell nproc)
CMAKE_FLAGS ?=

PACKAGES := cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev zlib1g-dev libssl-dev imagemagick

.PHONY: all build run test deps clean format

all: build

# Installs what the build needs when it is missing (only possible as root).
deps:
	@missing=$$(for p in $(PACKAGES); do dpkg -s $$p >/dev/null 2>&1 || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	  else \
	    echo "missing packages: $$missing (install them as root)"; exit 1; \
	  fi; \
	fi
	@# The browser test: Debian's chromium and Playwright from the npm registry
	@# (which never downloads a browser of its own here).
	@if ! [ -x /usr/bin/chromium ] || ! command -v npm >/dev/null; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq chromium \
	      $$(command -v npm >/dev/null || echo npm); \
	  else \
	    echo "missing: chromium or npm (install them as root)"; exit 1; \
	  fi; \
	fi
	@[ -x tests/browser/node_modules/.bin/playwright ] || \
	  (cd tests/browser && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund)

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVAND_ROOT=$(ROOT) $(CMAKE_FLAGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/src/corvand -N

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD)

# --- Debian package: corvand_<version>_<arch>.deb in build-pkg/ ---
.PHONY: deb
deb: deps
	packaging/build-package.sh
