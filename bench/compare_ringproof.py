#!/usr/bin/env python3
"""Compares several ringproof builds against one replay of the I/O, side by side.

The replay of ../shared/perf/measure.py (the tool's own positioned reads, and its output
files created afresh) is the floor. Its time swings several-fold between sessions with
the state of the file system: creating files where many were deleted moments before costs
several times more. Two builds measured in separate measure.py sessions are therefore not
comparable. Here every round runs the replay and then each build once, each into a folder
emptied just before and all under one scratch folder, so that each round meets one state
of the file system; the figure for a build is the median over the rounds of its time over
the replay's.

    bench/compare_ringproof.py [--runs N] [--portal P --cell C] RINGPROOF...

The reads are recorded from the first build; the others must make the same reads (any
build of the same tool does). A threaded build's trace interleaves its threads: strace
splits a call that another thread interrupts into an "<unfinished ...>" line and a
"<... resumed>" line, which the measurement script's parser does not join, so it misses
those reads. Here the halves are joined before the trace is read, so the replay holds
every read. Needs strace and a C compiler, as measure.py does.
"""

import argparse
import os
import re
import shutil
import statistics
import sys
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent


def join_interrupted_calls(log):
    """Rewrites an `strace -f` log with every call on one line: the "<unfinished ...>"
    half of a call and its "<... NAME resumed>" half, matched by thread id."""
    pending, lines = {}, []
    for line in log.read_text(errors='replace').splitlines():
        m = re.match(r'(\d+)\s+(.*) <unfinished \.\.\.>$', line)
        if m:
            pending[m.group(1)] = m.group(2)
            continue
        m = re.match(r'(\d+)\s+<\.\.\. \w+ resumed>(.*)$', line)
        if m and m.group(1) in pending:
            # strace pads a short result to a column; the parser expects ") = N".
            rest = re.sub(r'^\)\s+= ', ') = ', m.group(2))
            line = '%s %s%s' % (m.group(1), pending.pop(m.group(1)), rest)
        lines.append(line)
    log.write_text('\n'.join(lines) + '\n')


def record_reads(measure, binary, portal, cell, tmp):
    """measure.record_reads, with the calls that other threads interrupted joined first."""
    real_run = measure.subprocess.run

    def run_and_join(args, **kwargs):
        result = real_run(args, **kwargs)
        if args and args[0] == 'strace':
            join_interrupted_calls(Path(args[args.index('-o') + 1]))
        return result

    measure.subprocess.run = run_and_join
    try:
        return measure.record_reads(binary, portal, cell, tmp)
    finally:
        measure.subprocess.run = real_run


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument('binaries', nargs='+', help='ringproof builds to compare')
    ap.add_argument('--runs', type=int, default=9, help='rounds (default 9)')
    ap.add_argument('--portal', default=str(ROOT / 'build/measure/world/client_portal.dat'))
    ap.add_argument('--cell', default=str(ROOT / 'build/measure/world/client_cell_1.dat'))
    ap.add_argument('--measure-py', default=os.environ.get(
        'MEASURE_PY', str(ROOT.parent / 'shared/perf/measure.py')))
    a = ap.parse_args()
    for path in (a.portal, a.cell, a.measure_py, *a.binaries):
        if not Path(path).is_file():
            sys.exit('compare_ringproof: missing %s' % path)
    sys.path.insert(0, str(Path(a.measure_py).parent))
    import measure  # the replay and timing helpers of the measurement script

    binaries = [os.path.abspath(b) for b in a.binaries]
    with tempfile.TemporaryDirectory(prefix='ringproof-compare-') as tmp:
        replay_exe, runrss = measure.build_helpers(tmp)
        files, ops, _ = record_reads(measure, binaries[0], a.portal, a.cell, tmp)
        writes = measure.output_files(tmp)
        scratch = Path(tmp) / 'replay-out'
        floors, times = [], {b: [] for b in binaries}
        for _ in range(a.runs):
            shutil.rmtree(scratch, ignore_errors=True)
            scratch.mkdir()
            floors.append(measure.replay(replay_exe, files, ops, writes, scratch, reps=1)[0])
            for b in binaries:
                times[b].append(measure.time_tool(runrss, b, a.portal, a.cell, tmp, 1)[0])
    print('replay: median %.4f s over %d rounds (%d reads, %d files)'
          % (statistics.median(floors), a.runs, len(ops), len(writes)))
    for b in binaries:
        ratios = [t / f for t, f in zip(times[b], floors) if f > 0]
        print('%-60s median %.4f s  ratio %.2f' % (b, statistics.median(times[b]),
                                                   statistics.median(ratios)))
    return 0


if __name__ == '__main__':
    sys.exit(main())
