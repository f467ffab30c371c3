#!/usr/bin/env bash
# bench/run expand-paged: 600 children browsed anonymously on a server that
# caps plain searches at 500 but lets pages through (all must show), and on
# one with a plain limit of 500 (the cut must be reported).
set -euo pipefail
: "${BENCH_BUILD:?set by bench/run}"
cmake --build "$BENCH_BUILD" --target tarvo_bench_expand >/dev/null
"$BENCH_BUILD/bench/expand/tarvo_bench_expand" paged
