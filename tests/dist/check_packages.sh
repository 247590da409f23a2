#!/usr/bin/env bash
# What `make install` puts in place and `make uninstall` takes away, what the
# release packages hold, and the manual page as man and groff render it.
#   check_packages.sh NATIVE_BUILD_DIR BUILD_ROOT VERSION SOURCE_DIR
# The Windows zips are checked where their builds exist (BUILD_ROOT/win64,
# BUILD_ROOT/win32, configured with packaging). Without man or groff the
# page is not rendered (a note says so), unless KESTRUN_REQUIRE_TOOLS is set.
set -euo pipefail
native=$1 root=$2 version=$3 source=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
missing_tool() {
  [ -z "${KESTRUN_REQUIRE_TOOLS:-}" ] || fail "$1 is not installed"
  echo "NOTE: $1 is not installed: the manual page is not rendered with it"
}

# The user documents every package carries, beside the program.
documents=(README.md LICENSE docs/report.md docs/html_report.md docs/integrations.md)

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

# The Makefile's own commands where the tests run in its build folder.
prefix=$work/prefix
if [ "$native" -ef "$source/build/native" ]; then
  install=(env -u MAKEFLAGS -u MFLAGS -u MAKELEVEL make -s -C "$source" install PREFIX="$prefix")
  uninstall=(env -u MAKEFLAGS -u MFLAGS -u MAKELEVEL make -s -C "$source" uninstall PREFIX="$prefix")
else
  install=(cmake --install "$native" --prefix "$prefix" --strip)
  uninstall=(cmake -DPREFIX="$prefix" -P "$native/uninstall.cmake")
fi
"${install[@]}" >/dev/null || fail "make install"
installed=(bin/kestrun share/man/man1/kestrun.1)
for document in "${documents[@]}"; do installed+=("share/doc/kestrun/$document"); done
for file in "${installed[@]}"; do
  [ -f "$prefix/$file" ] || fail "install: $file missing"
done
"$prefix/bin/kestrun" >/dev/null || fail "the installed kestrun does not run"
! readelf -S "$prefix/bin/kestrun" | grep -q '\.symtab' || fail "the installed kestrun is not stripped"
touch "$prefix/share/doc/kestrun/notes.txt"  # someone else's file stays, and its folder
"${uninstall[@]}" >/dev/null || fail "make uninstall"
left=$(cd "$prefix" && find . -type f | sort)
[ "$left" == "./share/doc/kestrun/notes.txt" ] || fail "uninstall left:"$'\n'"$left"
[ ! -e "$prefix/share/doc/kestrun/docs" ] || fail "uninstall left the docs folder"
echo "ok: install and uninstall"

page=$source/docs/kestrun.1
if command -v man >/dev/null; then
  MANWIDTH=80 man --warnings -l "$page" >"$work/page" 2>"$work/warnings" || true
  [ ! -s "$work/warnings" ] || fail "man: $(cat "$work/warnings")"
  for section in OPTIONS "PLAY-TIME WINDOWS" OUTPUT LOG "EXIT STATUS"; do
    grep -q "^$section" "$work/page" || fail "the manual page has no $section"
  done
  echo "ok: man renders the page"
else
  missing_tool man
fi
if command -v groff >/dev/null; then
  groff -ww -man -Tutf8 -z "$page" 2>"$work/warnings" || fail "groff failed"
  [ ! -s "$work/warnings" ] || fail "groff: $(cat "$work/warnings")"
  echo "ok: groff -ww"
else
  missing_tool groff
fi

linux=kestrun-$version-Linux-$(uname -m)
linux_files=("$linux/bin/kestrun" "$linux/share/man/man1/kestrun.1")
for document in "${documents[@]}"; do linux_files+=("$linux/share/doc/kestrun/$document"); done
check_package "$native" "$linux.tar.gz" "${linux_files[@]}"

for build in win64 win32; do
  if [ ! -f "$root/$build/CPackConfig.cmake" ] || [ ! -f "$root/$build/Kestrun.exe" ]; then
    echo "NOTE: no $build build with packaging here: its zip is not checked"
    continue
  fi
  windows=kestrun-$version-$build
  windows_files=("$windows/Kestrun.exe")
  for document in "${documents[@]}"; do windows_files+=("$windows/$document"); done
  check_package "$root/$build" "$windows.zip" "${windows_files[@]}"
done
