#!/usr/bin/env bash
# Builds the extension module with AddressSanitizer, UBSan (every finding
# fatal, float-to-integer overflow included) and the board invariant check
# after every change, then runs the whole Python suite against that build
# rather than the installed wheel.
#
#   bash scripts/sanitized_pytest.sh [pytest arguments...]
#
# Environment: QUELMAR_ASAN_BUILD (default build/asan) is the build dir.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir="${QUELMAR_ASAN_BUILD:-build/asan}"
python="$(command -v python3)"

# gcc, because the runtime preloaded below is gcc's.
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=g++ \
  -DQUELMAR_BUILD_MODULE=ON -DQUELMAR_BUILD_TESTS=OFF \
  -DCMAKE_CXX_FLAGS="-fsanitize=float-cast-overflow" \
  -DPython_EXECUTABLE="$python" >/dev/null
cmake --build "$build_dir" -j2 --target quelmar

module_dir="$(cd "$build_dir" && pwd)"
libasan="$(gcc -print-file-name=libasan.so)"
if [ ! -e "$libasan" ]; then
  echo "libasan.so not found (gcc -print-file-name gave '$libasan')" >&2
  exit 1
fi

# The interpreter itself is not instrumented: the runtime has to come first
# in the process, allocations must go through malloc so that ASan sees every
# one, and leaks are the leak tests' business, not ASan's (the interpreter
# keeps much of its heap until exit).
export LD_PRELOAD="$libasan${LD_PRELOAD:+:$LD_PRELOAD}"
export PYTHONMALLOC=malloc
export ASAN_OPTIONS="detect_leaks=0:halt_on_error=1:abort_on_error=1:allocator_may_return_null=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export PYTHONPATH="$module_dir${PYTHONPATH:+:$PYTHONPATH}"
export QUELMAR_SANITIZED_MODULE="$module_dir"

# The module imported must be the one just built, never an installed wheel.
"$python" - <<'EOF'
import os, sys
import quelmar
where = os.path.realpath(os.path.dirname(quelmar.__file__))
want = os.path.realpath(os.environ["QUELMAR_SANITIZED_MODULE"])
if where != want:
    sys.exit(f"imported {quelmar.__file__}, not the sanitized build in {want}")
print(f"sanitized module: {quelmar.__file__}")
EOF

exec "$python" -m pytest -q -p no:cacheprovider "$@"
