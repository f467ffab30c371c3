#!/usr/bin/env bash
# bench/run import: the 100,000-entry file of bench/run ldif imported into an
# empty slapd (pipelined, on a connection of its own) against ldapadd -f of
# the same file into another empty slapd in the same run; the peak resident
# memory of the importing process.
set -euo pipefail
: "${BENCH_BUILD:?set by bench/run}"
entries=${1:-100000}
cmake --build "$BENCH_BUILD" --target tarvo_bench_ldif tarvo_bench_import >/dev/null
work=$(mktemp -d /tmp/tarvo-bench-import-XXXXXX)
trap 'rm -rf "$work"' EXIT
"$BENCH_BUILD/bench/ldif/tarvo_bench_ldif" gen "$work/data.ldif" "$entries" >/dev/null
# From the build folder: the slapd fixture finds its script from there whatever the compiler cache did to paths.
cd "$BENCH_BUILD" && ./bench/import/tarvo_bench_import "$work/data.ldif"
