#!/usr/bin/env bash
# Measures `tallowmere bake --landblocks all` with --jobs 1 and --jobs 2.
#
#   bench/bake_all.sh [WORLD_DIR] [BUILD_DIR]
#
# WORLD_DIR (default build/measure/world) holds client_portal.dat and client_cell_1.dat;
# when both are missing, the full-scale world (seed 1) is generated there first. BUILD_DIR
# (default build/release) holds the tools. For each job count the bake runs under
# /usr/bin/time -v: wall time, landblocks per second and peak RSS; then the speed-up from
# 1 to 2 jobs, and a check that both bakes wrote identical files. Placement files go to
# build/measure/bake-jobsN, logs to build/measure/logs.
#
# The goals: a speed-up of at least 1.8x on two idle cores, and peak memory under 256 MB
# for the full-scale world.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
world="${1:-${root}/build/measure/world}"
build="${2:-${root}/build/release}"
measure="${root}/build/measure"
logs="${measure}/logs"

tallowmere="${build}/apps/tallowmere-tools/tallowmere"
worldgen="${build}/apps/tallowmere-tools/worldgen"
if [[ ! -x "${tallowmere}" ]]; then
  echo "missing ${tallowmere}: build first (cmake --preset release && cmake --build --preset release)" >&2
  exit 1
fi
if [[ ! -x /usr/bin/time ]]; then
  echo "missing /usr/bin/time (GNU time)" >&2
  exit 1
fi

portal="${world}/client_portal.dat"
cell="${world}/client_cell_1.dat"
mkdir -p "${logs}"
if [[ -f "${portal}" && -f "${cell}" ]]; then
  echo "world: ${world}"
else
  echo "world: generating the full-scale world into ${world}"
  "${worldgen}" --scale full --seed 1 --out "${world}" >"${logs}/worldgen.log" 2>&1
fi

# Seconds from GNU time's "h:mm:ss" or "m:ss.ss".
to_seconds() {
  awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; printf "%.2f", s }' <<<"$1"
}

declare -A wall rss count
for jobs in 1 2; do
  out="${measure}/bake-jobs${jobs}"
  rm -rf "${out}"
  /usr/bin/time -v -o "${logs}/time-jobs${jobs}.log" \
    "${tallowmere}" bake "${portal}" "${cell}" --landblocks all --out "${out}" --jobs "${jobs}" \
    2>"${logs}/bake-jobs${jobs}.log"
  elapsed=$(sed -n 's/^\s*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "${logs}/time-jobs${jobs}.log")
  wall[$jobs]=$(to_seconds "${elapsed}")
  rss[$jobs]=$(sed -n 's/^\s*Maximum resident set size (kbytes): //p' "${logs}/time-jobs${jobs}.log")
  count[$jobs]=$(sed -n 's/^bake: \([0-9]*\) landblocks.*/\1/p' "${logs}/bake-jobs${jobs}.log")
  echo "jobs ${jobs}: $(tail -n 1 "${logs}/bake-jobs${jobs}.log")"
done

identical="yes"
"${tallowmere}" digest "${measure}/bake-jobs1" >"${logs}/digest-jobs1.txt"
"${tallowmere}" digest "${measure}/bake-jobs2" >"${logs}/digest-jobs2.txt"
cmp -s "${logs}/digest-jobs1.txt" "${logs}/digest-jobs2.txt" || identical="NO"

printf '\n%-10s %12s %16s %14s\n' "jobs" "wall (s)" "landblocks/s" "peak RSS (MB)"
for jobs in 1 2; do
  awk -v j="${jobs}" -v w="${wall[$jobs]}" -v n="${count[$jobs]}" -v r="${rss[$jobs]}" \
    'BEGIN { printf "%-10s %12.2f %16.1f %14.1f\n", j, w, (w > 0 ? n / w : 0), r / 1024 }'
done
awk -v a="${wall[1]}" -v b="${wall[2]}" \
  'BEGIN { printf "speed-up 1 -> 2 jobs: %.2fx\n", (b > 0 ? a / b : 0) }'
echo "landblocks: ${count[1]}; files identical for both job counts: ${identical}"
[[ "${identical}" == "yes" ]]
