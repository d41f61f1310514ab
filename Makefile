# Top-level entry points. `make test` and `make demo` each do the whole set-up on a fresh Debian 12 machine.
BUILD_DIR ?= build
FUZZ_DIR ?= build-fuzz
TSAN_DIR ?= build-tsan
WIN_BUILD_DIR ?= build-windows
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 10

PREFIX ?= /usr/local
DESTDIR ?=
# The version of the Debian package: the service's own version number.
VERSION ?= $(shell sed -n 's/.*kServiceVersion = "\([0-9]*\)".*/\1/p' src/service/service_identity.h)

# What building, running and packaging the service need (all that `make demo` installs).
BUILD_PACKAGES := cmake ninja-build g++ pkg-config libcurl4-openssl-dev zlib1g-dev libsqlite3-dev \
  libsystemd-dev libcpp-httplib-dev curl dpkg-dev
# What the tests need besides: test and benchmark libraries, fuzzing, the Windows build and its installer
# under Wine, a proxy, a browser for the portal page, the systemd container.
TEST_PACKAGES := clang libclang-rt-14-dev libgtest-dev libgmock-dev libbenchmark-dev googletest \
  python3-dbf tinyproxy wine wine64 g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wixl msitools locales \
  chromium chromium-driver python3-selenium systemd-container debootstrap
DEBIAN_PACKAGES := $(BUILD_PACKAGES) $(TEST_PACKAGES)
# The programs of the service and the demo.
PROGRAMS := vorel_service vorel_portal vorel_sample_clinic vorel_unit_file

.PHONY: deps deps-build build programs windows windows-package test test-windows crash-test sanitize demo bench \
  fuzz package install clean format

# Installs the Debian packages of the list that are missing (a no-op when they are there).
define install_packages
	@missing=$$(for p in $(1); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing: $$missing"; \
	  SUDO=$$( [ "$$(id -u)" = 0 ] || echo sudo ); \
	  $$SUDO apt-get update -q && DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -q $$missing; \
	fi
endef

deps:
	$(call install_packages,$(DEBIAN_PACKAGES))

deps-build:
	$(call install_packages,$(BUILD_PACKAGES))

$(BUILD_DIR)/build.ninja:
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: $(BUILD_DIR)/build.ninja
	cmake --build $(BUILD_DIR) -j $(JOBS)

# The programs alone, without the tests and benchmarks (whose libraries `make test` installs).
programs: deps-build $(BUILD_DIR)/build.ninja
	cmake --build $(BUILD_DIR) -j $(JOBS) --target $(PROGRAMS)

# The Windows service and its test programs, cross-compiled with mingw-w64 (Release: no debug information
# in the statically linked programs keeps the links short).
$(WIN_BUILD_DIR)/build.ninja:
	cmake -S . -B $(WIN_BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64.cmake

windows: deps $(WIN_BUILD_DIR)/build.ninja
	cmake --build $(WIN_BUILD_DIR) -j $(JOBS)

# $(WIN_BUILD_DIR)/vorel-service-<version>.msi, the Windows installer (wixl).
windows-package: windows
	packaging/windows/build_msi.sh $(WIN_BUILD_DIR)/vorel_service.exe $(VERSION) $(WIN_BUILD_DIR)

test: deps build windows
	@bash tests/container/container.sh --check $(BUILD_DIR)
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)
	tests/windows/run_under_wine.sh $(WIN_BUILD_DIR) $(BUILD_DIR) $(JOBS)
	$(MAKE) sanitize
	$(MAKE) fuzz FUZZ_SECONDS=$(FUZZ_SECONDS)

$(FUZZ_DIR)/build.ninja:
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVOREL_FUZZ=ON

$(TSAN_DIR)/build.ninja:
	CC=clang CXX=clang++ cmake -S . -B $(TSAN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_FLAGS=-O1 \
	  -DVOREL_TSAN=ON

# The test programs under AddressSanitizer and UndefinedBehaviorSanitizer (in the fuzzers' build), and the
# tests of the parts that run threads (service host, main loops, the HTTP client's abort, the state store
# written from several threads) under ThreadSanitizer.
sanitize: deps $(FUZZ_DIR)/build.ninja $(TSAN_DIR)/build.ninja
	cmake --build $(FUZZ_DIR) -j $(JOBS)
	cd $(FUZZ_DIR) && ctest --output-on-failure -j $(JOBS)
	cmake --build $(TSAN_DIR) -j $(JOBS) --target platform_tests exchange_tests service_tests vorel_service
	cd $(TSAN_DIR) && ./platform_tests --gtest_filter='ServiceHost.*:CurlHttpClient.*:StateStore.*' && \
	  ./exchange_tests --gtest_filter='MainLoop.*' && ./service_tests --gtest_filter='ServiceMainLoop.*'

# Coverage-guided fuzzing under AddressSanitizer and UndefinedBehaviorSanitizer, a short run per target.
fuzz: deps $(FUZZ_DIR)/build.ninja
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target fuzzers
	FUZZ_SECONDS=$(FUZZ_SECONDS) FUZZ_DIR=$(FUZZ_DIR) fuzz/run_all.sh

# The Windows test programs and the service's end-to-end run under Wine (the portal simulator is the POSIX one).
test-windows: deps build windows
	tests/windows/run_under_wine.sh $(WIN_BUILD_DIR) $(BUILD_DIR) $(JOBS)

# Every I/O point of the crash scenarios (make test tries a sample), on POSIX and under Wine.
crash-test: deps build windows
	cd $(BUILD_DIR) && VOREL_CRASH_POINTS=all ./crash_tests
	VOREL_CRASH_POINTS=all WINE_TESTS=crash_tests tests/windows/run_under_wine.sh $(WIN_BUILD_DIR) $(BUILD_DIR) $(JOBS)

demo: programs
	tools/demo.sh $(BUILD_DIR) $(if $(KEEP),--keep,)

bench: deps build
	@for b in $(BUILD_DIR)/bench_*; do [ -x "$$b" ] && echo "== $$b" && "$$b" --benchmark_repetitions=3 --benchmark_report_aggregates_only=true; done

# build/vorel-service_<version>_amd64.deb
package: programs
	packaging/build_deb.sh $(BUILD_DIR) $(VERSION)

# The program in $(PREFIX)/lib/vorel-service/, vorel_service in $(PREFIX)/bin, the units in
# $(PREFIX)/lib/systemd/system/ (all under $(DESTDIR) when given).
install: programs
	packaging/install_tree.sh $(BUILD_DIR) "$(DESTDIR)" $(PREFIX)/lib/vorel-service $(PREFIX)/bin \
	  $(PREFIX)/lib/systemd/system
	@echo "Installed. Then: systemctl daemon-reload; systemctl enable --now VorelService"

format:
	find src tests bench fuzz tools -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR) $(FUZZ_DIR) $(TSAN_DIR) $(WIN_BUILD_DIR)
