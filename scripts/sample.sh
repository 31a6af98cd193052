#!/usr/bin/env bash
# Builds the program and runs it as a web server would on a bundled sample,
# printing the page. Usage: scripts/sample.sh [query]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DGRIDLARK_TESTS=OFF >/dev/null
cmake --build build/release -j"$(nproc)" --target gridlark >/dev/null
QUERY_STRING="${1:-filename=samples/budget.wk1}" build/release/cgi/gridlark
