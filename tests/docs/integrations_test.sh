#!/usr/bin/env bash
# Runs the recipes of docs/integrations.md as a reader would, in a folder
# with a recording rec.ts and a folder archive/, then holds what they made
# against kestrun's own answers.
#   integrations_test.sh SOURCE_DIR KESTRUN TSGEN
# A fenced block that starts with "# file: NAME" (after a #! line, if any)
# is saved as NAME; the
# other sh and python blocks are run in order and must succeed; console
# blocks are left alone. Without jq, python3 or curl the test is skipped
# (exit 77), unless KESTRUN_REQUIRE_TOOLS is set.
set -euo pipefail
source_dir=$1 kestrun=$2 tsgen=$3

skip() {
  echo "SKIP: $*"
  [ -z "${KESTRUN_REQUIRE_TOOLS:-}" ] || exit 1
  exit 77
}
for tool in jq python3 curl; do
  command -v "$tool" >/dev/null || skip "$tool is not installed: the recipes are not run"
done
python3 -c 'import sqlite3' 2>/dev/null || skip "python3 has no sqlite3 module"

work=$(mktemp -d)
server=
cleanup() {
  if [ -n "$server" ]; then kill "$server" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

mkdir -p "$work/bin" "$work/try/archive" "$work/served" "$work/blocks"
ln -s "$kestrun" "$work/bin/kestrun"
export PATH="$work/bin:$PATH"
cd "$work/try"

# The recordings: rec.ts with two drops; in archive/ a clean one, one with
# drops, one with damaged and scrambled packets, and one that is no stream.
"$tsgen" -q --demo -o rec.ts
"$tsgen" -q -s 1 -o archive/a.ts
"$tsgen" -q -s 1 --drop 0x111@100 --drop 0x112@10,2 -o archive/b.ts
"$tsgen" -q -s 1 --tei 0x111@50 --scramble 0x112@5 -o archive/c.ts
head -c 5000 /dev/urandom | tr '\107' x > archive/d.ts
"$tsgen" -q -s 2 --drop 0x111@30 -o "$work/served/live.ts"

# What kestrun itself says of a file: its drops (the exit status).
drops_of() { local status=0; kestrun -nolog -noprogress "$1" >/dev/null 2>&1 || status=$?; echo "$status"; }

# The tuner server: a local HTTP server handing out the live stream.
python3 -u -m http.server 0 --bind 127.0.0.1 --directory "$work/served" >"$work/server.log" 2>&1 &
server=$!
port=
for _ in $(seq 100); do
  port=$(sed -n 's/.* port \([0-9]*\).*/\1/p' "$work/server.log" | head -1)
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || fail "the HTTP server did not start: $(cat "$work/server.log")"
export STREAM_URL="http://127.0.0.1:$port/live.ts"

# Cuts the guide into blocks: blocks/NNN.LANG, in order.
awk -v out="$work/blocks" '
  /^```/ && !inside { inside = 1; lang = substr($0, 4); n++; file = sprintf("%s/%03d.%s", out, n, lang); printf "" > file; next }
  /^```$/ && inside { inside = 0; close(file); next }
  inside { print > file }
' "$source_dir/docs/integrations.md"

ran=0
for block in "$work"/blocks/*; do
  lang=${block##*.}
  name=$(head -2 "$block" | sed -n 's/^# file: //p')
  if [ -n "$name" ]; then
    cp "$block" "$name"
    chmod +x "$name"
    continue
  fi
  case $lang in
    sh) runner=(sh) ;;
    python) runner=(python3) ;;
    *) continue ;;
  esac
  echo "== running $(basename "$block")"
  "${runner[@]}" "$block" >"$block.out" 2>"$block.err" ||
    fail "$(basename "$block") failed:"$'\n'"$(cat "$block")"$'\n'"$(cat "$block.err")"
  cat "$block.out"
  ran=$((ran + 1))
done
[ "$ran" -ge 6 ] || fail "only $ran runnable recipes found"

# The hook: report beside the recording, counts in the environment and in
# the database.
rec_drops=$(drops_of rec.ts)
[ -f rec.check.json ] || fail "the hook wrote no report"
grep -qx "rec.ts: $rec_drops drops, 0 errors, 0 scrambled" "$work"/blocks/*.out ||
  fail "the hook did not say rec.ts: $rec_drops drops"
grep -qx "rec.ts	$rec_drops	0	0" "$work"/blocks/*.out || fail "the database row is not rec.ts $rec_drops 0 0"

# The table: a row per file, the drops kestrun finds, c.ts damaged and
# scrambled, d.ts refused; the CSV says the same.
[ "$(wc -l < archive-check.tsv)" -eq 5 ] || fail "archive-check.tsv: $(cat archive-check.tsv)"
for name in a b c d; do
  row=$(grep "^archive/$name.ts	" archive-check.tsv) || fail "no row for $name.ts"
  [ "$(cut -f2 <<<"$row")" -eq "$(drops_of "archive/$name.ts")" ] || fail "drops of $name.ts: $row"
done
[ "$(grep '^archive/b.ts' archive-check.tsv | cut -f2)" -gt 0 ] || fail "b.ts shows no drops"
grep -q "^archive/c.ts	[0-9]*	[1-9][0-9]*	[1-9][0-9]*	endOfInput$" archive-check.tsv ||
  fail "c.ts: $(grep c.ts archive-check.tsv)"
grep -q "^archive/d.ts	0	0	0	refused$" archive-check.tsv || fail "d.ts: $(grep d.ts archive-check.tsv)"
[ "$(tr -d '\r' < archive-check.csv)" == "$(tr '\t' , < archive-check.tsv)" ] ||
  fail "the CSV differs from the TSV:"$'\n'"$(cat archive-check.csv)"

# The re-check: quiet while nothing changes, names a file that lost packets.
[ "$(wc -l < recheck-state/previous.tsv)" -eq 4 ] || fail "recheck state: $(cat recheck-state/previous.tsv)"
sh kestrun-recheck.sh archive recheck-state 2>quiet.err
[ ! -s quiet.err ] || fail "the re-check reported changes where there are none: $(cat quiet.err)"
python3 - <<'PY'
with open("archive/a.ts", "r+b") as f:
    data = f.read()
    f.seek(0)
    f.write(data[:188 * 200] + data[188 * 201:])
    f.truncate()
PY
sh kestrun-recheck.sh archive recheck-state 2>changed.err
grep -q "archive/a.ts" changed.err || fail "the re-check did not name a.ts: $(cat changed.err)"
for unit in kestrun-recheck.service kestrun-recheck.timer; do
  [ -s "$unit" ] || fail "$unit was not saved"
done

# The live stream: read to its end, every packet and drop of the file.
kestrun -nolog -noprogress -jsonpath served.json "$work/served/live.ts" >/dev/null || true
[ "$(jq -c '.jobs[0] | [.packets, .dropTotal, .end]' live.json)" == \
  "$(jq -c '.jobs[0] | [.packets, .dropTotal, "endOfInput"]' served.json)" ] ||
  fail "live.json: $(jq -c '.jobs[0] | [.packets, .dropTotal, .end]' live.json)"
grep -q '( ' live.txt || fail "live.txt has no closing line"
echo "ok: $ran recipes ran and made what they promise"
