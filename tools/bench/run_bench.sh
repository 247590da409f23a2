#!/usr/bin/env bash
# Throughput benchmark of kestrun, run by `make bench` (and `make microbench`
# for the micro-benchmarks alone).
#
# Builds what it needs in its own RelWithDebInfo tree (build/bench/build),
# generates a broadcast-shaped 1 GiB stream once (cached in build/bench),
# reads it into the page cache, then times, alternately in one run:
#   (d) dd bs=1M: the fastest bare read of the file on this machine
#   (b) kestrun -nolog -noprogress FILE
#   (c) kestrun -nolog FILE (progress lines on, standard output to /dev/null)
#   (j) kestrun -nolog -noprogress -jsonpath REPORT FILE (the job's analysis
#       runs and a report is written)
#   (a) bench_read: a bare read loop with kestrun's default read buffer size
# and, for reference, (a) plus a look at one byte of every packet,
# then prints the median GB/s of each, the headline ratios b/d and c/d, and
# the peak resident memory of (b) against the bars below. With
# KESTRUN_BENCH_COLD=1 it also times (d) and (b) on the file read from disk
# (its pages dropped from the page cache before each run). Then the
# packet-path micro-benchmarks run when Google Benchmark was found.
#
# Usage: tools/bench/run_bench.sh [--micro-only | --no-micro]
# Environment:
#   JOBS                 build parallelism (default 2)
#   KESTRUN_BENCH_RUNS   timed runs of each program (default 5)
#   KESTRUN_BENCH_SIZE   stream size for tsgen --size (default 1G)
#   KESTRUN_BENCH_QUIET  seconds to wait for a 1-minute load average below 1
#                        before timing (default 0: do not wait)
#   KESTRUN_BENCH_STRICT 1: exit with 1 when a bar is not met
#   KESTRUN_BENCH_COLD   1: also time dd and kestrun on the stream read from disk
#   KESTRUN_MICROBENCH_ARGS  extra Google Benchmark options (e.g. a filter)
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BENCH_DIR=$ROOT/build/bench
BUILD_DIR=$BENCH_DIR/build
JOBS=${JOBS:-2}
RUNS=${KESTRUN_BENCH_RUNS:-5}
SIZE=${KESTRUN_BENCH_SIZE:-1G}
QUIET_WAIT=${KESTRUN_BENCH_QUIET:-0}
STRICT=${KESTRUN_BENCH_STRICT:-0}
COLD=${KESTRUN_BENCH_COLD:-0}
COLD_RUNS=3

# Bars: (b) and (c) against dd, (j) time against (b), peak RSS of (b).
BAR_B=0.80
BAR_C=0.70
BAR_J=1.10
RSS_MARGIN_MIB=16
SMALL_SIZE=50M
SMALL_RSS_BAR_MIB=80

mode=all
case "${1:-}" in
  --micro-only) mode=micro ;;
  --no-micro) mode=throughput ;;
  "") ;;
  *) echo "usage: $0 [--micro-only | --no-micro]" >&2; exit 2 ;;
esac

say() { printf '%s\n' "$*"; }
die() { printf 'run_bench: %s\n' "$*" >&2; exit 1; }
load1() { cut -d' ' -f1 /proc/loadavg; }

build() {
  say "== building kestrun and the benchmark tools (RelWithDebInfo, $BUILD_DIR)"
  cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKESTRUN_TESTS=OFF -DKESTRUN_TOOLS=ON >/dev/null
  local targets=(kestrun tsgen bench_read bench_runner)
  MICRO=$(cat "$BUILD_DIR/tools/bench/microbench.txt" 2>/dev/null || true)
  [[ -n "$MICRO" ]] && targets+=("$MICRO")
  cmake --build "$BUILD_DIR" -j"$JOBS" --target "${targets[@]}" >/dev/null
  KESTRUN=$BUILD_DIR/kestrun
  TSGEN=$BUILD_DIR/tools/tsgen/tsgen
  READER=$BUILD_DIR/tools/bench/bench_read
  RUNNER=$BUILD_DIR/tools/bench/bench_runner
  DD=$(command -v dd) || die "dd not found"
}

