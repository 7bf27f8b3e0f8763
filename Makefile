# The two ways in: `make run` builds and starts the application, `make test` builds and
# runs every test. Both install missing Debian packages first (as root).
BUILD ?= build

.PHONY: run test deps build clean format

deps:
	scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DBRINDLEWICK_WERROR=ON
	cmake --build $(BUILD) --parallel

# With the local stand-in service and the sample release, or API_BASE_URL=https://… (scripts/run).
run: deps
	BUILD=$(BUILD) scripts/run

test: deps
	scripts/run-tests

format:
	find src tests tools bench fuzz -name '*.h' -o -name '*.cpp' | xargs clang-format -i

clean:
	rm -rf build build-sanitize build-fuzz build-install-check
