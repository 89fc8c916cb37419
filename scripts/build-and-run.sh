#!/usr/bin/env bash
# Builds the program and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --parallel "$(nproc)"

echo "The desktop program is not part of this build yet: so far the core library and the" >&2
echo "command-line companion are built (build/src/cli/pellmar --help)." >&2
exit 1
