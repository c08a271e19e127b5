#!/usr/bin/env bash
# Builds the libFuzzer targets (the fuzz preset: clang with ASan and UBSan) and runs one bounded
# pass of one: the request decoder (default), the trace reader, the library-image readers or the
# registration file reader.
#
# Usage: scripts/fuzz.sh [seconds] [decode|trace|library|registration]     (default 60 decode)
#
# The committed seeds in fuzz/corpus (fuzz/<target>_corpus) are only read; inputs the fuzzer finds
# go to build/fuzz/new-corpus (new-<target>-corpus; copy interesting ones into the seeds by hand), and
# a crashing input to build/fuzz/artifacts. The exit code is non-zero when the fuzzer found a
# failure.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh

seconds=${1:-60}
target=${2:-decode}
out=build/fuzz
case $target in
  # A decode input of up to 1 MB must finish within 2 s: anything slower is superlinear.
  decode) seeds=corpus new=new-corpus max_len=1048576 timeout=2 dict=(-dict=fuzz/request.dict) ;;
  trace) seeds=trace_corpus new=new-trace-corpus max_len=65536 timeout=10 dict=() ;;
  library) seeds=library_corpus new=new-library-corpus max_len=65536 timeout=10 dict=() ;;
  registration) seeds=registration_corpus new=new-registration-corpus max_len=4096 timeout=10 dict=() ;;
  *) echo "unknown target $target: decode, trace, library or registration" >&2; exit 2 ;;
esac

tarnix_ensure_packages "${TARNIX_FUZZ_PACKAGES[@]}"
echo "Building $out/bin/${target}_fuzzer"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "${target}_fuzzer" >/dev/null

mkdir -p "$out/$new" "$out/artifacts"
echo "Fuzzing for $seconds s"
"$out/bin/${target}_fuzzer" -max_total_time="$seconds" -max_len="$max_len" -timeout="$timeout" \
  "${dict[@]}" -artifact_prefix="$out/artifacts/" -print_final_stats=1 \
  "$out/$new" "fuzz/$seeds"
