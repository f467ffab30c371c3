#!/usr/bin/env bash
# bench/run big-entry: one entry of a private slapd with 100,000 member
# values read into the main window's attribute pane (offscreen), beside
# ldapsearch of the same entry to /dev/null; also the longest time the UI
# thread went without turning its event loop during the read.
set -euo pipefail
: "${BENCH_BUILD:?set by bench/run}"
cmake --build "$BENCH_BUILD" --target tarvo_bench_big_entry >/dev/null
"$BENCH_BUILD/bench/big-entry/tarvo_bench_big_entry" "$@"
