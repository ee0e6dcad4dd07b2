#!/usr/bin/env bash
# Opens the 1M-entry benchmark archive in fresh processes and compares the open with
# reading the directory's nodes alone (bench/open_archive_bench, one iteration per
# process, the two alternating). Prints the median of each and their ratio.
#
#   bench/open_fresh.sh [RUNS] [ARCHIVE]
#
# RUNS defaults to 9; ARCHIVE (default build/measure/open-1m.dat) is written on the
# first run and reused afterwards. Expects the benchmark build (cmake --preset bench).
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
bench="${root}/build/release/bench/open_archive_bench"
runs="${1:-9}"
archive="${2:-${root}/build/measure/open-1m.dat}"
if [[ ! -x "${bench}" ]]; then
  echo "missing ${bench}: build the bench preset first" >&2
  exit 1
fi
mkdir -p "$(dirname "${archive}")"
export TALLOWMERE_BENCH_ARCHIVE="${archive}"
# Writes the archive if it is missing, outside the measured processes.
"${bench}" --benchmark_filter='^BM_FindEntry$' --benchmark_min_time=0.01 >/dev/null

# One fresh process: the benchmark's wall and CPU times in milliseconds ("wall cpu").
once() {
  "${bench}" --benchmark_filter="^$1/" --benchmark_format=csv 2>/dev/null |
    awk -F, -v name="$1" '$1 == "\"" name "/iterations:1\"" { print $3, $4 }'
}

open_wall=() open_cpu=() node_wall=() node_cpu=()
for ((i = 0; i < runs; i++)); do
  read -r wall cpu <<<"$(once BM_OpenArchiveFresh)"
  open_wall+=("${wall}") open_cpu+=("${cpu}")
  read -r wall cpu <<<"$(once BM_ReadDirectoryNodesFresh)"
  node_wall+=("${wall}") node_cpu+=("${cpu}")
done
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
report() {
  local open_ms nodes_ms
  open_ms=$(median "${@:2:runs}")
  nodes_ms=$(median "${@:runs+2}")
  printf '%-5s open %8.2f ms, directory nodes alone %8.2f ms, ratio %.2f (goal <= 2)\n' \
    "$1" "${open_ms}" "${nodes_ms}" "$(awk -v o="${open_ms}" -v n="${nodes_ms}" 'BEGIN { print o / n }')"
}
echo "fresh processes, median of ${runs}:"
report wall "${open_wall[@]}" "${node_wall[@]}"
report cpu "${open_cpu[@]}" "${node_cpu[@]}"
