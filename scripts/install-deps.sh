#!/bin/sh
# Installs the Debian packages the build and the tests need, and only those
# that are missing. Works as root, and through sudo otherwise; refreshes the
# package lists once when a package cannot be found.
set -eu

# What building the command-line reader needs: the compiler and the image
# libraries ("run" installs only these, for make run).
RUN_PACKAGES="cmake make g++ pkg-config libjpeg62-turbo-dev libgif-dev \
libpng-dev libtiff-dev libwebp-dev"
# PDF documents (Poppler) and video files, cameras and live streams (FFmpeg's
# libraries); the build leaves either out when its packages are missing
# (-DVANTOR_PDF=OFF, -DVANTOR_VIDEO=OFF). ffmpeg and img2pdf make the tests'
# videos and documents.
MEDIA_PACKAGES="libpoppler-cpp-dev libavformat-dev libavcodec-dev libswscale-dev libavdevice-dev \
libavutil-dev"
PACKAGES="$RUN_PACKAGES $MEDIA_PACKAGES ffmpeg img2pdf libgtest-dev \
qt6-base-dev libqrencode-dev libzint-dev zint fonts-ipafont-gothic dpkg-dev file binutils \
python3-dev python3-pybind11 python3-numpy python3-pil python3-pytest python3-qrcode \
python3-dask python3-distributed python3-pandas python3-mypy \
python3-venv python3-pip python3-setuptools python3-wheel"
# The rest builds everything and runs the tests. The Japanese font renders
# the dialog's texts. libqrencode and zint write the test symbols of every
# QR kind. The python3 packages build the Python module (for
# /usr/bin/python3) and run its tests: qrcode draws their symbols, Dask and
# pandas run vantor.dask, mypy checks its types, venv and pip install it as
# a user would. Extra groups: "fuzz" adds clang with its sanitizer
# runtimes, "bench" the benchmark library, "compare" the peers the
# benchmarks measure against (zxing-cpp and ZBar, libraries and command-line
# readers, GNU time, and the photographs without a QR Code that
# scikit-image and scikit-learn ship for scripts/bench-cli.sh), "web" only the WebAssembly toolchain and Node
# (what make web needs), "web-test" those with the browser the web tests
# drive and the TypeScript compiler that checks the declarations (npm comes
# with some builds of nodejs, as its own package with Debian's).
for extra in "$@"; do
    case "$extra" in
        run) PACKAGES="$RUN_PACKAGES" ;;
        media) PACKAGES="$PACKAGES $MEDIA_PACKAGES" ;;
        fuzz) PACKAGES="$PACKAGES clang libclang-rt-14-dev" ;;
        bench) PACKAGES="$PACKAGES libbenchmark-dev" ;;
        compare) PACKAGES="$PACKAGES libzxing-dev libzbar-dev zxing-cpp-tools zbar-tools time bc \
python3-skimage python3-sklearn" ;;
        gui-test) PACKAGES="$PACKAGES xvfb xauth" ;;
        web) PACKAGES="cmake make emscripten nodejs" ;;
        web-test)
            PACKAGES="$PACKAGES emscripten nodejs chromium node-typescript"
            command -v npm >/dev/null 2>&1 || PACKAGES="$PACKAGES npm" ;;
        *) echo "install-deps: unknown group '$extra'" >&2; exit 64 ;;
    esac
done

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -eq 0 ]; then SUDO=""; else SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

echo "install-deps: installing$missing"
# shellcheck disable=SC2086
if ! $SUDO apt-get install -y --no-install-recommends $missing; then
    $SUDO apt-get update
    # shellcheck disable=SC2086
    $SUDO apt-get install -y --no-install-recommends $missing
fi
