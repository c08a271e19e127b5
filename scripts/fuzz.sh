#!/bin/sh
# Builds the request decoder's libFuzzer target with clang (ASan + UBSan) and runs one bounded pass.
#
# Usage: scripts/fuzz.sh [seconds]     (default 60)
#
# The committed seeds in fuzz/corpus are only read; inputs the fuzzer finds go to
# build/fuzz/new-corpus (copy interesting ones into fuzz/corpus by hand), and a crashing input
# to build/fuzz/artifacts. The exit code is non-zero when the fuzzer found a failure.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
out=$root/build/fuzz

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

missing=""
for package in clang libclang-rt-14-dev rapidjson-dev; do
  installed "$package" || missing="$missing $package"
done
if [ -n "$missing" ]; then
  echo "Installing:$missing"
  if [ "$(id -u)" -ne 0 ]; then
    echo "run as root (or install$missing yourself)" >&2
    exit 1
  fi
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing >/dev/null
fi

cxx=clang++-14
command -v "$cxx" >/dev/null 2>&1 || cxx=clang++

mkdir -p "$out/new-corpus" "$out/artifacts"
sources=$(ls "$root"/src/protocol/*.cpp | grep -v '_test\.cpp$')
echo "Building $out/decode_fuzzer"
# The same warnings as the product build: this also proves the protocol code compiles with clang.
# shellcheck disable=SC2086
"$cxx" -std=c++20 -g -O1 -Wall -Wextra -Wpedantic -Werror \
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$root/src" -o "$out/decode_fuzzer" "$root/fuzz/decode_fuzzer.cpp" $sources

echo "Fuzzing for $seconds s"
"$out/decode_fuzzer" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
  -dict="$root/fuzz/request.dict" -artifact_prefix="$out/artifacts/" -print_final_stats=1 \
  "$out/new-corpus" "$root/fuzz/corpus"
