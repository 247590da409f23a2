#!/usr/bin/env bash
# Live-source benchmark, run by `make livebench`.
#
# The test tuner driver serves a generated stream (with a known number of
# drops) at a set rate in blocks of a set size; kestrun checks it as a tuner
# source and is stopped with SIGINT once the driver has run dry. For each
# case it prints, over the runs: the drops reported against the drops in the
# stream (the file run's exit code), kestrun's CPU seconds per wall second
# while the stream flows, and the bytes the tuner itself discarded (its
# notices). A run whose driver has not run dry within three times the stream's
# length (plus 30 s) is stopped all the same and counted as timed out. A last
# case runs `CON` idle at the end of its input. The cost of the metrics file is
# measured last: the same tuner runs (3 MB/s, idle) without and with
# `-metricspath` rewritten every second (target: under 0.01 CPU s per s more).
#
# Each case runs once on an idle machine and once with two busy-loop
# processes competing for the cores, natively and under Wine (64-bit).
#
# Usage: tools/bench/run_livebench.sh
# Environment (defaults in brackets):
#   KESTRUN_LIVEBENCH_RUNS     runs per case [10]
#   KESTRUN_LIVEBENCH_SECONDS  stream seconds per run, at least 3 [10]
#   KESTRUN_LIVEBENCH_RATES    delivery rates in MB/s [3 8 24]
#   KESTRUN_LIVEBENCH_BLOCKS   block sizes in bytes [3008 48128 65536]
#   KESTRUN_LIVEBENCH_LOADS    idle and/or busy [idle busy]
#   KESTRUN_LIVEBENCH_BUILDS   native and/or win64 [native win64]
#   JOBS                       build parallelism [2]
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
OUT=$ROOT/build/livebench
RUNS=${KESTRUN_LIVEBENCH_RUNS:-10}
SECS=${KESTRUN_LIVEBENCH_SECONDS:-10}
RATES=${KESTRUN_LIVEBENCH_RATES:-"3 8 24"}
BLOCKS=${KESTRUN_LIVEBENCH_BLOCKS:-"3008 48128 65536"}
LOADS=${KESTRUN_LIVEBENCH_LOADS:-"idle busy"}
BUILDS=${KESTRUN_LIVEBENCH_BUILDS:-"native win64"}
JOBS=${JOBS:-2}
WINE_ENV=(env WINEPREFIX="$ROOT/build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=")
TICKS=$(getconf CLK_TCK)
# The tuner's notice of bytes it discarded itself (UTF-8, up to its number).
NOTICE=$(sed -n 's/^kMsgTunerDiscarded\t\(.*\)%lld.*/\1/p' "$ROOT/src/support/catalog.txt")

say() { printf '%s\n' "$*"; }
die() { printf 'run_livebench: %s\n' "$*" >&2; exit 1; }

mkdir -p "$OUT"
cd "$ROOT"
for build in $BUILDS; do
  make -s "$build" JOBS="$JOBS" >/dev/null || die "cannot build $build"
done
[[ " $BUILDS " == *" win64 "* ]] && make -s wineprefix >/dev/null

TSGEN=$ROOT/build/native/tools/tsgen/tsgen

# program BUILD: the command that runs kestrun of that build.
program() {
  case $1 in
    native) printf '%s\n' "$ROOT/build/native/kestrun" ;;
    win64) printf '%s\n' "${WINE_ENV[@]}" /usr/lib/wine/wine64 "$ROOT/build/win64/Kestrun.exe" ;;
  esac
}
driver_of() {
  case $1 in
    native) printf '%s\n' "$ROOT/build/native/tools/test_bondriver/test_bondriver.so" ;;
    win64) printf 'Z:%s\n' "$ROOT/build/win64/tools/test_bondriver/test_bondriver.dll" | tr / '\\' ;;
  esac
}
host_path() { [[ $1 == native ]] && printf '%s\n' "$2" || printf 'Z:%s\n' "$2" | tr / '\\'; }
warmup() { [[ $1 == native ]] && echo 1 || echo 3; }

# cpu_ticks PID: user + system clock ticks of a process and its threads.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null || echo 0; }
now() { date +%s.%N; }

# A stream of RATE MB/s for SECONDS from the driver's Open, with random loss.
stream_for() {
  local rate=$1 seconds=$2 ts=$OUT/live-$1M-$2s.ts
  if [[ ! -f $ts ]]; then
    "$TSGEN" -q --preset bench --pids 12 --size "$((rate * seconds))M" -o "$ts" >/dev/null
  fi
  printf '%s\n' "$ts"
}

BUSY=()
start_load() {
  [[ $1 == busy ]] || return 0
  ( while :; do :; done ) & BUSY+=($!)
  ( while :; do :; done ) & BUSY+=($!)
}
stop_load() {
  local pid
  for pid in "${BUSY[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  BUSY=()
}
trap stop_load EXIT

# wait_for_file PATH SECONDS: true once PATH exists, false after SECONDS.
wait_for_file() {
  local tenths=$(($2 * 10))
  while [[ ! -e $1 ]]; do
    ((tenths-- > 0)) || return 1
    sleep 0.1
  done
}

