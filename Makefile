# The two ways in: `make run` builds and starts the application, `make test` builds and
# runs every test. Both install missing Debian packages first (as root).
# `make run` builds in a folder of its own (BUILD=<folder> picks another), configured for the
# stand-in, so that it never reconfigures `make test`'s build/ under tests running beside it.
BUILD ?= build-run

.PHONY: run test deps build clean format

deps:
	scripts/install-deps

# Everything, tests included, in make test's regular build folder (no tests run).
build: deps
	cmake -S . -B build -G Ninja -DBRINDLEWICK_WERROR=ON
	cmake --build build --parallel

# With the local stand-in service and the sample release, or API_BASE_URL=https://… (scripts/run).
run: deps
	BUILD=$(BUILD) scripts/run

test: deps
	scripts/run-tests

format:
	find src tests tools bench fuzz -name '*.h' -o -name '*.cpp' | xargs clang-format -i

clean:
	rm -rf build build-run build-sanitize build-fuzz build-install-check
