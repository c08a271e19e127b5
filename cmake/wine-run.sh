#!/bin/sh
# Runs one Windows program under Wine, in the build tree's private prefix, without installer prompts or
# noise. Usage: wine-run.sh [--32] PROGRAM ARGS...  (--32 for programs of the 32-bit build).
# Exits 77, which CTest counts as skipped, when this machine cannot run 32-bit programs at all.
set -e
here=$(cd "$(dirname "$0")" && pwd)
: "${WINEPREFIX:=$here/../build/wineprefix}"
export WINEPREFIX
export WINEDEBUG=-all
# No Mono or Gecko installer dialogs: the tests need neither.
export WINEDLLOVERRIDES="mscoree=;mshtml=;${WINEDLLOVERRIDES:-}"

# Wine's 32-bit loader is itself a 32-bit Linux program; some kernels refuse to execute those.
can_run_32bit() { /usr/lib/wine/wine --version >/dev/null 2>&1; }

if [ "${1:-}" = "--32" ]; then
  shift
  if ! can_run_32bit; then
    echo "wine-run: this machine cannot execute 32-bit programs, so Wine cannot run $1" >&2
    exit 77
  fi
  loader=/usr/lib/wine/wine
elif can_run_32bit; then
  loader=/usr/lib/wine/wine
else
  loader=/usr/lib/wine/wine64
fi

if [ ! -f "$WINEPREFIX/.tarnix-ready" ]; then
  mkdir -p "$WINEPREFIX"
  # The first run creates the prefix; a lock keeps parallel tests from racing to do it twice.
  LOADER=$loader flock "$WINEPREFIX/.init-lock" sh -c '
    if [ ! -f "$WINEPREFIX/.tarnix-ready" ]; then
      "$LOADER" wineboot -i >/dev/null 2>&1 || true
      wineserver -w || true
      touch "$WINEPREFIX/.tarnix-ready"
    fi'
fi
exec "$loader" "$@"
