#!/usr/bin/env bash
# What `cmake --install` puts in place and what the release packages hold.
#   check_packages.sh NATIVE_BUILD_DIR BUILD_ROOT VERSION
# The Windows zips are checked where their builds exist (BUILD_ROOT/win64,
# BUILD_ROOT/win32, configured with packaging).
set -euo pipefail
native=$1 root=$2 version=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# Files, not folders, of an archive, sorted.
listing() { cmake -E tar tf "$1" | grep -v '/$' | sort; }

# Makes the package of one build folder and compares its file list.
check_package() {
  local build=$1 name=$2
  shift 2
  (cd "$build" && cpack -B "$work/dist" >/dev/null) || fail "cpack in $build"
  [ -f "$work/dist/$name" ] || fail "$name was not made: $(ls "$work/dist")"
  local expected
  expected=$(printf '%s\n' "$@" | sort)
  [ "$(listing "$work/dist/$name")" == "$expected" ] ||
    fail "$name holds:"$'\n'"$(listing "$work/dist/$name")"$'\n'"expected:"$'\n'"$expected"
  echo "ok: $name"
}

prefix=$work/prefix
cmake --install "$native" --prefix "$prefix" >/dev/null
for file in bin/kestrun share/man/man1/kestrun.1 share/doc/kestrun/README.md share/doc/kestrun/LICENSE; do
  [ -f "$prefix/$file" ] || fail "install: $file missing"
done
"$prefix/bin/kestrun" >/dev/null || fail "the installed kestrun does not run"
if command -v man >/dev/null; then
  MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/kestrun.1" >"$work/page" 2>"$work/warnings" || true
  [ ! -s "$work/warnings" ] || fail "manual page: $(cat "$work/warnings")"
  grep -q "EXIT STATUS" "$work/page" || fail "manual page does not render"
fi
echo "ok: install"

linux=kestrun-$version-Linux-$(uname -m)
check_package "$native" "$linux.tar.gz" \
  "$linux/bin/kestrun" "$linux/share/man/man1/kestrun.1" \
  "$linux/share/doc/kestrun/README.md" "$linux/share/doc/kestrun/LICENSE"

for build in win64 win32; do
  if [ ! -f "$root/$build/CPackConfig.cmake" ] || [ ! -f "$root/$build/Kestrun.exe" ]; then
    echo "NOTE: no $build build with packaging here: its zip is not checked"
    continue
  fi
  windows=kestrun-$version-$build
  check_package "$root/$build" "$windows.zip" \
    "$windows/Kestrun.exe" "$windows/README.md" "$windows/LICENSE"
done
