#!/bin/sh
# Builds a libFuzzer target with clang (ASan + UBSan) and runs one bounded pass: the request
# decoder (default) or the trace reader.
#
# Usage: scripts/fuzz.sh [seconds] [decode|trace]     (default 60 decode)
#
# The committed seeds in fuzz/corpus (fuzz/trace_corpus) are only read; inputs the fuzzer finds
# go to build/fuzz/new-corpus (new-trace-corpus; copy interesting ones into the seeds by hand), and
# a crashing input to build/fuzz/artifacts. The exit code is non-zero when the fuzzer found a
# failure.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
target=${2:-decode}
out=$root/build/fuzz
case $target in
  decode) module=protocol seeds=corpus new=new-corpus max_len=4096 dict="-dict=$root/fuzz/request.dict" ;;
  trace) module=trace seeds=trace_corpus new=new-trace-corpus max_len=65536 dict="" ;;
  *) echo "unknown target $target: decode or trace" >&2; exit 2 ;;
esac

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

mkdir -p "$out/$new" "$out/artifacts"
sources=$(ls "$root"/src/$module/*.cpp | grep -v '_test\.cpp$')
echo "Building $out/${target}_fuzzer"
# The same warnings as the product build: this also proves the fuzzed code compiles with clang.
# shellcheck disable=SC2086
"$cxx" -std=c++20 -g -O1 -Wall -Wextra -Wpedantic -Werror \
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$root/src" -o "$out/${target}_fuzzer" "$root/fuzz/${target}_fuzzer.cpp" $sources

echo "Fuzzing for $seconds s"
# shellcheck disable=SC2086
"$out/${target}_fuzzer" -max_total_time="$seconds" -max_len=$max_len -timeout=10 \
  $dict -artifact_prefix="$out/artifacts/" -print_final_stats=1 \
  "$out/$new" "$root/fuzz/$seeds"
