#!/usr/bin/env bash
# bench/run close-hang: the private slapd paused (SIGSTOP) while a 30 MB
# modify is being written; the time from Close to the end of the process,
# beside the same Close with the server running.
set -euo pipefail
: "${BENCH_BUILD:?set by bench/run}"
cmake --build "$BENCH_BUILD" --target tarvo_bench_close_hang >/dev/null
"$BENCH_BUILD/bench/close-hang/tarvo_bench_close_hang" "$@"
