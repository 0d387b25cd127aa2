#!/usr/bin/env bash
# Builds everything and runs every test: the C++ tests under AddressSanitizer
# and UBSan through CTest, then the Python tests against a fresh build of the
# module. Installs what it needs on a fresh machine.
set -euo pipefail
cd "$(dirname "$0")/.."

apt_needed=()
[ -f /usr/include/gtest/gtest.h ] || apt_needed+=(libgtest-dev)
if [ ${#apt_needed[@]} -gt 0 ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${apt_needed[@]}"
fi
python3 -m pip install -q --disable-pip-version-check \
  "scikit-build-core>=0.8" cmake ninja pytest hypothesis

echo "== C++ tests (Debug, sanitizers)"
cmake -S . -B build/debug -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DQUELMAR_BUILD_TESTS=ON -DQUELMAR_BUILD_MODULE=OFF
cmake --build build/debug -j2
ctest --test-dir build/debug --output-on-failure -j2

echo "== Python module (Release) and Python tests"
python3 -m pip install -q --disable-pip-version-check --no-build-isolation \
  -Cbuild-dir=build/wheel .
python3 -m pytest -q tests
