# make run   — install what is missing, build (Release), put the program's desktop entry
#              in the user's applications folder, start the program
# make test  — the same set-up, a build with tests, then every test (plus the
#              sanitizer configurations)
# make bench — build and run the benchmarks
# make build-clang — the core built with clang too (part of make test)
JOBS ?= $(shell nproc)
CMAKE_GEN := -G Ninja

.PHONY: deps build run test test-main test-asan test-tsan build-clang bench clean

deps:
	@bash scripts/deps

build/build.ninja:
	cmake -S . -B build $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps build/build.ninja
	cmake --build build -j $(JOBS)

run: deps
	cmake -S . -B build-release $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DTALLOWMERE_BUILD_TESTS=OFF -DTALLOWMERE_BUILD_BENCH=OFF
	cmake --build build-release -j $(JOBS)
	@apps="$${XDG_DATA_HOME:-$$HOME/.local/share}/applications"; mkdir -p "$$apps" && \
	sed 's|^Exec=.*|Exec=$(CURDIR)/build-release/tallowmere %u|' packaging/tallowmere.desktop > "$$apps/tallowmere.desktop"
	build-release/tallowmere

test-main: build
	cd build && ctest --output-on-failure -j $(JOBS) --timeout 300

# Address and undefined-behaviour sanitizers over the core's tests.
test-asan: deps
	cmake -S . -B build-asan $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DTALLOWMERE_SANITIZER=address \
	  -DTALLOWMERE_BUILD_BENCH=OFF -DTALLOWMERE_BUILD_UI=OFF
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS) --timeout 600 -LE 'noasan'

# Thread sanitizer over the concurrency layers: every test folder that holds a
# file named tsan-suite.
TSAN_SUITES := $(sort $(subst /,_,$(patsubst tests/%/tsan-suite,%,$(shell find tests -name tsan-suite))))
test-tsan: deps
	cmake -S . -B build-tsan $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DTALLOWMERE_SANITIZER=thread \
	  -DTALLOWMERE_BUILD_BENCH=OFF -DTALLOWMERE_BUILD_UI=OFF
	cmake --build build-tsan -j $(JOBS) --target $(addprefix test_,$(TSAN_SUITES))
	cd build-tsan && TSAN_OPTIONS="halt_on_error=1 suppressions=$(CURDIR)/tests/support/tsan.supp" \
	  ctest --output-on-failure -j $(JOBS) --timeout 600 -L '^($(subst $() ,|,$(TSAN_SUITES)))$$'

# The core libraries built with clang as well, so the code stays portable
# between both compilers. A build only: the tests run in the GCC builds above.
build-clang: deps
	CC=clang CXX=clang++ cmake -S . -B build-clang $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug \
	  -DTALLOWMERE_BUILD_TESTS=OFF -DTALLOWMERE_BUILD_BENCH=OFF -DTALLOWMERE_BUILD_UI=OFF
	cmake --build build-clang -j $(JOBS)

test: test-main test-asan test-tsan build-clang

bench: deps
	cmake -S . -B build-bench $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release
	cmake --build build-bench -j $(JOBS)
	@for b in build-bench/bench/bench_*; do echo "== $$b"; $$b || exit 1; done

clean:
	rm -rf build build-release build-asan build-tsan build-clang build-bench
