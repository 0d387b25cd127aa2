#!/usr/bin/env bash
# Soaks the engine off CI: the fuzz harness on seeded random inputs, one
# process, until the given number of operations (1,000,000 by default) has
# run; every operation is checked as the fuzzer checks it. Builds with the
# default compiler under AddressSanitizer and UBSan in build/fuzz/soak. Failing inputs are written to
# build/fuzz/soak-failures/ and replay with
#   build/fuzz/soak/fuzz_soak --trace build/fuzz/soak-failures/...
# Usage: scripts/soak.sh [operations] [seed]
set -euo pipefail
cd "$(dirname "$0")/.."
operations="${1:-1000000}"
seed="${2:-1}"

build=build/fuzz/soak
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS=-g \
  -DQUELMAR_SANITIZE=ON -DQUELMAR_BUILD_FUZZ=ON -DQUELMAR_BUILD_TESTS=OFF -DQUELMAR_BUILD_MODULE=OFF > /dev/null
cmake --build "$build" -j2 --target fuzz_soak
mkdir -p build/fuzz/soak-failures
"$build/fuzz_soak" --operations "$operations" --seed "$seed" --failures build/fuzz/soak-failures
