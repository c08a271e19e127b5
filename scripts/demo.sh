#!/usr/bin/env bash
# A short, readable session with tarnix against ptsim, our simulated adapter: enumerate, open ISO 15765 at
# 500 kbit/s, read the battery, ask the simulated ECU for engine speed, read versions, close, shut down.
# Default: the Linux build. --windows: the 64-bit and the 32-bit Windows builds under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh

session() {  # session DLL_PATH: the request lines, with notes for the reader
  cat <<EOF2
# Which J2534 interfaces are registered on this machine?
{"id":1,"method":"EnumerateDevices"}
# Open the simulated adapter: ISO 15765 (protocol 6) at 500 kbit/s.
{"id":2,"method":"Open","params":{"dll_path":"$1","protocol_id":6,"baud_rate":500000}}
# Battery voltage, as the adapter measures it.
{"id":3,"method":"ReadBatteryVoltage"}
# Ask the engine ECU (0x7E0 = 2016) for engine speed: OBD-II service 01, PID 0C.
{"id":4,"method":"SendMessage","params":{"arb_id":2016,"data":[1,12],"extended":false}}
# Its answer comes from 0x7E8 (2024): 41 0C A B, speed = (A*256+B)/4 rpm.
{"id":5,"method":"ReadMessages","params":{"timeout_ms":500}}
# Firmware, library and API versions.
{"id":6,"method":"ReadVersion"}
{"id":7,"method":"Close"}
{"id":8,"method":"Shutdown"}
EOF2
}

# Prints the engine speed from the ReadMessages answer, so the reader need not decode it by hand.
explain() {
  awk '{ print }
    /^<- \{"id":5,/ && match($0, /"arbId":2024,"extended":false,"data":\[65,12,[0-9]+,[0-9]+\]/) {
      split(substr($0, RSTART, RLENGTH), part, /[\[\],]/)
      printf "# engine speed: %.2f rpm\n", (part[6] * 256 + part[7]) / 4
    }'
}

run_linux() {
  tarnix_ensure_packages "${TARNIX_HOST_PACKAGES[@]}"
  cmake --preset host >/dev/null
  cmake --build --preset host --target tarnix tarnix_client ptsim0404 >/dev/null
  echo "== tarnix (Linux) with ptsim"
  session "$PWD/build/host/bin/libptsim0404.so" | build/host/bin/tarnix_client | explain
}

run_windows() {
  tarnix_ensure_packages "${TARNIX_HOST_PACKAGES[@]}" "${TARNIX_WINDOWS_PACKAGES[@]}"
  tarnix_ensure_32bit || true
  local preset
  for preset in win64 win32; do
    if [ "$preset" = win32 ] && [ "$(tarnix_wine_run --i386-mode)" = none ]; then
      echo "== win32 skipped: this machine cannot execute 32-bit programs, which Wine needs for it"
      continue
    fi
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" --target tarnix tarnix_client ptsim0404 >/dev/null
    echo "== tarnix ($preset, under Wine) with ptsim"
    # A bare DLL name is found in the bridge's own folder, where the build put ptsim.
    local flag=""
    [ "$preset" = win32 ] && flag=--32
    session "ptsim0404.dll" | cmake/wine-run.sh $flag "build/$preset/bin/tarnix_client.exe" | tr -d '\r' | explain
  done
}

case "${1:-}" in
  "") run_linux ;;
  --windows) run_windows ;;
  *) echo "usage: scripts/demo.sh [--windows]" >&2; exit 2 ;;
esac
