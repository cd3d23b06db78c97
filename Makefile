# Convenience wrapper around CMake: `make demo` and `make test` on a fresh clone.
BUILD ?= build
JOBS ?= 2

.PHONY: all build test demo format-check werror sanitize tsan fuzz clean

all: build

build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j$(JOBS)

# Builds everything and runs the whole test suite (unit and end-to-end).
test: build
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

# The five programs: the demo builds these alone, not the test suite.
PROGRAMS = imgconv blocksum bytesplit basiclist hpfiles

# Builds the programs (and nothing else) and runs them on the bundled examples.
demo:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j$(JOBS) --target $(PROGRAMS)
	sh examples/demo.sh $(BUILD)

# Every C++ source of the tree, for the format check.
FORMAT_SOURCES = $(shell find common imgconv romtools basiclist hpfiles tests examples \
                   -name '*.cpp' -o -name '*.h' | LC_ALL=C sort)

# Fails, naming each place, when a source differs from what clang-format makes
# of it under .clang-format; `clang-format -i <files>` mends them.
format-check:
	clang-format --dry-run -Werror $(FORMAT_SOURCES)

# Programs, tests and example generators built with every warning an error.
werror:
	cmake -S . -B $(BUILD)-werror -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS=-Werror
	cmake --build $(BUILD)-werror -j$(JOBS)

# The same suite built with AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize:
	cmake -S . -B $(BUILD)-asan -DCMAKE_BUILD_TYPE=Debug -DHPKIT_SANITIZE=ON
	cmake --build $(BUILD)-asan -j$(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(BUILD)-asan --output-on-failure -j$(JOBS)

# bytesplit, the one program whose workers run side by side, and its tests built
# with ThreadSanitizer (every test whose name holds "Bytesplit"); a race the
# sanitizer sees fails the run it happens in.
TSAN_TESTS = Bytesplit
tsan:
	cmake -S . -B $(BUILD)-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_FLAGS=-fsanitize=thread -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread
	cmake --build $(BUILD)-tsan -j$(JOBS) --target bytesplit romtools_unit_tests romtools_e2e_tests
	TSAN_OPTIONS=halt_on_error=1 \
	  ctest --test-dir $(BUILD)-tsan --output-on-failure -j$(JOBS) -R $(TSAN_TESTS)

# Every libFuzzer harness for FUZZ_SECONDS each (needs clang and libclang-rt-14-dev).
FUZZ_SECONDS ?= 60
fuzz:
	bash tests/fuzz/run.sh $(FUZZ_SECONDS) $(BUILD)-fuzz

clean:
	rm -rf $(BUILD) $(BUILD)-asan $(BUILD)-tsan $(BUILD)-fuzz $(BUILD)-werror
