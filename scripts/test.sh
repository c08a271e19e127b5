#!/usr/bin/env bash
# Builds every flavour of tarnix (Linux, Linux with sanitizers, 64- and 32-bit Windows) and runs every
# test, the Windows ones under Wine. Installs what is missing first. Exits non-zero on any failure.
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
tarnix_ensure_packages "${TARNIX_HOST_PACKAGES[@]}" "${TARNIX_WINDOWS_PACKAGES[@]}" || exit 1

# Wine is quiet and never asks to install Mono or Gecko; its prefix lives in the build tree.
export WINEDEBUG=-all WINEPREFIX="$PWD/build/wineprefix"

declare -a summary=()
failed=0

# run_preset NAME [TARGET...]: configure, build (all, or the targets given) and test one preset.
run_preset() {
  local preset=$1; shift
  local start=$SECONDS status=ok log="build/$preset.log"
  mkdir -p build
  echo "== $preset: configure and build"
  if ! cmake --preset "$preset" >"$log" 2>&1; then
    status="configure failed"
  else
    local targets=()
    for t in "$@"; do targets+=(--target "$t"); done
    if ! cmake --build --preset "$preset" "${targets[@]}" >>"$log" 2>&1; then
      status="build failed"
    fi
  fi
  if [ "$status" = ok ]; then
    echo "== $preset: test"
    local filter=()
    if [ $# -gt 0 ]; then filter=(-R "^($(IFS='|'; echo "$*"))\$"); fi
    if ! ctest --preset "$preset" "${filter[@]}" 2>&1 | tee -a "$log"; then
      status="tests failed"
    fi
  else
    tail -n 40 "$log"
  fi
  [ "$status" = ok ] || failed=1
  local skipped
  skipped=$(grep -c '(Skipped)$' "$log" || true)
  if [ "$status" = ok ] && [ "$skipped" -gt 0 ]; then
    status="ok, $skipped skipped"
  fi
  summary+=("$(printf '%-6s %-16s %4ds  (log: %s)' "$preset" "$status" $((SECONDS - start)) "$log")")
}

run_preset host
run_preset asan
# The worker's threads and channels, once more under ThreadSanitizer.
run_preset tsan worker_test host_test
run_preset win64
run_preset win32

echo
echo "== summary"
printf '%s\n' "${summary[@]}"
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo "note: this machine cannot execute 32-bit programs, so Wine cannot run the win32 build's tests;"
  echo "      they are built (every file compiled and linked) and reported as skipped."
fi
exit $failed
