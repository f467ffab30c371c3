#!/usr/bin/env bash
# LDIF source on a 100,000-entry file (about 27 MB): Open against slapadd's
# dry run on the same file, Close (the write) against cp, and the peak
# resident memory of the open source against the file size.
# Each time is the best of three runs. The close writes the file after one
# change; whether the file read would be written back unchanged is checked
# on the same file (ldif-roundtrip-identical).
set -euo pipefail
export PATH="$PATH:/usr/sbin:/sbin" # slapadd lives there
here=$(cd "$(dirname "$0")" && pwd)
build=${BENCH_BUILD:?BENCH_BUILD must name a configured build folder}
entries=${1:-100000}
cmake --build "$build" --target tarvo_bench_ldif >/dev/null
bench="$build/bench/ldif/tarvo_bench_ldif"

work=$(mktemp -d /tmp/tarvo-bench-ldif-XXXXXX)
trap 'rm -rf "$work"' EXIT
suffix=$("$bench" gen "$work/data.ldif" "$entries")
size=$(stat -c %s "$work/data.ldif")

now() { date +%s.%N; }
best() { printf '%s\n' "$@" | sort -g | head -1; }

# slapadd needs a configuration: the generated suffix on an mdb database.
mkdir -p "$work/db"
cat >"$work/slapd.conf" <<CONF
include /etc/ldap/schema/core.schema
include /etc/ldap/schema/cosine.schema
include /etc/ldap/schema/inetorgperson.schema
modulepath /usr/lib/ldap
moduleload back_mdb
database mdb
suffix "$suffix"
directory $work/db
CONF

slapadd_times=()
tarvo_open=()
tarvo_close=()
cp_times=()
cpsync_times=()
rss=0
identical=yes
for run in 1 2 3; do
  t0=$(now)
  slapadd -u -q -f "$work/slapd.conf" -l "$work/data.ldif" >/dev/null 2>"$work/slapadd.err" || {
    cat "$work/slapadd.err" >&2; exit 1; }
  t1=$(now)
  slapadd_times+=("$(echo "$t1 - $t0" | bc -l)")

  cp "$work/data.ldif" "$work/tarvo.ldif"
  out=$("$bench" run "$work/tarvo.ldif" "$suffix")
  tarvo_open+=("$(awk '$1=="open"{print $2}' <<<"$out")")
  tarvo_close+=("$(awk '$1=="close"{print $2}' <<<"$out")")
  r=$(awk '$1=="rss"{print $2}' <<<"$out")
  [ "$r" -gt "$rss" ] && rss=$r
  shown=$(awk '$1=="entries"{print $2}' <<<"$out")
  [ "$(awk '$1=="identical"{print $2}' <<<"$out")" = yes ] || identical=no

  t0=$(now)
  cp "$work/data.ldif" "$work/copy.ldif"
  t1=$(now)
  cp_times+=("$(echo "$t1 - $t0" | bc -l)")
  rm -f "$work/copy.ldif"
  # The same copy made durable, as the source's save is (it syncs the file).
  t0=$(now)
  cp "$work/data.ldif" "$work/copy.ldif" && sync "$work/copy.ldif"
  t1=$(now)
  cpsync_times+=("$(echo "$t1 - $t0" | bc -l)")
  rm -f "$work/copy.ldif"
done

open=$(best "${tarvo_open[@]}")
slap=$(best "${slapadd_times[@]}")
close=$(best "${tarvo_close[@]}")
cpt=$(best "${cp_times[@]}")
cps=$(best "${cpsync_times[@]}")
mb=$(echo "$size / 1048576" | bc -l)
printf 'file: %d entries (%d shown under %s), %.1f MB\n' "$entries" "$shown" "$suffix" "$mb"
printf 'open (read, select, build tree): tarvo %.3f s, slapadd -u -q %.3f s, ratio %.2f\n' \
  "$open" "$slap" "$(echo "$open / $slap" | bc -l)"
printf 'close (write back, free): tarvo %.3f s, cp %.3f s, ratio %.2f\n' \
  "$close" "$cpt" "$(echo "$close / $cpt" | bc -l)"
printf '                       (against cp and sync of the copy: %.3f s, ratio %.2f)\n' \
  "$cps" "$(echo "$close / $cps" | bc -l)"
printf 'peak resident memory while open: %.1f MB for a %.1f MB file, ratio %.2f\n' \
  "$(echo "$rss / 1048576" | bc -l)" "$mb" "$(echo "$rss / $size" | bc -l)"
printf 'ldif-open ratio %.2f\n' "$(echo "$open / $slap" | bc -l)"
printf 'ldif-write ratio %.2f\n' "$(echo "$close / $cpt" | bc -l)"
printf 'ldif-rss ratio %.2f\n' "$(echo "$rss / $size" | bc -l)"
printf 'ldif-roundtrip-identical %s\n' "$identical"
