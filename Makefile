# Shortcuts; the README's commands are the scripts these call.
BUILD ?= build
HOST_CONFIGURE = cmake -S . -B $(BUILD)/host -G Ninja -DSETUP_HOST_BUILD=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null

.PHONY: test fuzz bench bench-install bench-bundle
test:
	BUILD=$(BUILD) ./test.sh

# A longer fuzz run than the test command's (FUZZ_SECONDS, default 600).
fuzz:
	bash tools/install-deps.sh
	$(HOST_CONFIGURE)
	cmake --build $(BUILD)/host --target xml_fuzz
	$(BUILD)/host/tests/fuzz/xml_fuzz -max_total_time=$${FUZZ_SECONDS:-600} -max_len=65536 \
	  $(BUILD)/host/tests/fuzz/corpus tests/fuzz/corpus

bench:
	bash tools/install-deps.sh
	$(HOST_CONFIGURE)
	cmake --build $(BUILD)/host --target xml_bench
	$(BUILD)/host/tests/bench/xml_bench

# A small silent install and uninstall under Wine: setup.exe against an
# uncompressed NSIS installer of the same files (BENCH_ROUNDS, BENCH_OTHER).
bench-install:
	BUILD=$(BUILD) tools/bench-install.sh

# The bundle's silent install of about 1 GiB of real PE files under Wine
# against a plain CopyFile and an NSIS /SOLID lzma installer of the same
# files, and the sizes (BENCH_ROUNDS).
bench-bundle:
	BUILD=$(BUILD) tools/bench-bundle.sh