# generate NAME SIZE: a bench-preset stream (30 PIDs: H.264 video, four
# audio, PCR on its own PID, data carousels; PAT/PMT every 100 ms, TOT every
# 5 s, 0.01 % random packet loss), made once and kept with its manifest.
generate() {
  local name=$1 size=$2
  local ts=$BENCH_DIR/$name.ts manifest=$BENCH_DIR/$name.manifest stamp=$BENCH_DIR/$name.stamp
  local args=(--preset bench --pids 30 --psi-interval 100 --time-interval 5 --size "$size")
  if [[ -f "$ts" && -f "$manifest" && -f "$stamp" && "$(cat "$stamp")" == "${args[*]}" ]]; then
    return
  fi
  say "== generating $ts (tsgen ${args[*]})"
  rm -f "$ts" "$manifest" "$stamp"
  "$TSGEN" "${args[@]}" -q -o "$ts.tmp" -m "$manifest.tmp"
  mv "$manifest.tmp" "$manifest"
  mv "$ts.tmp" "$ts"
  printf '%s' "${args[*]}" >"$stamp"
}

manifest_field() {  # manifest_field FILE KEY: a key of the "stream" record
  sed -n 's/^stream .*\b'"$2"'=\([0-9]*\).*/\1/p' "$1"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
median_of() { tr ' ' '\n' <<<"$1" | grep . | median; }
field() { sed -n 's/.*\b'"$1"'=\([^ ]*\).*/\1/p'; }   # field KEY < runner line
gbps() { awk -v b="$1" -v s="$(median_of "$2")" 'BEGIN { printf "%.3f", b / s / 1e9 }'; }  # gbps BYTES "SECONDS..."
cpu_of() { printf '%s/%s' "$(median_of "${USER_OF[$1]}")" "$(median_of "${SYS_OF[$1]}")"; }  # cpu_of LABEL

# timed LABEL PROGRAM ARGS...: one run under bench_runner; appends seconds,
# peak RSS and exit code to the label's lists.
timed() {
  local label=$1; shift
  local line
  line=$("$RUNNER" "$@") || die "could not run $*"
  SECONDS_OF[$label]+="$(field seconds <<<"$line") "
  USER_OF[$label]+="$(field user <<<"$line") "
  SYS_OF[$label]+="$(field sys <<<"$line") "
  RSS_OF[$label]+="$(field maxrss_kib <<<"$line") "
  EXIT_OF[$label]+="$(field exit <<<"$line") "
}

recache() { "$READER" "$1" >/dev/null; }

wait_for_quiet() {
  (( QUIET_WAIT > 0 )) || return 0
  local waited=0
  while awk -v l="$(load1)" 'BEGIN { exit !(l >= 1) }' && (( waited < QUIET_WAIT )); do
    sleep 10
    waited=$((waited + 10))
  done
  say "waited ${waited} s for a quiet machine (1-minute load now $(load1))"
}

verdict() {  # verdict AWK-CONDITION: sets V to "met" or "NOT met"
  if awk "BEGIN { exit !($1) }"; then V=met; else V="NOT met"; FAILED=1; fi
}

throughput() {
  generate bench-$SIZE "$SIZE"
  generate bench-$SMALL_SIZE "$SMALL_SIZE"
  local ts=$BENCH_DIR/bench-$SIZE.ts manifest=$BENCH_DIR/bench-$SIZE.manifest
  local bytes packets drops expected_exit buffer
  bytes=$(stat -c %s "$ts")
  packets=$(manifest_field "$manifest" packets)
  drops=$(manifest_field "$manifest" drops)
  expected_exit=$(( drops > 255 ? 255 : drops ))
  buffer=$("$READER" --buffer-size)

  # The stream must fit in memory beside the read buffer and some room.
  local available_kib need_kib
  available_kib=$(awk '/^MemAvailable:/ { print $2 }' /proc/meminfo)
  need_kib=$(( (bytes + buffer) / 1024 + 256 * 1024 ))
  "$READER" "$ts" >/dev/null
  local cached
  cached=$("$READER" --cached "$ts")
  say "== throughput"
  say "machine: $(nproc) cores, $(sed -n 's/^model name[^:]*: //p' /proc/cpuinfo | head -1)," \
      "$((available_kib / 1024)) MiB available"
  if (( available_kib < need_kib )); then
    say "NOTE: this machine cannot keep the $((bytes >> 20)) MiB stream in the page cache" \
        "beside the read buffer (needs about $((need_kib / 1024)) MiB available): the timings" \
        "include disk reads."
  fi
  say "stream: $ts"
  say "        $bytes bytes, $packets packets, $drops drops injected, ${cached} % in the page cache"
  say "read buffer: $buffer bytes (kestrun's default); $RUNS runs of each, alternating"
  wait_for_quiet
  local load_before
  load_before=$(cut -d' ' -f1-3 /proc/loadavg)

  declare -gA SECONDS_OF=() USER_OF=() SYS_OF=() RSS_OF=() EXIT_OF=()
  # The stream is read into the page cache again before every timed run:
  # the system's memory reclaim may drop some of its pages in the meantime,
  # and a run that meets them reads from disk.
  local i
  for (( i = 1; i <= RUNS; i++ )); do
    recache "$ts"; timed d "$DD" if="$ts" of=/dev/null bs=1M status=none
    recache "$ts"; timed b "$KESTRUN" -nolog -noprogress "$ts"
    recache "$ts"; timed c "$KESTRUN" -nolog "$ts"
    recache "$ts"; timed j "$KESTRUN" -nolog -noprogress -jsonpath "$BENCH_DIR/report.json" "$ts"
    recache "$ts"; timed a "$READER" "$ts"
    recache "$ts"; timed t "$READER" --touch "$ts"
  done
  # Peak RSS for a file smaller than the read buffer.
  local small=$BENCH_DIR/bench-$SMALL_SIZE.ts
  timed small "$KESTRUN" -nolog -noprogress "$small"
  local load_after
  load_after=$(cut -d' ' -f1-3 /proc/loadavg)

  say ""
  printf '%-5s %14s %20s %20s %20s\n' run "(d) dd bs=1M" "(b) -noprogress" "(c) progress lines" \
    "(a) 100 MiB reads"
  local -a sd=(${SECONDS_OF[d]}) sa=(${SECONDS_OF[a]}) sb=(${SECONDS_OF[b]}) sc=(${SECONDS_OF[c]})
  for (( i = 0; i < RUNS; i++ )); do
    printf '%-5s %12.3f s %18.3f s %18.3f s %18.3f s\n' $((i + 1)) "${sd[i]}" "${sb[i]}" "${sc[i]}" "${sa[i]}"
  done
  local ga gb gc gd gt
  gd=$(gbps "$bytes" "${SECONDS_OF[d]}")
  ga=$(gbps "$bytes" "${SECONDS_OF[a]}")
  gb=$(gbps "$bytes" "${SECONDS_OF[b]}")
  gc=$(gbps "$bytes" "${SECONDS_OF[c]}")
  gt=$(gbps "$bytes" "${SECONDS_OF[t]}")
  local rb rc
  rb=$(awk -v x="$gb" -v y="$gd" 'BEGIN { printf "%.3f", x / y }')
  rc=$(awk -v x="$gc" -v y="$gd" 'BEGIN { printf "%.3f", x / y }')
  local rss_b rss_small rss_bar_kib
  rss_b=$(tr ' ' '\n' <<<"${RSS_OF[b]}" | grep . | sort -n | tail -1)
  rss_small=$(tr -d ' ' <<<"${RSS_OF[small]}")
  rss_bar_kib=$(( buffer / 1024 + RSS_MARGIN_MIB * 1024 ))

  say ""
  verdict "$rb >= $BAR_B"
  say "HEADLINE: kestrun -nolog -noprogress against dd bs=1M: $gb / $gd GB/s = $rb (bar $BAR_B: $V)"
  verdict "$rc >= $BAR_C"
  say "          with progress lines:                       $gc / $gd GB/s = $rc (bar $BAR_C: $V)"
  local rj
  rj=$(awk -v j="$(median_of "${SECONDS_OF[j]}")" -v b="$(median_of "${SECONDS_OF[b]}")" 'BEGIN { printf "%.3f", j / b }')
  verdict "$rj <= $BAR_J"
  say "          with -jsonpath (analysis and report):  $(gbps "$bytes" "${SECONDS_OF[j]}") GB/s," \
      "time $rj of (b) (bar $BAR_J: $V)"
  say "median throughput: (d) $gd GB/s   (b) $gb GB/s   (c) $gc GB/s   (a) $ga GB/s"
  say "median CPU seconds user/system: (d) $(cpu_of d)   (b) $(cpu_of b)   (c) $(cpu_of c)   (j) $(cpu_of j)   (a) $(cpu_of a)"
  say "reference: (a) plus a look at one byte of every packet: $gt GB/s," \
      "$(awk -v x="$gt" -v y="$ga" 'BEGIN { printf "%.3f", x / y }') of (a): what reading a block" \
      "back from main memory costs"
  verdict "$rss_b <= $rss_bar_kib"
  say "peak RSS of (b): $rss_b KiB = $((rss_b / 1024)) MiB" \
      "(bar: read buffer + $RSS_MARGIN_MIB MiB = $((rss_bar_kib / 1024)) MiB: $V)"
  verdict "$rss_small <= $SMALL_RSS_BAR_MIB * 1024"
  say "peak RSS of (b) on the $SMALL_SIZE stream: $rss_small KiB = $((rss_small / 1024)) MiB" \
      "(bar $SMALL_RSS_BAR_MIB MiB: $V)"
  say "load average: before $load_before, after $load_after ($(nproc) cores)"
  local e
  for e in ${EXIT_OF[a]} ${EXIT_OF[t]}; do [[ $e == 0 ]] || die "bench_read exited with $e"; done
  for e in ${EXIT_OF[d]}; do [[ $e == 0 ]] || die "dd exited with $e"; done
  for e in ${EXIT_OF[b]} ${EXIT_OF[c]} ${EXIT_OF[j]}; do
    [[ $e == "$expected_exit" ]] ||
      die "kestrun exited with $e, but the stream holds $drops drops (exit code $expected_exit)"
  done
  say "every kestrun run found the $drops injected drops (exit code $expected_exit)"
}

# cold: dd and kestrun on the stream read from disk, its pages dropped from
# the page cache before every run (the rest of the cache is left alone).
evict() {
  "$DD" if="$1" iflag=nocache count=0 status=none
  [[ $("$READER" --cached "$1") == 0.0 ]]
}

cold() {
  local ts=$BENCH_DIR/bench-$SIZE.ts bytes
  bytes=$(stat -c %s "$ts")
  say ""
  say "== cold page cache ($COLD_RUNS runs of each, alternating)"
  local i
  for (( i = 1; i <= COLD_RUNS; i++ )); do
    evict "$ts" || { say "the stream's pages could not be dropped from the page cache: skipped"; return; }
    timed cd "$DD" if="$ts" of=/dev/null bs=1M status=none
    evict "$ts"
    timed cb "$KESTRUN" -nolog -noprogress "$ts"
  done
  local gd gb
  gd=$(gbps "$bytes" "${SECONDS_OF[cd]}")
  gb=$(gbps "$bytes" "${SECONDS_OF[cb]}")
  verdict "$gb >= $gd"
  say "cold: kestrun -nolog -noprogress $gb GB/s, dd bs=1M $gd GB/s:" \
      "$(awk -v x="$gb" -v y="$gd" 'BEGIN { printf "%.3f", x / y }') (bar 1.0: $V)"
  "$READER" "$ts" >/dev/null
}

micro() {
  say ""
  say "== packet-path micro-benchmarks"
  if [[ -z "$MICRO" ]]; then
    say "Google Benchmark was not found (find_package(benchmark)): skipped."
    say "Install it (Debian/Ubuntu: libbenchmark-dev) and run make bench again."
    return
  fi
  say "(ns per packet: Time is wall clock, CPU is the thread's own; medians of 5 repetitions)"
  local out
  # shellcheck disable=SC2086
  out=$("$BUILD_DIR/tools/bench/$MICRO" --benchmark_repetitions=5 --benchmark_display_aggregates_only=true \
    --benchmark_counters_tabular=true ${KESTRUN_MICROBENCH_ARGS:-} 2>&1 |
    grep -v -e '_mean ' -e '_stddev ' -e '_cv ')
  say "$out"
  compare_micro "$out"
}

# compare_micro OUTPUT: the CPU ns per packet of each micro-benchmark beside
# the figure recorded before the plain-packet batch (microbench_before.txt).
compare_micro() {
  local before=$ROOT/tools/bench/microbench_before.txt
  [[ -f $before ]] || return 0
  say ""
  say "ns per packet (CPU), before the plain-packet batch and now:"
  sed -n 's/^# \{0,1\}//p' "$before" | sed 's/^/  /'
  printf '  %-22s %10s %10s\n' benchmark before now
  local name then now
  while read -r name then; do
    [[ -z $name || $name == \#* ]] && continue
    now=$(awk -v n="$name" '$1 ~ ("/" n "_median$") { print $4; exit }' <<<"$1")
    printf '  %-22s %10s %10s\n' "$name" "$then" "${now:--}"
  done <"$before"
}

mkdir -p "$BENCH_DIR"
build
FAILED=0
case $mode in
  all) throughput; if [[ $COLD == 1 ]]; then cold; fi; micro ;;
  throughput) throughput; if [[ $COLD == 1 ]]; then cold; fi ;;
  micro) micro ;;
esac
say ""
say "build/bench holds $(du -sh "$BENCH_DIR" | cut -f1)"
if [[ $STRICT == 1 && $FAILED == 1 ]]; then exit 1; fi
exit 0
