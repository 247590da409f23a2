#!/usr/bin/env bash
# Builds the `asan` and `tsan` presets and runs the native tests under them.
#   asan  AddressSanitizer with UndefinedBehaviorSanitizer (and LeakSanitizer):
#         the whole suite
#   tsan  ThreadSanitizer: the whole suite as well, which holds every threaded
#         test (worker, tuner hand-off, signals, concurrent messages, and the
#         end-to-end runs); TSAN_TESTS narrows it to a ctest regex
# The end-to-end tests run the kestrun binary of the same build, so the
# program itself runs sanitized; the Windows builds' tests skip there.
# Every report of every process (test binary, kestrun, tsgen, the test
# driver) goes to build/<preset>/sanitizer-reports/, and any report fails the
# run, also one from a child process whose test passed.
#
#   SANITIZERS   the presets to run (default: asan tsan)
#   TSAN_TESTS   ctest -R regex for the tsan run (default: every test)
#   JOBS         build and test parallelism (default 2)
set -euo pipefail
cd "$(dirname "$0")/../.."

sanitizers=${SANITIZERS:-asan tsan}
jobs=${JOBS:-2}
status=0

build() {
  local preset=$1
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs" --target kestrun_tests >/dev/null
}

# ThreadSanitizer's fixed memory layout does not survive the wider address
# randomisation of some kernels ("unexpected memory mapping"); the tests then
# run with randomisation off for this process tree.
tsan_launcher() {
  local probe
  probe=$(build/tsan/tests/kestrun_tests --gtest_list_tests 2>&1 >/dev/null || true)
  if [[ $probe == *ThreadSanitizer* ]]; then
    if setarch "$(uname -m)" -R true 2>/dev/null; then
      echo "sanitize: ThreadSanitizer needs address randomisation off here; using setarch -R" >&2
      echo "setarch $(uname -m) -R"
      return
    fi
    echo "sanitize: ThreadSanitizer cannot start on this kernel and setarch -R is unavailable" >&2
    return 1
  fi
}

run() {
  local preset=$1 reports launcher=() filter=()
  reports=$PWD/build/$preset/sanitizer-reports
  rm -rf "$reports"
  mkdir -p "$reports"
  case $preset in
    asan)
      export ASAN_OPTIONS="log_path=$reports/asan:detect_leaks=1:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1"
      export UBSAN_OPTIONS="log_path=$reports/ubsan:print_stacktrace=1:halt_on_error=1"
      ;;
    tsan)
      local prefix
      prefix=$(tsan_launcher) || { status=1; return; }
      read -r -a launcher <<<"$prefix"
      export TSAN_OPTIONS="log_path=$reports/tsan:second_deadlock_stack=1"
      if [[ -n ${TSAN_TESTS:-} ]]; then filter=(-R "$TSAN_TESTS"); fi
      ;;
  esac
  local start=$SECONDS result=0
  # ctest lists skipped tests at the end; the Windows ones say why.
  (cd "build/$preset" && ${launcher[@]+"${launcher[@]}"} ctest --output-on-failure -j"$jobs" \
      --timeout 600 ${filter[@]+"${filter[@]}"}) >"build/$preset/ctest.log" 2>&1 || result=$?
  grep -E 'tests passed|tests failed' "build/$preset/ctest.log" || true
  if ((result != 0)); then
    echo "sanitize: $preset: tests failed (build/$preset/ctest.log)" >&2
    grep -E '^\s*[0-9]+ - .*\((Failed|Timeout|SEGFAULT|Subprocess aborted|Exception)' \
      "build/$preset/ctest.log" >&2 || true
    status=1
  fi
  if compgen -G "$reports/*" >/dev/null; then
    echo "sanitize: $preset: sanitizer reports in $reports:" >&2
    for report in "$reports"/*; do
      echo "--- $report" >&2
      head -40 "$report" >&2
    done
    status=1
  fi
  unset ASAN_OPTIONS UBSAN_OPTIONS TSAN_OPTIONS
  echo "sanitize: $preset ran in $((SECONDS - start)) s"
}

for preset in $sanitizers; do
  start=$SECONDS
  build "$preset"
  echo "sanitize: $preset built in $((SECONDS - start)) s"
  run "$preset"
done
exit $status
