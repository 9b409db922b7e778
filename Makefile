# Thin wrapper over CMake. `make test` is what CI runs.
JOBS        ?= $(shell nproc)
TEST_DIR    ?= build/test
RELEASE_DIR ?= build/release
CMAKE_GEN   := -G Ninja

.PHONY: all deps build test-build test tsan run bench soak package screenshots fuzz format lint clean

all: build

deps:
	@scripts/install-deps

# Sanitized build for the tests.
$(TEST_DIR)/build.ninja: | deps
	cmake -S . -B $(TEST_DIR) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug \
	  -DCMAKE_CXX_FLAGS="-O1 -g" -DVELMORA_SANITIZE=ON -DVELMORA_TESTS=ON

# Optimised build for running and measuring.
$(RELEASE_DIR)/build.ninja: | deps
	cmake -S . -B $(RELEASE_DIR) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release \
	  -DVELMORA_TESTS=OFF -DVELMORA_BENCH=ON

build: deps $(RELEASE_DIR)/build.ninja
	cmake --build $(RELEASE_DIR) -j $(JOBS)

test-build: deps $(TEST_DIR)/build.ninja
	cmake --build $(TEST_DIR) -j $(JOBS)

test: test-build
	cd $(TEST_DIR) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --timeout 300

# ThreadSanitizer over the whole suite; tests/tsan.supp names the one
# hand-over TSan cannot see into (Qt's posted-event queue).
TSAN_DIR ?= build/tsan
$(TSAN_DIR)/build.ninja: | deps
	cmake -S . -B $(TSAN_DIR) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="-O1 -g -fsanitize=thread" \
	  -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread -DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=thread -DVELMORA_TESTS=ON

tsan: deps $(TSAN_DIR)/build.ninja
	cmake --build $(TSAN_DIR) -j $(JOBS)
	cd $(TSAN_DIR) && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/tests/tsan.supp" \
	  QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --timeout 600

run: build
	scripts/run-demo $(RELEASE_DIR)

bench: build
	scripts/run-bench $(RELEASE_DIR)

# The Debian package, build/release/velmora_VERSION_ARCH.deb.
package: build
	cd $(RELEASE_DIR) && cpack -G DEB

# Pictures of every window in both languages, into docs/screenshots/.
screenshots: build
	scripts/screenshots $(RELEASE_DIR)

# The window under faults for SOAK_SECONDS (default 600).
soak: build
	bench/soak $(RELEASE_DIR)

# libFuzzer with clang, FUZZ_SECONDS a target (default 60).
fuzz:
	scripts/run-fuzz

# One format: `make format` rewrites every C++ file; `make lint` fails on any
# file that differs and on any clang-tidy finding over the whole tree (from
# the test build's compile database).
format: deps
	scripts/lint --apply-format

lint: test-build
	scripts/lint $(TEST_DIR)

clean:
	rm -rf build
