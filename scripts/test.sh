#!/usr/bin/env bash
# Builds everything and runs every test: the C++ tests under AddressSanitizer
# and UBSan through CTest, then the Python tests against a fresh build of the
# module. Installs what it needs on a fresh machine.
set -euo pipefail
cd "$(dirname "$0")/.."

apt_needed=()
[ -f /usr/include/gtest/gtest.h ] || apt_needed+=(libgtest-dev)
# rsvg-convert renders the SVG dumps in tests/test_svg.py.
command -v rsvg-convert >/dev/null || apt_needed+=(librsvg2-bin)
if [ ${#apt_needed[@]} -gt 0 ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${apt_needed[@]}"
fi
python3 -m pip install -q --disable-pip-version-check \
  "scikit-build-core>=0.8" cmake ninja pytest hypothesis
# The play extra (quelmar-play's HTTP server): the wheel below is installed
# without build isolation or its extras, so its packages come here.
python3 -m pip install -q --disable-pip-version-check "aiohttp>=3.9"
# The rl and openspiel extras, for the environments' tests and their types
# (open_spiel is a binary wheel: a few seconds, nothing built here).
python3 -m pip install -q --disable-pip-version-check \
  "numpy>=1.24" "gymnasium>=1.0" "pettingzoo>=1.24" "open_spiel>=1.5"

echo "== C++ tests (Debug, sanitizers)"
cmake -S . -B build/debug -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DQUELMAR_BUILD_TESTS=ON -DQUELMAR_BUILD_MODULE=OFF
cmake --build build/debug -j2
ctest --test-dir build/debug --output-on-failure -j2

# ---- libFuzzer -------------------------------------------------------------
# Sixty seconds of libFuzzer over the engine from the named seed corpus, built
# with clang under ASan and UBSan (scripts/fuzz.sh installs clang when it is
# missing); a crash, hang or broken invariant fails the run.
echo "== Fuzzing the engine (libFuzzer, 60 s)"
bash scripts/fuzz.sh 60
# ---- end of libFuzzer ------------------------------------------------------

echo "== Python module (Release) and Python tests"
python3 -m pip install -q --disable-pip-version-check --no-build-isolation \
  -Cbuild-dir=build/wheel .

# ---- type stub, toolkit types and wheel contents ---------------------------
# The stub must match the installed module (no allowlist), a strict caller
# must type-check against it, the toolkit must pass mypy --strict as
# installed, and the wheel must hold exactly the module, the stub package,
# the toolkit and its metadata. Run from a scratch directory so that only
# the installed packages are seen; before pytest, whose summary stays last.
echo "== Type stub, toolkit types and wheel contents"
python3 -m pip install -q --disable-pip-version-check mypy typing_extensions types-tqdm
scratch=$(mktemp -d)
root=$(pwd)
(cd "$scratch" && python3 -m mypy.stubtest quelmar)
(cd "$scratch" && python3 -m mypy --strict --no-incremental "$root/tests/typing_usage.py" &&
  python3 "$root/tests/typing_usage.py")
(cd "$scratch" && python3 -m mypy --strict --no-incremental -p quelmar_kit)
python3 -m pip wheel -q --disable-pip-version-check --no-build-isolation --no-deps \
  -Cbuild-dir=build/wheel -w "$scratch/wheel" .
python3 scripts/check_wheel.py "$scratch/wheel"
# What a user gets from a fresh environment: the commands and the package,
# run from a directory that holds no source.
python3 -m venv "$scratch/venv"
"$scratch/venv/bin/pip" install -q --disable-pip-version-check "$scratch"/wheel/quelmar-*.whl
(cd "$scratch" && venv/bin/quelmar-selfplay --size 9 --max-moves 40 --games 4 --out x.jsonl &&
  venv/bin/quelmar-records check x.jsonl && venv/bin/python -c "import quelmar_kit.records" &&
  venv/bin/quelmar-play --help >/dev/null &&
  venv/bin/quelmar-match greedy "engine:venv/bin/quelmar-engine --bot mcts:playouts=10" \
    --games 2 --out m.jsonl && venv/bin/quelmar-records check m.jsonl)
rm -rf "$scratch"
# ---- end of type stub, toolkit types and wheel contents --------------------

# ---- browser and Ray -------------------------------------------------------
# The tests marked 'integration' drive the play page in Debian's headless
# Chromium through Playwright (which never downloads a browser of its own
# here) and self-play on a local Ray cluster of two workers, against the
# installed Release module; neither runs under the sanitizers' LD_PRELOAD.
echo "== Browser and Ray tests (installed module)"
command -v chromium >/dev/null || {
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq chromium
}
python3 -c "import playwright, ray" 2>/dev/null ||
  python3 -m pip install -q --disable-pip-version-check playwright ray
# A missing tool must fail here, not be skipped by the tests.
python3 -c "import playwright.sync_api, ray"
python3 -m pytest -q -p no:cacheprovider -m integration tests
# ---- end of browser and Ray ------------------------------------------------

# ---- sanitized Python suite ------------------------------------------------
# The engine's suite again but for the integration tests, against a build of
# the module under ASan and UBSan with the invariant check after every
# change (scripts/sanitized_pytest.sh asserts that this build, not the
# wheel, is the one imported). The toolkit is pure Python: its tests run
# once, below.
echo "== Python tests against the sanitized module"
bash scripts/sanitized_pytest.sh -m "not integration" --ignore=tests/kit tests
# ---- end of sanitized Python suite -----------------------------------------

# Development mode: the allocator debug hooks and every warning shown.
python3 -X dev -m pytest -q -m "not integration" tests

