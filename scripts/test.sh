#!/usr/bin/env bash
# Builds every flavour of tarnix (Linux, Linux with sanitizers, 64- and 32-bit Windows) and runs
# every test, the Windows ones under Wine, the Python client's tests and the release archives' check.
# Installs what is missing first. Prints a summary, each step's time and the total, and as its very
# last line the total that CI reads:
#   tests: N passed, N failed, N skipped
# counted from the test runners' JUnit results (scripts/test_results.py). Exits non-zero on any
# failure. TARNIX_TEST_STEPS="win64 win32" (default: every step) runs only the steps named.
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
tarnix_ensure_packages "${TARNIX_HOST_PACKAGES[@]}" "${TARNIX_WINDOWS_PACKAGES[@]}" \
  "${TARNIX_PYTHON_PACKAGES[@]}" || exit 1
tarnix_ensure_32bit || echo "== 32-bit programs cannot run here; the win32 build's tests are skipped"

results=build/test-results
rm -rf "$results"
mkdir -p "$results"
i386_mode=$(tarnix_wine_run --i386-mode)
wanted_steps=" ${TARNIX_TEST_STEPS:-host python asan tsan release wine win32 win64} "
case "$wanted_steps" in *" win32 "* | *" win64 "*) wanted_steps+="wine " ;; esac
all_steps=()

# preset NAME [--targets "T..."] [--tests REGEX] [--other-width PRESET]: configures, builds
# (everything, or the targets) and tests (everything, or the tests whose names match REGEX) one
# CMake preset; --other-width: the ptsim libraries of PRESET, which the tests load, are built first.
preset() {
  local name=$1 targets=() tests=() other="" junit="$PWD/build/$1-junit.xml"
  shift
  while [ $# -gt 0 ]; do
    case $1 in
      --targets) for t in $2; do targets+=(--target "$t"); done ;;
      --tests) tests=(-R "$2") ;;
      --other-width) other=$2 ;;
    esac
    shift 2
  done
  rm -f "$junit"
  cmake --preset "$name" || { fail "configure failed"; return; }
  nice -n 10 cmake --build --preset "$name" "${targets[@]}" || { fail "build failed"; return; }
  if [ -n "$other" ]; then
    { cmake --preset "$other" && nice -n 10 cmake --build --preset "$other" --target ptsim0404 \
      ptsim0500; } || { fail "build failed ($other's ptsim)"; return; }
  fi
  [ "$name" = win32 ] && win32_mode
  # Windows programs run once the prefix is made and its server started.
  [[ $name == win* ]] && await wine
  ctest --preset "$name" --output-junit "$junit" "${tests[@]}" "${ctest_options[@]}"
  record --junit "$junit"
}

# How the win32 build's tests run here, said in the summary.
win32_mode() {
  case "$i386_mode" in
    native) record --note "32-bit programs run natively: the whole suite ran, as on win64" ;;
    emulated)
      # A test may hang in the emulator itself: each gets one more try, and a test that hangs on
      # both is counted apart from the code's failures.
      ctest_options=(--repeat after-timeout:2)
      record --hangs-skipped "build/win32.log" --note "32-bit programs run under emulation (qemu \
user mode): the modules' unit tests ran together in one program (unit_tests), each other test \
program whole (one test each), e2e only its smoke scenarios" ;;
    none)
      record --note "this machine cannot execute 32-bit programs, so Wine cannot run the win32 \
build's test programs (reported as skipped); the static checks of its images ran" ;;
  esac
}

# The Python client's tests against the host build's bridge and simulator.
python_tests() {
  local junit="$PWD/build/python-junit.xml"
  rm -f "$junit"
  bash clients/python/run_tests.sh "$PWD/build/host/bin" "$junit" || fail "tests failed"
  record --junit "$junit"
}

# The release archives, as scripts/release.sh writes them, checked in a folder of their own.
release_archives() {
  local junit="$PWD/build/release-junit.xml" out
  rm -f "$junit"
  out=$(mktemp -d "${TMPDIR:-/tmp}/tarnix-release.XXXXXX")
  if nice -n 10 scripts/release.sh --out "$out"; then
    python3 scripts/check_release.py "$out" "$junit"
    record --junit "$junit"
  else
    fail "build failed"
  fi
  rm -rf "$out"
}

# The private Wine prefix (minutes the first time, nearly all of it on one core), and one Wine
# server for every Windows program from then on, rather than one started for each.
wine_server() {
  tarnix_wine_run --start || fail "prefix not made"
}

# In a step: fail TEXT marks it failed; record OPTIONS... adds test_results.py record's options.
fail() { echo "$1" >"$results/$step_name.status"; }
record() { printf '%s\n' "$@" >>"$results/$step_name.options"; }
# await STEP: returns once STEP has ended, or at once when TARNIX_TEST_STEPS leaves it out.
await() {
  [[ $wanted_steps == *" $1 "* ]] || return 0
  until [ -f "$results/$1.done" ]; do sleep 2; done
}

# step NAME [after STEP...] -- COMMAND...: COMMAND in the background, its output in build/NAME.log,
# once the steps it comes after have ended (those TARNIX_TEST_STEPS leaves out count as ended).
step() {
  local name=$1 after=()
  shift
  while [ "$1" != -- ]; do [ "$1" != after ] && after+=("$1"); shift; done
  shift
  [[ $wanted_steps == *" $name "* ]] || return 0
  all_steps+=("$name")
  (
    for before in "${after[@]}"; do await "$before"; done
    local log="build/$name.log" start=$SECONDS status=ok options=() step_name=$name ctest_options=()
    echo "== $name: started"
    "$@" </dev/null >"$log" 2>&1
    [ -f "$results/$name.status" ] && status=$(cat "$results/$name.status")
    [ -f "$results/$name.options" ] && mapfile -t options <"$results/$name.options"
    # The CPU time of what the step ran (fields 16 and 17: its ended children's user and system).
    local stat
    read -r -a stat </proc/$BASHPID/stat
    python3 scripts/test_results.py record "$results" "$name" "$status" $((SECONDS - start)) \
      "$log" --cpu $(((stat[15] + stat[16]) / $(getconf CLK_TCK))) "${options[@]}"
    touch "$results/$name.done"
  ) &
}

# The steps. Each builds its own tree, so two of them run side by side: a build keeps both cores
# busy, a test run (each Wine program starting, the prefix being made) often leaves one idle.
# Builds run at a lower priority, so that tests beside them run as they would alone. Windows tests
# share one Wine prefix and registry, so they never overlap.
step host                      -- preset host
step python  after host        -- python_tests
step asan    after python      -- preset asan
# The worker's threads and channels, once more under ThreadSanitizer.
step tsan    after asan        -- preset tsan --targets "worker_test main_test" \
                                    --tests '^(worker_test|main_test)\.'
step release after tsan        -- release_archives
step wine                      -- wine_server
# The scenarios of each Windows build read the other width's ptsim (and fail to load it).
step win32                     -- preset win32 --other-width win64
step win64   after win32       -- preset win64
wait
[[ $wanted_steps == *" wine "* ]] && tarnix_wine_run --stop

# The log of a step that failed, less the lines of its tests that passed.
for name in "${all_steps[@]}"; do
  if ! grep -q '"status": "ok"' "$results/$name.json" 2>/dev/null; then
    echo "== $name failed (build/$name.log):"
    grep -v -e '^ *Start ' -e ' Passed ' "build/$name.log" | tail -n 200
  fi
done
echo
echo "== summary"
python3 scripts/test_results.py summary "$results" "$SECONDS" "${all_steps[@]}"
