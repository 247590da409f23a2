#!/usr/bin/env bash
# Builds the `fuzz` preset and runs each libFuzzer target for a bounded time,
# starting from seeds that tsgen writes afresh on every run (no corpus is kept
# in the repository). Fails when any target finds something: a crash, a
# sanitizer report, a broken promise of the code under test, a hang or a leak.
# The input that found it is left in build/fuzz/findings/<target>/; replay it
# with build/fuzz/tools/fuzz/<target> <file>.
#
#   FUZZ_SECONDS   seconds per target (default 60)
#   FUZZ_TARGETS   the targets to run (default: all of them)
#   JOBS           build parallelism (default 2)
set -euo pipefail
cd "$(dirname "$0")/../.."

seconds=${FUZZ_SECONDS:-60}
targets=${FUZZ_TARGETS:-fuzz_read_buffer fuzz_packet_analysis fuzz_job_analysis fuzz_command_line fuzz_duration}
build=build/fuzz
bin=$build/tools/fuzz

cmake --preset fuzz >/dev/null
# shellcheck disable=SC2086
cmake --build --preset fuzz -j"${JOBS:-2}" --target tsgen $targets >/dev/null

# tsgen is built with the same sanitizers; its leaks are not our finding here.
tsgen() { ASAN_OPTIONS=detect_leaks=0 "$build/tools/tsgen/tsgen" -q "$@"; }

# A stream with every table in nearly every packet, so that short seeds
# already reach the PAT, PMT and TDT/TOT handlers.
dense=(--psi-interval 1 --time-interval 1 --pcr-interval 1)

seed_streams() {
  local dir=$1 n=${2:-40}
  tsgen -n "$n" "${dense[@]}" -o "$dir/plain.ts"
  tsgen -n "$n" "${dense[@]}" --packet-size 192 -o "$dir/framed.ts"
  tsgen -n "$n" "${dense[@]}" --packet-size 192 --prefix47 @3 -o "$dir/prefix47.ts"
  tsgen -n "$n" "${dense[@]}" --garbage @2,7 --tei @5 --drop @8,2 --dup @11 -o "$dir/faults.ts"
  tsgen -n "$n" "${dense[@]}" --split-pmt @1 --pointer @6,3 --adaptation-only @9 -o "$dir/sections.ts"
  tsgen -n "$n" "${dense[@]}" --wrap-after 1 --pcr-on-video -o "$dir/wrap.ts"
  tsgen -n "$n" "${dense[@]}" --programs 9 --pmt-pid 0x1000 -o "$dir/programs.ts"
}

# Reader seeds: capacity, requested size and fill plan in front of a stream.
seeds_fuzz_read_buffer() {
  local dir=$1 tmp
  tmp=$(mktemp -d)
  seed_streams "$tmp" 30
  for stream in "$tmp"/*.ts; do
    local name
    name=$(basename "$stream" .ts)
    { printf '\x0e\xbc\x00'; cat "$stream"; } >"$dir/$name-whole"
    { printf '\x20\xbc\x04\x00\x64\x00\x07\x01\xf4\x00\xbd'; cat "$stream"; } >"$dir/$name-fills"
    { printf '\x00\xc0\x03\x00\xbd\x00\x00\x80\x00'; cat "$stream"; } >"$dir/$name-stalls"
  done
  rm -rf "$tmp"
}

# Analysis seeds: packets, some behind a duration text.
seeds_fuzz_packet_analysis() {
  local dir=$1
  seed_streams "$dir" 40
  rm -f "$dir/framed.ts" "$dir/prefix47.ts"
  { printf '0:0:0:20-0:0:0:60,0:0:1-'; cat "$dir/plain.ts"; } >"$dir/windows"
  { printf '0:0:0:1'; cat "$dir/wrap.ts"; } >"$dir/short-window"
}

# Job-analysis seeds: the same streams in 188-byte packets.
seeds_fuzz_job_analysis() {
  local dir=$1
  seed_streams "$dir" 40
  rm -f "$dir/framed.ts" "$dir/prefix47.ts"
}

seeds_fuzz_command_line() {
  local dir=$1
  printf -- '-nolog\0-logpath\0x.log\0a.ts' >"$dir/log"
  printf -- '-loop3\0-bufsize\0 -12\0-duration\0000:01:00-0:02:00,5\0b.ts\0c.ts;1000' >"$dir/loop"
  printf -- '-piddef\0005\0a.ts\0/srcpath\0/x.ts\0-logpath\0-nolog' >"$dir/prefixes"
  printf -- '-NoProgress\0-wraparound\0-pid\0-pause\0-filterpath\0f\0-loop\0CON' >"$dir/flags"
  printf -- '-srcpath\0\\\\.\\pipe\\p\0\\\\.\\bondriver\\0\\1\\d.so\0-duration\0\0-dump' >"$dir/sources"
}

seeds_fuzz_duration() {
  local dir=$1 i=0
  for text in 90 1:30 0:10:00 0:0:1:500 0:0:1.5 0:01:00-0:02:00,0:05:00-0:06:00 0:05:00- -5 \
    ,, 0:05:00-0:06:00,0:01:00-0:02:00 ' +12:-3:99999999999:7.5' 10-5,3-,-2,; do
    printf '%s' "$text" >"$dir/seed$((i++))"
  done
}

max_len() {
  case $1 in
    fuzz_read_buffer) echo 16384 ;;
    fuzz_packet_analysis | fuzz_job_analysis) echo 12032 ;;
    fuzz_command_line) echo 1024 ;;
    *) echo 256 ;;
  esac
}

failed=()
for target in $targets; do
  seeds=$build/seeds/$target corpus=$build/corpus/$target findings=$build/findings/$target
  rm -rf "$seeds"
  mkdir -p "$seeds" "$corpus" "$findings"
  "seeds_$target" "$seeds"
  log=$build/$target.log
  echo "fuzz: $target for ${seconds}s"
  if "$bin/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -max_len="$(max_len "$target")" -print_final_stats=1 \
      -artifact_prefix="$findings/" "$corpus" "$seeds" >"$log" 2>&1; then
    grep -E '^stat::number_of_executed_units|^Done' "$log" | tail -1
  else
    echo "fuzz: $target FOUND SOMETHING (log: $log, inputs: $findings/)" >&2
    grep -E 'ERROR|SUMMARY|runtime error|deadly signal|Test unit written' "$log" | head -20 >&2
    failed+=("$target")
  fi
done

if ((${#failed[@]})); then
  echo "fuzz: findings in: ${failed[*]}" >&2
  exit 1
fi
echo "fuzz: no findings"
