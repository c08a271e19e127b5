#!/usr/bin/env bash
# Tests the python-can interface as a user gets it: pip installs the package, without network,
# into a virtual environment that sees Debian's python-can; pytest then drives the bridge and ptsim.
# Usage: run_tests.sh <bin_dir> <junit_xml_path>   (bin_dir holds tarnix and libptsim*.so)
set -euo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 <bin_dir> <junit_xml_path>" >&2
  exit 2
fi
bin_dir=$(realpath "$1")
junit=$(realpath -m "$2")
here=$(cd "$(dirname "$0")" && pwd)
for needed in "$bin_dir/tarnix" "$bin_dir/libptsim0404.so"; do
  if [ ! -e "$needed" ]; then
    echo "$0: $needed is missing" >&2
    exit 2
  fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/tarnix-python-tests.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Building from a copy leaves the source tree as it was.
mkdir "$work/src"
tar -C "$here" --exclude=__pycache__ -cf - pyproject.toml tarnix_can examples tests \
  | tar -C "$work/src" -xf -

export PIP_DISABLE_PIP_VERSION_CHECK=1 PIP_NO_INDEX=1 PIP_NO_CACHE_DIR=1 PYTHONDONTWRITEBYTECODE=1
# Debian's interpreter, which sees Debian's python3-can (another python3 may come first on PATH).
/usr/bin/python3 -m venv --system-site-packages "$work/venv"
"$work/venv/bin/python" -m pip install --quiet --no-build-isolation "$work/src"

mkdir -p "$(dirname "$junit")"
cd "$work"
# The bridge is found on PATH, as a user's would be; sockets and pytest's files stay in $work.
TMPDIR="$work" PATH="$bin_dir:$PATH" TARNIX_TEST_BIN_DIR="$bin_dir" \
  "$work/venv/bin/python" -m pytest -p no:cacheprovider --basetemp="$work/pytest" \
  --junitxml="$junit" -q "$work/src/tests"
