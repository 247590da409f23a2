#!/usr/bin/env bash
# Size and load time of the HTML report in its densest everyday case, run by
# `make htmlbench`:
#   a ten-hour stream at a low rate (100 kbit/s) with 7 % random packet loss
#   over all PIDs, about 100,000 drops, generated once into build/bench;
#   kestrun -htmlpath over it (wall time and peak memory, with and without
#   the page); then headless Chromium loading and painting the page (a
#   screenshot), less the time it takes for an empty page, median of the runs.
# Bars: a page under 10 MB shown in under 2 s.
#
# Environment:
#   JOBS                     build parallelism (default 2)
#   KESTRUN_HTMLBENCH_RUNS   browser runs of each page (default 5)
#   KESTRUN_BENCH_STRICT     1: exit with 1 when a bar is not met
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BENCH_DIR=$ROOT/build/bench
BUILD_DIR=$BENCH_DIR/build
WORK=$BENCH_DIR/html
JOBS=${JOBS:-2}
RUNS=${KESTRUN_HTMLBENCH_RUNS:-5}
STRICT=${KESTRUN_BENCH_STRICT:-0}
BAR_BYTES=10000000
BAR_MS=2000
STREAM_ARGS=(-s 36000 -r 100k --video 0x0111:0x02:40k --audio 0x0112:0x0F:12k --psi-interval 500 --loss 7)

say() { printf '%s\n' "$*"; }
die() { printf 'run_htmlbench: %s\n' "$*" >&2; exit 1; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
field() { sed -n 's/.*\b'"$1"'=\([^ ]*\).*/\1/p'; }

BROWSER=$(command -v chromium) || die "chromium not found (Debian package chromium)"

say "== building kestrun and tsgen (RelWithDebInfo, $BUILD_DIR)"
cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRUN_TESTS=OFF -DKESTRUN_TOOLS=ON >/dev/null
cmake --build "$BUILD_DIR" -j"$JOBS" --target kestrun tsgen bench_runner >/dev/null
KESTRUN=$BUILD_DIR/kestrun
RUNNER=$BUILD_DIR/tools/bench/bench_runner
mkdir -p "$WORK"

STREAM=$BENCH_DIR/html-10h.ts
STAMP=$BENCH_DIR/html-10h.stamp
if [[ ! -f "$STREAM" || ! -f "$STAMP" || "$(cat "$STAMP")" != "${STREAM_ARGS[*]}" ]]; then
  say "== generating $STREAM (tsgen ${STREAM_ARGS[*]})"
  "$BUILD_DIR/tools/tsgen/tsgen" -q "${STREAM_ARGS[@]}" -o "$STREAM.tmp"
  mv "$STREAM.tmp" "$STREAM"
  printf '%s' "${STREAM_ARGS[*]}" >"$STAMP"
fi

say "== kestrun over $(stat -c %s "$STREAM") bytes"
plain=$("$RUNNER" "$KESTRUN" -nolog -noprogress -jsonpath "$WORK/report.json" "$STREAM")
page=$("$RUNNER" "$KESTRUN" -nolog -noprogress -jsonpath "$WORK/report.json" -htmlpath "$WORK/page.html" "$STREAM")
say "  -jsonpath:            $(field seconds <<<"$plain") s, peak $(field maxrss_kib <<<"$plain") KiB"
say "  -jsonpath -htmlpath:  $(field seconds <<<"$page") s, peak $(field maxrss_kib <<<"$page") KiB"
drops=$(grep -o '"dropsOmitted": *[0-9]*' "$WORK/report.json" | head -1 | grep -o '[0-9]*$')
listed=$(grep -c '"dropCount"' "$WORK/report.json" || true)
bytes=$(stat -c %s "$WORK/page.html")
marks=$(grep -c 'data-offset=' "$WORK/page.html" || true)
say "  report: $listed drops and continuity errors listed ($drops drops omitted)"
say "  page: $bytes bytes, $marks drop and loss marks"

printf '<!DOCTYPE html><title>-</title>\n' >"$WORK/blank.html"
# load PAGE: milliseconds from start to exit of a browser that screenshots it
load() {
  local profile
  profile=$(mktemp -d "$WORK/profile.XXXXXX")
  local start end
  start=$(date +%s%N)
  timeout 120 "$BROWSER" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync --user-data-dir="$profile" \
    --window-size=1300,1000 --screenshot="$WORK/shot.png" "file://$1" >/dev/null 2>&1 || die "the browser failed on $1"
  end=$(date +%s%N)
  rm -rf "$profile"
  echo $(( (end - start) / 1000000 ))
}

say "== $BROWSER: $RUNS runs of each, alternating"
blank_ms=() page_ms=()
for (( i = 1; i <= RUNS; i++ )); do
  blank_ms+=("$(load "$WORK/blank.html")")
  page_ms+=("$(load "$WORK/page.html")")
done
blank=$(printf '%s\n' "${blank_ms[@]}" | median)
shown=$(printf '%s\n' "${page_ms[@]}" | median)
extra=$(( ${shown%.*} - ${blank%.*} ))
say "  empty page: ${blank_ms[*]} ms (median $blank)"
say "  the page:   ${page_ms[*]} ms (median $shown)"

size_ok=$(( bytes < BAR_BYTES ))
load_ok=$(( extra < BAR_MS ))
word() { if (( $1 )); then echo met; else echo "NOT met"; fi; }
say ""
say "page size $bytes bytes (bar < $BAR_BYTES): $(word $size_ok)"
say "load and paint $extra ms beyond an empty page (bar < $BAR_MS): $(word $load_ok)"
if (( STRICT && !(size_ok && load_ok) )); then exit 1; fi
