# Entry points; CMake does the building. See README.md.
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps configure build run test bench asan-test clean

all: build

deps:
	@scripts/install-deps

$(BUILD)/build.ninja: CMakeLists.txt | deps
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)

configure: deps
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@scripts/run-main $(BUILD)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

bench: configure
	cmake --build $(BUILD) -j $(JOBS) --target keystrel-bench
	$(BUILD)/bench/keystrel-bench $(BENCH_ARGS)

# The whole suite once more under AddressSanitizer and UndefinedBehaviorSanitizer;
# leaks count as failures.
asan-test: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	  -DKEYSTREL_SANITIZE=address,undefined -DKEYSTREL_BUILD_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)

# The Windows COM server keystrel10.dll (32-bit, mingw-w64), and its checks
# under Wine ending with "N passed, N failed". See docs/com.md.
COM_HOST_BUILD ?= build-com-host
COM_BUILD ?= build-com
COM_CHECK_BUILD ?= build-com64
.PHONY: com com-test

com:
	@scripts/install-com-deps
	cmake -S com/idl -B $(COM_HOST_BUILD) -G Ninja
	cmake --build $(COM_HOST_BUILD) -j $(JOBS) --target keystrel-idl-gen
	cmake -S com -B $(COM_BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/com/toolchain-mingw32.cmake \
	  -DKEYSTREL_IDL_GEN=$(CURDIR)/$(COM_HOST_BUILD)/keystrel-idl-gen
	cmake --build $(COM_BUILD) -j $(JOBS)

com-test: com configure
	JOBS=$(JOBS) com/check-all $(COM_HOST_BUILD) $(COM_BUILD) $(COM_CHECK_BUILD) $(BUILD)
