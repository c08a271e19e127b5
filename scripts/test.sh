#!/usr/bin/env bash
# Builds every flavour of tarnix (Linux, Linux with sanitizers, 64- and 32-bit Windows) and runs every
# test, the Windows ones under Wine, then the Python client's tests when they exist. Installs what is
# missing first. Prints a summary, and as its very last line the total that CI reads:
#   tests: N passed, N failed, N skipped
# counted from the test runners' JUnit results. Exits non-zero on any failure.
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
tarnix_ensure_packages "${TARNIX_HOST_PACKAGES[@]}" "${TARNIX_WINDOWS_PACKAGES[@]}" \
  "${TARNIX_PYTHON_PACKAGES[@]}" || exit 1
tarnix_ensure_32bit || echo "== 32-bit programs cannot run here; the win32 build's tests are skipped"

# Wine is quiet and never asks to install Mono or Gecko; its prefix lives in the build tree.
export WINEDEBUG=-all WINEPREFIX="$PWD/build/wineprefix"
mkdir -p build

declare -a summary=()
failed=0 passed_total=0 failed_total=0 skipped_total=0

# junit_counts FILE: "passed failed skipped" summed over the file's test suites (CTest's and
# pytest's JUnit files both state tests, failures, errors, skipped and disabled per suite).
junit_counts() {
  awk 'BEGIN { RS = "<" }
    function attr(name) {
      return match($0, name "=\"[0-9]+\"") ? substr($0, RSTART + length(name) + 2, RLENGTH - length(name) - 3) : 0
    }
    /^testsuite[ \t\r\n]/ {
      tests += attr("tests"); failures += attr("failures") + attr("errors")
      skipped += attr("skipped") + attr("disabled")
    }
    END { printf "%d %d %d\n", tests - failures - skipped, failures, skipped }' "$1"
}

# timed_out LOG: the tests CTest reports as timed out in LOG, each once, and whether the last
# attempt timed out too ("name final") or a retry ran to its end ("name retried").
timed_out() {
  awk 'match($0, /Test +#[0-9]+: [^ ]+ /) {
      name = substr($0, RSTART, RLENGTH); sub(/Test +#[0-9]+: /, "", name); sub(/ $/, "", name)
      last[name] = ($0 ~ /\*\*\*Timeout/) ? "final" : "retried"
      if ($0 ~ /\*\*\*Timeout/) seen[name] = 1
    }
    END { for (name in seen) print name, last[name] }' "$1"
}

# add_row NAME STATUS SECONDS PASSED FAILED SKIPPED [NOTE]: one summary line and the totals.
add_row() {
  passed_total=$((passed_total + $4)) failed_total=$((failed_total + $5))
  skipped_total=$((skipped_total + $6))
  summary+=("$(printf '%-7s %-13s %5d passed %4d failed %4d skipped %5ds  %s' "$1" "$2" "$4" "$5" "$6" "$3" "${7:-}")")
}

win32_mode=$(sh cmake/wine-run.sh --i386-mode)
win32_note=""

