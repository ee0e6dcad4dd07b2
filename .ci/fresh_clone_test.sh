#!/usr/bin/env bash
# The README's set-up, tried as a new user would: clones the repository into a fresh
# folder, runs the README's two commands there exactly as written, and checks the pass
# line of the run and the summary of the tests. The clone stays at CLONE_DIR for CI's
# later phases, which build on it.
#
#   .ci/fresh_clone_test.sh CLONE_DIR
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
clone="${1:?usage: .ci/fresh_clone_test.sh CLONE_DIR}"

rm -rf "$clone"
git clone --quiet "$repo" "$clone"
cd "$clone"

# A command of the README is the indented line two lines below its lead-in.
readme_command() {
  awk -v lead="$1" '$0 == lead { getline; getline; sub(/^    /, ""); print; exit }' README.md
}
run_command="$(readme_command "Build and run the tool:")"
test_command="$(readme_command "Build and run every test:")"
[ -n "$run_command" ] || { echo "fresh clone: no run command in the README" >&2; exit 1; }
[ -n "$test_command" ] || { echo "fresh clone: no test command in the README" >&2; exit 1; }

echo "fresh clone: $run_command"
bash -c "$run_command" >run.out 2>run.err || { cat run.err; exit 1; }
pass_line="ringproof: PASS — all 169 LBs byte-identical across 2 runs"
grep -qxF "$pass_line" run.err || { echo "fresh clone: no pass line" >&2; cat run.err; exit 1; }

echo "fresh clone: $test_command"
status=0
bash -c "$test_command" >test.out 2>&1 || status=$?
[ "$status" -eq 0 ] || { tail -n 80 test.out; exit 1; }
grep -E '^[0-9]+% tests passed' test.out
grep -qE '^100% tests passed, 0 tests failed out of [0-9]+' test.out \
  || { echo "fresh clone: no clean test summary" >&2; tail -n 40 test.out; exit 1; }
echo "fresh clone: pass line and test summary as expected"
