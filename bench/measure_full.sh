#!/usr/bin/env bash
# Measures ringproof on the full-scale generated world with the release build.
#
#   bench/measure_full.sh [WORLD_DIR]
#
# 1. Generates the full-scale world (seed 1) into WORLD_DIR (default build/measure/world)
#    unless both archives are already there.
# 2. Runs the release ringproof on it under /usr/bin/time -v: wall time and peak RSS.
# 3. Runs bench/ringproof_phases_bench: the time of each phase in the tool's order.
# 4. Runs ../shared/perf/measure.py (or the script named by MEASURE_PY): the tool against
#    a replay of the reads and writes it cannot avoid, MEASURE_RUNS pairs (default 9); then
#    bench/compare_ringproof.py, the same with every read of every thread replayed.
# Prints a short table, the ratio last. Placement files go to build/measure/out.
#
# Expects the benchmark build: cmake --preset bench && cmake --build --preset bench
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${root}/build/release"
world="${1:-${root}/build/measure/world}"
out="${root}/build/measure/out"
logs="${root}/build/measure/logs"

worldgen="${build}/apps/tallowmere-tools/worldgen"
ringproof="${build}/apps/tallowmere-tools/ringproof"
phases="${build}/bench/ringproof_phases_bench"
for program in "${worldgen}" "${ringproof}" "${phases}"; do
  if [[ ! -x "${program}" ]]; then
    echo "missing ${program}: build the bench preset first" >&2
    exit 1
  fi
done
if [[ ! -x /usr/bin/time ]]; then
  echo "missing /usr/bin/time (GNU time)" >&2
  exit 1
fi

measure_py="${MEASURE_PY:-${root}/../shared/perf/measure.py}"
if [[ ! -f "${measure_py}" ]]; then
  echo "missing ${measure_py}: set MEASURE_PY to the replay measurement script" >&2
  exit 1
fi

mkdir -p "${logs}"
export TALLOWMERE_PORTAL_DAT="${world}/client_portal.dat"
export TALLOWMERE_CELL_DAT="${world}/client_cell_1.dat"
export TALLOWMERE_DETERMINISM_OUT="${out}"

if [[ -f "${TALLOWMERE_PORTAL_DAT}" && -f "${TALLOWMERE_CELL_DAT}" ]]; then
  echo "world: ${world} (already present)"
else
  echo "world: generating ${world}"
  start=$(date +%s.%N)
  "${worldgen}" --scale full --seed 1 --out "${world}" >"${logs}/worldgen.log" 2>&1
  end=$(date +%s.%N)
  awk -v s="${start}" -v e="${end}" 'BEGIN { printf "world: generated in %.2f s\n", e - s }'
fi

# The tool: its own stderr goes to tool.log; GNU time's report to time.log.
status=0
/usr/bin/time -v -o "${logs}/time.log" "${ringproof}" 2>"${logs}/tool.log" || status=$?
wall=$(sed -n 's/^\s*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "${logs}/time.log")
rss_kb=$(sed -n 's/^\s*Maximum resident set size (kbytes): //p' "${logs}/time.log")
verdict=$(tail -n 1 "${logs}/tool.log")
total=$(sed -n 's/^ringproof: total placements = \([0-9]*\).*/\1/p' "${logs}/tool.log")

# The phases, one iteration each, in milliseconds. (The CSV reporter refuses counters that
# differ between benchmarks, so the console table is read instead.)
"${phases}" --benchmark_color=false >"${logs}/phases.txt" 2>"${logs}/phases.log"

# The tool against the replay of its own reads and writes (alternating pairs).
python3 "${measure_py}" --bin "${ringproof}" --portal "${TALLOWMERE_PORTAL_DAT}" \
  --cell "${TALLOWMERE_CELL_DAT}" --runs "${MEASURE_RUNS:-9}" >"${logs}/measure.txt" 2>&1 || true
ratio=$(sed -n 's/^ratio \([0-9.]*\),.*/\1/p' "${logs}/measure.txt")
# measure.py's trace parser misses the reads that another thread interrupted (strace splits
# them in two lines); the same measurement with those reads joined back replays them all.
python3 "${root}/bench/compare_ringproof.py" --runs "${MEASURE_RUNS:-9}" \
  --portal "${TALLOWMERE_PORTAL_DAT}" --cell "${TALLOWMERE_CELL_DAT}" --measure-py "${measure_py}" \
  "${ringproof}" >"${logs}/compare.txt" 2>&1 || true
joined=$(sed -n 's/.* ratio \([0-9.]*\)$/\1/p' "${logs}/compare.txt")
medians=$(sed -n 's/^ringproof median \([0-9.]* s\).*replay of its reads and writes median \([0-9.]* s\).*/tool \1, replay \2/p' "${logs}/measure.txt")

printf '\n%-28s %s\n' "measure" "value"
printf '%-28s %s\n' "----------------------------" "------------------"
printf '%-28s %s\n' "archives" \
  "portal $(stat -c %s "${TALLOWMERE_PORTAL_DAT}") B, cell $(stat -c %s "${TALLOWMERE_CELL_DAT}") B"
printf '%-28s %s\n' "ringproof exit status" "${status}"
printf '%-28s %s\n' "ringproof wall time" "${wall}"
printf '%-28s %s\n' "ringproof peak RSS" "$((rss_kb / 1024)) MiB (${rss_kb} kB)"
printf '%-28s %s\n' "placements (run 1)" "${total:-?}"
printf '%-28s %s\n' "verdict" "${verdict}"
awk '/^BM_/ {
  name = $1; sub(/^BM_[0-9]_/, "", name); sub(/\/.*/, "", name)
  printf "%-28s %s %s\n", "phase " name, $2, $3
}' "${logs}/phases.txt"
printf '%-28s %s\n' "medians (measure.py)" "${medians:-?}"
printf '%-28s %s\n' "ratio tool / replay" "${ratio:-? (see ${logs}/measure.txt)} (goal <= 1.25)"
printf '%-28s %s\n' "ratio, every read replayed" "${joined:-? (see ${logs}/compare.txt)}"
exit "${status}"
