#!/usr/bin/env bash
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
exit $status
