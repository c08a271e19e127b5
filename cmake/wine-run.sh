#!/bin/sh
# Owns Wine for the whole tree: the build tree's private prefix, the Wine server's folder, quiet
# output, and whether 32-bit programs run. Every script and CTest reach Wine through it.
#   wine-run.sh [--32] PROGRAM ARGS...  runs one Windows program (--32: of the 32-bit build),
#                                       without installer prompts or noise; exits 77, which CTest
#                                       counts as skipped, where 32-bit programs cannot run at all
#   wine-run.sh --i386-mode             prints how 32-bit programs run here: native, emulated
#                                       (qemu user mode, registered with binfmt_misc by
#                                       scripts/setup.sh) or none
#   wine-run.sh --prepare               makes the prefix (minutes, the first time)
#   wine-run.sh --start | --stop        starts one Wine server, and its services, for a run of
#                                       tests, rather than one for each program; stops it
set -e
here=$(cd "$(dirname "$0")" && pwd)
: "${WINEPREFIX:=$here/../build/wineprefix}"
export WINEPREFIX
# The Wine server keeps its socket folder under TMPDIR: beside the prefix rather than in /tmp, so that
# test runs leave nothing there. Every Wine process of one prefix must agree on it.
: "${TARNIX_WINE_TMPDIR:=${WINEPREFIX%/}-tmp}"
export TMPDIR="$TARNIX_WINE_TMPDIR"
mkdir -p "$TMPDIR"
export WINEDEBUG=-all
# No Mono or Gecko installer dialogs: the tests need neither.
export WINEDLLOVERRIDES="mscoree=;mshtml=;${WINEDLLOVERRIDES:-}"

# Wine's 32-bit loader is itself a 32-bit Linux program; some kernels refuse to execute those.
can_run_32bit() { /usr/lib/wine/wine --version >/dev/null 2>&1; }

i386_mode() {
  if ! can_run_32bit; then
    echo none
  elif grep -qs '^interpreter .*qemu-i386' /proc/sys/fs/binfmt_misc/* &&
    grep -qs '^enabled' "$(grep -ls '^interpreter .*qemu-i386' /proc/sys/fs/binfmt_misc/* | head -n 1)"; then
    echo emulated
  else
    echo native
  fi
}

# Makes the prefix once; a lock keeps parallel tests from racing to do it twice. It is made by the
# 32-bit loader where that runs, so that it gets its 32-bit half (drive_c/windows/syswow64), and
# .tarnix-ready says which loader made it. A prefix made while 32-bit programs could not run lacks
# that half (every 32-bit program fails to load kernel32.dll in it): it is made again once they can.
prefix_ready() {
  [ -f "$WINEPREFIX/.tarnix-ready" ] || return 1
  [ -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ] && return 0
  [ "$(cat "$WINEPREFIX/.tarnix-ready")" = 32 ] || ! can_run_32bit
}

prepare_prefix() {
  prefix_ready && return 0
  mkdir -p "$WINEPREFIX"
  exec 9>"$WINEPREFIX/.init-lock"
  flock 9
  if ! prefix_ready; then
    if [ -f "$WINEPREFIX/.tarnix-ready" ]; then
      echo "wine-run: making $WINEPREFIX again, now with its 32-bit half" >&2
      wineserver -k 2>/dev/null || true
      find "$WINEPREFIX" -mindepth 1 -maxdepth 1 ! -name .init-lock -exec rm -rf {} +
    fi
    made_by=64
    boot=/usr/lib/wine/wine64
    if can_run_32bit; then
      made_by=32
      boot=/usr/lib/wine/wine
    fi
    "$boot" wineboot -i >/dev/null 2>&1 || true
    wineserver -w || true
    echo "$made_by" >"$WINEPREFIX/.tarnix-ready"
  fi
  exec 9>&-
}

case "${1:-}" in
  --i386-mode)
    i386_mode
    exit 0
    ;;
  --prepare)
    prepare_prefix
    exit 0
    ;;
  --start)
    # A server that is running already (a test listing's, say) would not stay: it ends first, unless
    # it stays anyway (started so before). The services start now, with nothing of the caller's to
    # inherit (see run_into_files).
    prepare_prefix
    timeout 60 wineserver -w 2>/dev/null || true
    wineserver -p 2>/dev/null || true
    /usr/lib/wine/wine64 wineboot </dev/null >/dev/null 2>&1 || true
    exit 0
    ;;
  --stop)
    wineserver -k 2>/dev/null || true
    exit 0
    ;;
  --32)
    shift
    if ! can_run_32bit; then
      echo "wine-run: this machine cannot execute 32-bit programs, so Wine cannot run $1" >&2
      exit 77
    fi
    loader=/usr/lib/wine/wine
    ;;
  *)
    # Never through the 32-bit loader: where that is emulated, every start would cost a minute.
    loader=/usr/lib/wine/wine64
    ;;
esac

# Runs the program with its output in files, then hands the output on. The first program of a Wine
# server's life starts the Wine services (services.exe, rpcss.exe, ...), which inherit its output and
# live as long as the server: were that output a pipe, its reader (CTest, a test listing) would wait
# for them until the server ends. Sets $code and leaves the output in $out and $err.
run_into_files() {
  out=$(mktemp "$TMPDIR/out.XXXXXX")
  err=$(mktemp "$TMPDIR/err.XXXXXX")
  code=0
  "$loader" "$@" <&0 >"$out" 2>"$err" || code=$?
}

prepare_prefix
case " $* " in
  *" --gtest_list_tests "*)
    # CTest reads the list of test cases line by line; Wine's console ends lines with CR LF. A
    # listing that fails (Wine has failed a start on a loaded machine) is asked for once more
    # rather than failing the build.
    run_into_files "$@"
    [ "$code" -eq 0 ] || { rm -f "$out" "$err"; run_into_files "$@"; }
    tr -d '\r' <"$out"
    cat "$err" >&2
    rm -f "$out" "$err"
    exit "$code"
    ;;
esac
if [ -p /dev/stdout ] || [ -p /dev/stderr ]; then
  run_into_files "$@"
  cat "$out"
  cat "$err" >&2
  rm -f "$out" "$err"
  exit "$code"
fi
exec "$loader" "$@"
