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
