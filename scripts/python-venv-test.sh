#!/bin/sh
# Installs the Python package as a user would, into a fresh virtual
# environment that sees the system's packages, offline (no index, no build
# isolation), then runs the Python tests against the installed copy.
# BUILD (default build) names a build tree whose command-line reader the
# tests compare with; without one those tests are skipped.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
BUILD=${BUILD:-build}
PYTHON=${PYTHON:-/usr/bin/python3}

sh scripts/install-deps.sh
tmp=$(mktemp -d "${TMPDIR:-/tmp}/vantor-venv.XXXXXX")
# pip builds the directory in place: its build files go too.
trap 'rm -rf "$tmp" "$root/python/build" "$root/python/vantor.egg-info"' EXIT

"$PYTHON" -m venv --system-site-packages "$tmp/venv"
py="$tmp/venv/bin/python"
PIP_DISABLE_PIP_VERSION_CHECK=1 PIP_NO_INPUT=1 \
    "$py" -m pip install --no-index --no-build-isolation ./python

# The tests must import the installed package, not the sources.
cd "$root/python/tests"
where=$("$py" -c 'import vantor; print(vantor.__file__)')
case "$where" in
    "$tmp/venv/"*) echo "python-venv-test: vantor imported from $where" ;;
    *) echo "python-venv-test: vantor imported from $where, not the virtual environment" >&2; exit 1 ;;
esac

if [ -x "$root/$BUILD/vantor" ]; then
    export VANTOR_CLI="$root/$BUILD/vantor"
fi
VANTOR_SOURCE_DIR="$root" PYTHONDONTWRITEBYTECODE=1 "$py" -m pytest -q -p no:cacheprovider .
