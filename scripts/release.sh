#!/usr/bin/env bash
# Builds the release presets and writes the archives a user unpacks, with their checksums:
#   tarnix-<version>-windows.zip          x64/ and x86/: tarnix.exe, tarnix_passthru.dll,
#                                         tarnix_register.exe; README.md, LICENSE
#   tarnix-<version>-linux-x86_64.tar.gz  tarnix, libtarnix_passthru.so, tarnix_register, README.md,
#                                         LICENSE
#   SHA256SUMS
# Usage: scripts/release.sh [--out DIR]   (default: dist/ in the source tree; DIR is emptied first)
# The release build trees are build/release-<flavour>; ptsim and the test tools are not shipped.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
out="$root/dist"
while [ $# -gt 0 ]; do
  case "$1" in
    --out) out=$2; shift 2 ;;
    *) echo "usage: scripts/release.sh [--out DIR]" >&2; exit 2 ;;
  esac
done
source scripts/setup.sh
tarnix_ensure_packages cmake ninja-build g++ rapidjson-dev libgtest-dev libgmock-dev googletest \
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix || exit 1

for flavour in linux win64 win32; do
  echo "== release-$flavour"
  log="build/release-$flavour.log"
  mkdir -p build
  if ! { cmake --preset "release-$flavour" && cmake --build --preset "release-$flavour"; } >"$log" 2>&1
  then
    tail -n 40 "$log"
    echo "release: release-$flavour failed to build (log: $log)" >&2
    exit 1
  fi
done

# The version the build stamped into the program: one place, the generated header.
version=$(sed -n 's/^inline constexpr char kVersion\[\] = "\(.*\)";$/\1/p' \
  build/release-linux/generated/include/tarnix_version.h)
[ -n "$version" ] || { echo "release: no version in the generated header" >&2; exit 1; }

rm -rf "$out"
mkdir -p "$out"
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

mkdir -p "$stage/windows/x64" "$stage/windows/x86" "$stage/linux"
windows_files=(tarnix.exe tarnix_passthru.dll tarnix_register.exe)
linux_files=(tarnix libtarnix_passthru.so tarnix_register)
for file in "${windows_files[@]}"; do
  cp "build/release-win64/bin/$file" "$stage/windows/x64/"
  cp "build/release-win32/bin/$file" "$stage/windows/x86/"
done
for file in "${linux_files[@]}"; do cp "build/release-linux/bin/$file" "$stage/linux/"; done
for dir in "$stage/windows" "$stage/linux"; do cp README.md LICENSE "$dir/"; done

zip_name="tarnix-$version-windows.zip"
tar_name="tarnix-$version-linux-x86_64.tar.gz"
(cd "$stage/windows" && cmake -E tar cf "$out/$zip_name" --format=zip \
  "${windows_files[@]/#/x64/}" "${windows_files[@]/#/x86/}" README.md LICENSE)
(cd "$stage/linux" && cmake -E tar czf "$out/$tar_name" "${linux_files[@]}" README.md LICENSE)
(cd "$out" && sha256sum "$zip_name" "$tar_name" >SHA256SUMS)
echo "== wrote $out"
ls -l "$out"
