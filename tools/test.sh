#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds both configurations and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh test
status=0
for config in current earlier; do
    option=OFF
    [ "$config" = earlier ] && option=ON
    echo "== $config configuration"
    cmake -S . -B "build/$config" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPAVELIN_EARLIER=$option
    cmake --build "build/$config"
    (cd "build/$config" && ctest --output-on-failure -j2) || status=1
done

# The Debian source package as the distribution builds it: twice, compared
# byte for byte, lintian, the hardening flags, then installed, used, removed.
echo "== Debian package"
start=$SECONDS
bash tests/package/debian.sh build/debian || status=1
echo "== Debian package: $((SECONDS - start)) s"

# The whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer
# (clang), then each fuzz target for a bounded time. Any finding fails.
echo "== sanitizers"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/fuzz/lsan.supp
CXX=clang++ cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPAVELIN_SANITIZE=ON
cmake --build build/sanitize
(cd build/sanitize && ctest --output-on-failure -j2 -E package_deb) || status=1
bash tools/fuzz.sh build/sanitize || status=1
exit $status
