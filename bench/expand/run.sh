#!/usr/bin/env bash
# bench/run expand: CLdapSource browsing 20,000 children against
# "ldapsearch -x -s one -A" on the same entry of the same private server.
set -euo pipefail
: "${BENCH_BUILD:?set by bench/run}"
cmake --build "$BENCH_BUILD" --target tarvo_bench_expand >/dev/null
"$BENCH_BUILD/bench/expand/tarvo_bench_expand" "$@"
