#!/usr/bin/env bash
# bench/run connect: CLdapSource opening a StartTLS connection (certificate
# verified, anonymous bind) against "ldapsearch -ZZ -x -b '' -s base" on the
# same private server.
set -euo pipefail
: "${BENCH_BUILD:?set by bench/run}"
cmake --build "$BENCH_BUILD" --target tarvo_bench_connect >/dev/null
"$BENCH_BUILD/bench/connect/tarvo_bench_connect" "$@"
