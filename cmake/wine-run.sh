#!/bin/sh
# Runs one Windows program under Wine, in the build tree's private prefix, without installer prompts or noise.
set -e
here=$(cd "$(dirname "$0")" && pwd)
: "${WINEPREFIX:=$here/../build/wineprefix}"
export WINEPREFIX
export WINEDEBUG=-all
# No Mono or Gecko installer dialogs: the tests need neither.
export WINEDLLOVERRIDES="mscoree=;mshtml=;${WINEDLLOVERRIDES:-}"
export WINEARCH=win64
if [ ! -f "$WINEPREFIX/.tarnix-ready" ]; then
  mkdir -p "$WINEPREFIX"
  # The first run creates the prefix; a lock keeps parallel tests from racing to do it twice.
  flock "$WINEPREFIX/.init-lock" sh -c '
    if [ ! -f "$WINEPREFIX/.tarnix-ready" ]; then
      wineboot -i >/dev/null 2>&1 || true
      wineserver -w || true
      touch "$WINEPREFIX/.tarnix-ready"
    fi'
fi
exec wine "$@"