# One tuner run, with any further kestrun options in $6; prints
# "reported cpu_per_wall discarded timed_out".
tuner_run() {
  local build=$1 ts=$2 block=$3 rate=$4 seconds=$5
  local -a extra
  read -r -a extra <<<"${6:-}"
  local conf=$OUT/driver.conf out=$OUT/run.out drained=$OUT/drained warm pid t0 c0 t1 c1 status
  local timed_out=0
  warm=$(warmup "$build")
  rm -f "$drained"
  printf 'file=%s\nblock=%s\nrate=%s\npace_us=%s\ndrained=%s\n' "$(host_path "$build" "$ts")" \
    "$block" "$((rate * 1000000))" "$((block / rate))" "$(host_path "$build" "$drained")" >"$conf"
  local -a cmd
  mapfile -t cmd < <(program "$build")
  # In the C locale the native program writes the CP932 bytes read below.
  LC_ALL=C KESTRUN_TEST_DRIVER_CONFIG=$(host_path "$build" "$conf") \
    "${cmd[@]}" -nolog -noprogress "${extra[@]}" "\\\\.\\bondriver\\0\\13\\$(driver_of "$build")" >"$out" 2>/dev/null &
  pid=$!
  # The driver opens within the warm-up; its stream lasts `seconds` from
  # there. CPU is sampled while it flows. The stop comes a second after the
  # driver has found the end of its file, time for the worker to check the
  # last bytes it was handed.
  sleep "$warm"
  t0=$(now); c0=$(cpu_ticks "$pid")
  sleep "$((seconds - 2))"
  t1=$(now); c1=$(cpu_ticks "$pid")
  wait_for_file "$drained" "$((seconds * 3 + 30))" || timed_out=1
  sleep 1
  kill -INT "$pid"
  status=0
  wait "$pid" || status=$?
  local discarded=0
  if [[ -n $NOTICE ]]; then
    discarded=$(iconv -f CP932 -t UTF-8 "$out" 2>/dev/null | awk -v n="$NOTICE" '
      { at = index($0, n); if (at) s += substr($0, at + length(n)) + 0 } END { print s + 0 }')
  fi
  awk -v r="$status" -v c=$((c1 - c0)) -v k="$TICKS" -v a="$t0" -v b="$t1" -v d="$discarded" \
    -v t="$timed_out" 'BEGIN { printf "%d %.3f %d %d\n", r, c / k / (b - a), d, t }'
}

# CON idle at the end of its input; prints the CPU seconds per wall second.
con_idle_run() {
  local build=$1 ts=$2 pid t0 c0 t1 c1
  local -a cmd
  mapfile -t cmd < <(program "$build")
  "${cmd[@]}" -nolog -noprogress CON <"$ts" >/dev/null 2>&1 &
  pid=$!
  sleep "$(warmup "$build")"
  t0=$(now); c0=$(cpu_ticks "$pid")
  sleep 3
  t1=$(now); c1=$(cpu_ticks "$pid")
  kill -INT "$pid"; wait "$pid" || true
  awk -v c=$((c1 - c0)) -v k="$TICKS" -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f\n", c / k / (b - a) }'
}

say "live-source benchmark: $RUNS run(s) of $SECS s per case; builds: $BUILDS; loads: $LOADS"
say "columns: build load MB/s block | drops reported (min-max) / in stream | CPU s per wall s (max) | discarded bytes (total)"
for build in $BUILDS; do
  for load in $LOADS; do
    for rate in $RATES; do
      ts=$(stream_for "$rate" "$SECS")
      expected=$("$ROOT/build/native/kestrun" -nolog -noprogress "$ts" >/dev/null 2>&1; echo $?) || true
      for block in $BLOCKS; do
        start_load "$load"
        results=()
        for ((run = 0; run < RUNS; ++run)); do
          results+=("$(tuner_run "$build" "$ts" "$block" "$rate" "$SECS")")
        done
        stop_load
        printf '%s\n' "${results[@]}" | awk -v b="$build" -v l="$load" -v r="$rate" -v k="$block" \
          -v e="$expected" '
          { if (NR == 1 || $1 < lo) lo = $1; if ($1 > hi) hi = $1; if ($2 > cpu) cpu = $2; d += $3
            if ($1 != e) off++; late += $4 }
          END { printf "%-6s %-4s %2d MB/s %6d B | drops %d-%d / %d%s | CPU %.3f | discarded %d%s\n",
                b, l, r, k, lo, hi, e, off ? " (" off " run(s) differ)" : "", cpu, d,
                late ? " | " late " run(s) timed out" : "" }'
      done
    done
    start_load "$load"
    printf '%-6s %-4s CON idle at end of input | CPU %s\n' "$build" "$load" \
      "$(con_idle_run "$build" "$(stream_for 3 2)")"
    stop_load
  done
done

# The metrics file rewritten every second, against the same runs without it.
say "metrics writes: columns: build | CPU s per wall s without / with -metricspath -interval 1 (medians) | difference"
for build in $BUILDS; do
  ts=$(stream_for 3 "$SECS")
  for variant in plain metrics; do
    extra=""
    [[ $variant == metrics ]] && extra="-metricspath $(host_path "$build" "$OUT/live.prom") -interval 1"
    for ((run = 0; run < RUNS; ++run)); do
      tuner_run "$build" "$ts" 48128 3 "$SECS" "$extra" | awk '{ print $2 }'
    done | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }' >"$OUT/cpu-$variant"
  done
  awk -v b="$build" -v p="$(cat "$OUT/cpu-plain")" -v m="$(cat "$OUT/cpu-metrics")" 'BEGIN {
    d = m - p
    printf "%-6s | CPU %.3f / %.3f | %+.3f (target < 0.010: %s)\n", b, p, m, d, d < 0.010 ? "met" : "missed" }'
done
