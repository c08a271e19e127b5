# Sourced by the other scripts: installs the Debian packages that building and testing need, only
# those that are missing, quietly. Needs root (apt-get), as on a fresh Debian 12 machine.

tarnix_missing_packages() {
  local missing=() pkg
  for pkg in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$pkg")
    fi
  done
  echo "${missing[@]}"
}

# tarnix_ensure_packages PKG... : apt-get installs whichever of PKG are not installed yet.
tarnix_ensure_packages() {
  local missing
  missing=$(tarnix_missing_packages "$@")
  [ -z "$missing" ] && return 0
  echo "== installing: $missing"
  if [[ " $missing " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  # shellcheck disable=SC2086
  apt-get install -y -qq --no-install-recommends $missing >/dev/null
}

# What the Linux build needs.
TARNIX_HOST_PACKAGES=(cmake ninja-build g++ libgtest-dev libgmock-dev googletest rapidjson-dev)
# What the Windows builds and running their tests under Wine need.
TARNIX_WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64 wine32:i386)
# What the Python client's tests need: Debian's interpreter with python-can, pytest and venv/pip
# (its package is installed into a virtual environment, without network).
TARNIX_PYTHON_PACKAGES=(python3 python3-can python3-pytest python3-venv python3-pip python3-setuptools
  python3-wheel)
# What fuzzing needs: clang and its libFuzzer runtime.
TARNIX_FUZZ_PACKAGES=(cmake ninja-build clang libclang-rt-14-dev rapidjson-dev libgtest-dev libgmock-dev)

# cmake/wine-run.sh decides everything about Wine, whether 32-bit programs run included.
tarnix_wine_run() { sh "$TARNIX_ROOT/cmake/wine-run.sh" "$@"; }
TARNIX_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# tarnix_ensure_32bit: makes 32-bit programs (Wine's 32-bit loader, so the win32 build's tests) run
# where this kernel refuses them, through qemu's user-mode emulator registered with binfmt_misc.
# Does nothing where they run already, natively or so emulated.
tarnix_ensure_32bit() {
  local binfmt=/proc/sys/fs/binfmt_misc
  [ "$(tarnix_wine_run --i386-mode)" != none ] && return 0
  echo "== this kernel cannot execute 32-bit programs: registering qemu-i386-static with binfmt_misc" \
    "so that the win32 build's tests run, emulated"
  tarnix_ensure_packages qemu-user-static || return 1
  if [ ! -e "$binfmt/register" ]; then
    mount -t binfmt_misc binfmt_misc "$binfmt" || return 1
  fi
  if [ ! -e "$binfmt/qemu-i386" ]; then
    # The i386 ELF header (executables and shared objects); F opens the emulator now, so that it
    # serves every mount namespace.
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
      >"$binfmt/register" || return 1
  fi
  echo 1 >"$binfmt/qemu-i386" || return 1
  [ "$(tarnix_wine_run --i386-mode)" != none ]
}
