#!/bin/sh
# Builds the fuzz targets with clang (libFuzzer, ASan, UBSan) and runs each in
# turn, one process at a time under nice, on its corpus.
#
#   fuzz/run.sh -t SECONDS [TARGET...]   each target for that long (CI: -t 60)
#   fuzz/run.sh -r RUNS [TARGET...]      each target for that many executions
#   -j WORKERS (before the target names) shares that work among as many
#   processes at once on the same corpus, one per core (default 1); each
#   worker logs to LOG.N beside the run's log.
#
# TARGET is import, convert, options or profile (default: all four). Corpora
# grow in build-fuzz/corpus/TARGET and start from the seeds that
# make_fuzz_seeds writes with the test suite's file writer, plus samples/ for
# import and convert (which share the import seeds).
# Logs go to $FUZZ_LOGS (default /tmp/fuzz-logs), one per target and run;
# a failing input is kept there as TARGET-crash-*, -leak-*, -timeout-* or
# -oom-*. Exits non-zero when any target found something.
#
# Bounds every input is held to (libFuzzer fails the run beyond them):
#   -max_len=4096         inputs of at most 4 KiB
#   -timeout=2            at most 2 s per input (an input takes milliseconds)
#   -rss_limit_mb=768     the whole process, sanitizer shadow and quarantine included
#   -malloc_limit_mb=16   no single allocation above 16 MiB
# Allocation stacks are off for speed (malloc_context_size=0); to see them,
# run the target binary on the kept input without ASAN_OPTIONS.
set -eu
cd "$(dirname "$0")/.."
ROOT=$(pwd)
MODE=""
AMOUNT=""
WORKERS=1
USAGE="usage: fuzz/run.sh [-j WORKERS] -t SECONDS | -r RUNS [import|convert|options|profile...]"
while getopts "t:r:j:" opt; do
  case $opt in
    t) MODE=time; AMOUNT=$OPTARG ;;
    r) MODE=runs; AMOUNT=$OPTARG ;;
    j) WORKERS=$OPTARG ;;
    *) echo "$USAGE" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
case $WORKERS in
  ''|*[!0-9]*|0) echo "$USAGE" >&2; exit 2 ;;
esac
if [ -z "$MODE" ]; then
  echo "$USAGE" >&2
  exit 2
fi
TARGETS=${*:-import convert options profile}
LOGS=${FUZZ_LOGS:-/tmp/fuzz-logs}
BUILD=$ROOT/build-fuzz
mkdir -p "$LOGS"

cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DVERTEXA_FUZZ=ON >/dev/null
# Only what the campaign runs: the targets and the seed writer.
nice cmake --build "$BUILD" -j2 --target fuzz_import fuzz_convert fuzz_options fuzz_profile make_fuzz_seeds

rm -rf "$BUILD/seeds"
"$BUILD/bin/make_fuzz_seeds" "$BUILD/seeds"
cp samples/*.scn "$BUILD/seeds/import/"

status=0
for t in $TARGETS; do
  case $t in
    import|convert) dict=cob.dict; seeds=import ;;
    options|profile) dict=$t.dict; seeds=$t ;;
    *) echo "unknown target $t" >&2; exit 2 ;;
  esac
  mkdir -p "$BUILD/corpus/$t"
  # A time bound holds for every worker; a number of runs is shared among them.
  if [ "$MODE" = time ]; then amount="-max_total_time=$AMOUNT"; else amount="-runs=$(((AMOUNT + WORKERS - 1) / WORKERS))"; fi
  log="$LOGS/$t-$(date -u +%Y%m%dT%H%M%S).log"
  echo "fuzz_$t $amount x $WORKERS: log $log"
  set -- "$amount" -print_final_stats=1 \
    -max_len=4096 -timeout=2 -rss_limit_mb=768 -malloc_limit_mb=16 \
    -dict="$ROOT/fuzz/$dict" -artifact_prefix="$LOGS/$t-" \
    "$BUILD/corpus/$t" "$BUILD/seeds/$seeds"
  # Paths are absolute: the options target works in a folder of its own.
  export ASAN_OPTIONS=detect_leaks=1:malloc_context_size=0:quarantine_size_mb=64
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  pids=""
  n=0
  while [ $n -lt "$WORKERS" ]; do
    out=$log
    [ "$WORKERS" -gt 1 ] && out=$log.$n
    nice -n 10 "$BUILD/bin/fuzz_$t" "$@" >"$out" 2>&1 &
    pids="$pids $!"
    n=$((n + 1))
  done
  failed=0
  for pid in $pids; do wait "$pid" || failed=1; done
  if [ "$WORKERS" -gt 1 ]; then
    for f in "$log".*; do echo "== $f"; cat "$f"; done >"$log"
  fi
  if [ $failed -eq 0 ]; then
    grep -E '^(== |stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb))' "$log" || true
  else
    echo "fuzz_$t FAILED, see $log" >&2
    tail -n 40 "$log" >&2
    status=1
  fi
done
exit $status
