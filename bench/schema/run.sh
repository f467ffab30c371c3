#!/usr/bin/env bash
# bench/run schema: CLdapSource reading and resolving the schema of a slapd
# with core, cosine, inetorgperson, nis and a generated schema of 2,000
# attribute types and 500 classes, from the request to a usable model,
# against "ldapsearch -b cn=Subschema -s base +" on the same server; and the
# memory the model takes.
set -euo pipefail
: "${BENCH_BUILD:?set by bench/run}"
cmake --build "$BENCH_BUILD" --target tarvo_bench_schema >/dev/null
"$BENCH_BUILD/bench/schema/tarvo_bench_schema" "$@"
