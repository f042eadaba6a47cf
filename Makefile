# The two commands: `make run` (the terminal) and `make test` (every test).
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
PREFIX ?= $(HOME)/.local

.PHONY: all deps configure build run demo test bench fuzz install uninstall clean format sanitize tsan

all: build

deps:
	@scripts/install-deps

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)

configure: deps $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# On a desktop: the window. Without a display: a demo on a virtual display that
# saves a screenshot to $(BUILD)/kestrum-demo.png and prints its path.
run: build
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  exec $(BUILD)/src/kestrum/kestrum; \
	else \
	  exec scripts/demo $(BUILD) $(BUILD)/kestrum-demo.png; \
	fi

demo: build
	scripts/demo $(BUILD) $(BUILD)/kestrum-demo.png

# The program, its fonts and the desktop entry (Open With Kestrum for folders)
# under PREFIX, ~/.local by default; DESTDIR stages them.
install: build
	scripts/install-kestrum $(BUILD) $(PREFIX)

uninstall:
	rm -f $(DESTDIR)$(PREFIX)/bin/kestrum $(DESTDIR)$(PREFIX)/share/applications/io.kestrum.Kestrum.desktop
	rm -rf $(DESTDIR)$(PREFIX)/lib/kestrum

test: build
	scripts/run-tests $(BUILD)

bench: build
	cmake --build $(BUILD) --target run-benchmarks

# Address and undefined-behaviour sanitizers over the whole suite, in a build of their own.
sanitize: deps
	cmake -S . -B build-asan -G Ninja -DKESTRUM_SANITIZE=ON -DKESTRUM_BUILD_BENCH=OFF
	cmake --build build-asan -j $(JOBS)
	scripts/run-tests build-asan

tsan: deps
	cmake -S . -B build-tsan -G Ninja -DKESTRUM_TSAN=ON -DKESTRUM_BUILD_BENCH=OFF
	cmake --build build-tsan -j $(JOBS)
	scripts/run-tests build-tsan

# The engine's fuzz target (clang + libFuzzer) for FUZZ_SECONDS; crashes land in build-fuzz.
FUZZ_SECONDS ?= 60
fuzz:
	cmake -S fuzz -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++
	cmake --build build-fuzz -j $(JOBS)
	mkdir -p build-fuzz/corpus
	cd build-fuzz && ./vt_fuzz -max_total_time=$(FUZZ_SECONDS) -max_len=8192 -timeout=10 corpus ../fuzz/seeds

format:
	find src tests bench -name '*.cpp' -o -name '*.hpp' | xargs clang-format -i

clean:
	rm -rf $(BUILD) build-asan build-tsan
