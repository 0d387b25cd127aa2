#!/usr/bin/env bash
# Fuzzes the engine with libFuzzer for the given number of seconds (60 by
# default), starting from the named seed cases in fuzz/corpus/. Builds the
# harness with clang under AddressSanitizer and UBSan in build/fuzz/libfuzzer
# (never part of the wheel) and installs clang and its libFuzzer runtime from
# Debian when they are missing. Exits non-zero when the fuzzer finds a crash,
# a hang, a leak or a broken invariant; the failing input is then in
# build/fuzz/artifacts/ and replays with
#   build/fuzz/libfuzzer/fuzz_game build/fuzz/artifacts/crash-...
# Inputs the fuzzer finds interesting collect in build/fuzz/corpus-work/ and
# are reused by the next run on this machine.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"

runtime_present() {
  local dir
  dir=$("$1" -print-resource-dir 2>/dev/null) || return 1
  [ -f "$dir/lib/linux/libclang_rt.fuzzer-x86_64.a" ]
}

cxx=$(command -v clang++ || command -v clang++-14 || true)
if [ -z "$cxx" ] || ! runtime_present "$cxx"; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq clang
  cxx=$(command -v clang++)
  if ! runtime_present "$cxx"; then
    major=$("$cxx" -dumpversion | cut -d. -f1)
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "libclang-rt-$major-dev"
  fi
fi

build=build/fuzz/libfuzzer
# Release with the sanitizers: -O2 and no per-change board check, which the
# harness runs after every operation anyway.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_CXX_FLAGS=-g -DQUELMAR_SANITIZE=ON -DQUELMAR_BUILD_FUZZ=ON \
  -DQUELMAR_BUILD_TESTS=OFF -DQUELMAR_BUILD_MODULE=OFF > /dev/null
cmake --build "$build" -j2 --target fuzz_game

mkdir -p build/fuzz/corpus-work build/fuzz/artifacts
# Inputs of at most 1,024 bytes: every operation is checked against a
# replay of the whole log, so shorter games gave 1.7 times the executions
# and more coverage in the same time than 4,096. Longer seeds are cut to
# that length; the regression test still replays them whole.
echo "== libFuzzer, ${seconds} s from fuzz/corpus"
"$build/fuzz_game" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=4096 -max_len=1024 \
  -print_final_stats=1 -artifact_prefix=build/fuzz/artifacts/ \
  build/fuzz/corpus-work fuzz/corpus 2> build/fuzz/last-run.log || {
  grep -m1 'INFO: Seed:' build/fuzz/last-run.log || true
  tail -n 60 build/fuzz/last-run.log
  echo "fuzz: the fuzzer found a failure; its input is in build/fuzz/artifacts/" >&2
  exit 1
}
grep -E '^(#[0-9]+.*DONE|stat::number_of_executed_units|stat::average_exec_per_sec|stat::new_units_added)' \
  build/fuzz/last-run.log || true
