#!/bin/sh
# Writes the real-linker seeds of fuzz/library_corpus: tiny shared libraries (ELF 32/64-bit, PE32,
# PE32+) that export PassThruOpen and, in the 05.00 ones, PassThruScanForDevices. Needs gcc with
# 32-bit support and the MinGW-w64 cross compilers. The other seeds come from discovery_test
# (TARNIX_FUZZ_SEEDS=<source root>/fuzz build/host/bin/discovery_test).
set -eu

out=$(cd "$(dirname "$0")" && pwd)/library_corpus
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat >"$work/seed.c" <<'SOURCE'
int PassThruOpen(void* name, unsigned* id) { (void)name; *id = 1; return 0; }
#ifdef SCAN
int PassThruScanForDevices(unsigned* count) { *count = 0; return 0; }
#endif
#ifdef _WIN32
int __stdcall DllMainCRTStartup(void* module, unsigned reason, void* reserved) {
  (void)module; (void)reason; (void)reserved;
  return 1;
}
#endif
SOURCE

# Small pages and no padding keep each library near one kilobyte.
small="-Wl,-z,noseparate-code -Wl,-z,max-page-size=0x10 -Wl,-z,norelro -Wl,--build-id=none"
# shellcheck disable=SC2086
{
  gcc -shared -nostdlib -fPIC -O2 -s $small -DSCAN -o "$out/real_elf64_0500.so" "$work/seed.c"
  gcc -shared -nostdlib -fPIC -O2 -s $small -o "$out/real_elf64_0404.so" "$work/seed.c"
  gcc -m32 -shared -nostdlib -fPIC -O2 -s $small -DSCAN -o "$out/real_elf32_0500.so" "$work/seed.c"
  x86_64-w64-mingw32-gcc -shared -nostdlib -O2 -s -DSCAN -o "$out/real_pe64_0500.dll" "$work/seed.c"
  x86_64-w64-mingw32-gcc -shared -nostdlib -O2 -s -o "$out/real_pe64_0404.dll" "$work/seed.c"
  i686-w64-mingw32-gcc -shared -nostdlib -O2 -s -DSCAN -o "$out/real_pe32_0500.dll" "$work/seed.c"
}
ls -l "$out"/real_*
