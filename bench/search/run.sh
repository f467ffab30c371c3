#!/usr/bin/env bash
# bench/run search: a subtree search returning 20,000 of 100,000 entries, all
# attributes, into the search panel's table (offscreen Qt), against ldapsearch
# to /dev/null with the same base, scope and filter.
set -euo pipefail
: "${BENCH_BUILD:?set by bench/run}"
cmake --build "$BENCH_BUILD" --target tarvo_bench_search >/dev/null
QT_QPA_PLATFORM=offscreen "$BENCH_BUILD/bench/search/tarvo_bench_search" "$@"