# run_preset NAME [REGEX TARGET...]: configure, build (all, or the targets given) and test one
# preset (every test, or those whose names match REGEX).
run_preset() {
  local preset=$1 regex=${2:-}
  shift
  [ $# -gt 0 ] && shift
  local start=$SECONDS status=ok log="build/$preset.log" junit="$PWD/build/$preset-junit.xml"
  echo "== $preset: configure and build"
  rm -f "$junit"
  if ! cmake --preset "$preset" >"$log" 2>&1; then
    status="configure failed"
  else
    local targets=()
    for t in "$@"; do targets+=(--target "$t"); done
    if ! cmake --build --preset "$preset" "${targets[@]}" >>"$log" 2>&1; then
      status="build failed"
    fi
  fi
  if [ "$status" != ok ]; then
    tail -n 40 "$log"
    failed=1
    add_row "$preset" "$status" $((SECONDS - start)) 0 1 0 "(log: $log)"
    return
  fi
  echo "== $preset: test"
  local args=(--output-junit "$junit")
  [ -n "$regex" ] && args+=(-R "$regex")
  # Under emulation a test may hang in the emulator itself: each gets one more try.
  [ "$preset" = win32 ] && [ "$win32_mode" = emulated ] && args+=(--repeat after-timeout:2)
  local ctest_start
  ctest_start=$(wc -l <"$log")
  ctest --preset "$preset" "${args[@]}" 2>&1 | tee -a "$log"
  local counts=(0 0 0)
  if [ -f "$junit" ]; then
    read -r -a counts < <(junit_counts "$junit")
  else
    counts=(0 1 0)
  fi
  if [ "$preset" = win32 ] && [ "$win32_mode" = emulated ]; then
    # Emulation hangs are not the code's failures: reported apart, counted as skipped.
    local hung=() recovered=() name how
    while read -r name how; do
      if [ "$how" = final ]; then hung+=("$name"); else recovered+=("$name"); fi
    done < <(tail -n +"$((ctest_start + 1))" "$log" | timed_out /dev/stdin)
    counts[1]=$((counts[1] - ${#hung[@]})) counts[2]=$((counts[2] + ${#hung[@]}))
    win32_note="win32: 32-bit programs run under emulation (qemu user mode): the modules' unit tests ran together in one program (unit_tests), each other test program whole (one test each), e2e only its smoke scenarios; emulation hangs: ${#hung[@]} (${hung[*]:-none}) counted as skipped, ${#recovered[@]} passed on retry (${recovered[*]:-none})"
  fi
  [ "${counts[1]}" -gt 0 ] && status="tests failed" && failed=1
  add_row "$preset" "$status" $((SECONDS - start)) "${counts[@]}" "(log: $log)"
}

# The Python client's tests against the host build's bridge and simulator, when the client has them.
run_python() {
  local start=$SECONDS status=ok log=build/python.log junit="$PWD/build/python-junit.xml"
  local runner=clients/python/run_tests.sh
  echo "== python: test"
  rm -f "$junit"
  if [ -x "$runner" ]; then
    "$runner" "$PWD/build/host/bin" "$junit" 2>&1 | tee "$log"
  else
    bash "$runner" "$PWD/build/host/bin" "$junit" 2>&1 | tee "$log"
  fi
  local code=${PIPESTATUS[0]} counts=(0 1 0)
  [ -f "$junit" ] && read -r -a counts < <(junit_counts "$junit")
  if [ "$code" -ne 0 ] || [ "${counts[1]}" -gt 0 ] || [ ! -f "$junit" ]; then
    status="tests failed"
    failed=1
    [ "${counts[1]}" -eq 0 ] && counts[1]=1
  fi
  add_row python "$status" $((SECONDS - start)) "${counts[@]}" "(log: $log)"
}

# The release archives, as scripts/release.sh writes them, checked in a folder of their own.
run_release() {
  local start=$SECONDS status=ok log=build/release.log junit="$PWD/build/release-junit.xml" out
  echo "== release: build and check"
  rm -f "$junit"
  out=$(mktemp -d "${TMPDIR:-/tmp}/tarnix-release.XXXXXX")
  if scripts/release.sh --out "$out" >"$log" 2>&1; then
    python3 scripts/check_release.py "$out" "$junit" 2>&1 | tee -a "$log"
  else
    tail -n 40 "$log"
  fi
  rm -rf "$out"
  local counts=(0 1 0)
  [ -f "$junit" ] && read -r -a counts < <(junit_counts "$junit")
  [ "${counts[1]}" -gt 0 ] && status="tests failed" && failed=1
  add_row release "$status" $((SECONDS - start)) "${counts[@]}" "(log: $log)"
}

# TARNIX_TEST_STEPS (default: all) picks steps, for a developer's partial run.
steps=" ${TARNIX_TEST_STEPS:-host release python asan tsan win64 win32} "
wanted() { [[ "$steps" == *" $1 "* ]]; }

# The Wine prefix takes minutes to make where 32-bit programs are emulated, nearly all of it on one
# core: it is made in the background while the Linux presets build and test, and waited for before
# the first Windows step. Its output goes to a file, never to a pipe (see cmake/wine-run.sh).
prefix_pid=""
if wanted win64 || wanted win32; then
  prefix_started=$(date +%s)
  sh cmake/wine-run.sh --prepare </dev/null >build/wineprefix.log 2>&1 &
  prefix_pid=$!
fi

wanted host && run_preset host
wanted release && run_release
wanted python && [ -f clients/python/run_tests.sh ] && run_python
wanted asan && run_preset asan
# The worker's threads and channels, once more under ThreadSanitizer.
wanted tsan && run_preset tsan '^(worker_test|host_test)\.' worker_test host_test
prefix_seconds=0 prefix_waited=0
if [ -n "$prefix_pid" ]; then
  wait_start=$SECONDS
  wait "$prefix_pid" || { echo "== the Wine prefix was not made:"; tail -n 20 build/wineprefix.log; }
  prefix_waited=$((SECONDS - wait_start))
  # Made when its marker was written; a prefix kept from an earlier run took no time now.
  ready=$(stat -c %Y build/wineprefix/.tarnix-ready 2>/dev/null || echo "$prefix_started")
  prefix_seconds=$((ready > prefix_started ? ready - prefix_started : 0))
  # One Wine server for every Windows test, rather than one started for each test, and its
  # services started now, with nothing of ours to inherit (see cmake/wine-run.sh).
  wine_tmp="$PWD/build/wineprefix-tmp"
  TMPDIR="$wine_tmp" wineserver -p 2>/dev/null || true
  TMPDIR="$wine_tmp" /usr/lib/wine/wine64 wineboot </dev/null >/dev/null 2>&1 || true
  # The 64-bit scenarios read the 32-bit ptsim beside them (libraries of the other width): built first.
  if wanted win64 && wanted win32; then
    { cmake --preset win32 && cmake --build --preset win32 --target ptsim0500; } >build/win32.log 2>&1
  fi
  wanted win64 && run_preset win64
  wanted win32 && run_preset win32
  TMPDIR="$wine_tmp" wineserver -k 2>/dev/null || true
fi

echo
echo "== summary"
printf '%s\n' "${summary[@]}"
echo "wine prefix ready in ${prefix_seconds}s (made in the background; the Windows steps waited ${prefix_waited}s for it)"
case "$win32_mode" in
  native) echo "win32: 32-bit programs run natively: the whole suite ran, as on win64" ;;
  emulated) echo "$win32_note" ;;
  none)
    echo "win32: this machine cannot execute 32-bit programs, so Wine cannot run the win32 build's"
    echo "       test programs (reported as skipped); the static checks of its images ran" ;;
esac
echo "tests: $passed_total passed, $failed_total failed, $skipped_total skipped"
exit $failed
