#!/bin/bash
# Installs the Debian packages needed to build and test the project, only
# those not installed yet.  Runs apt-get through sudo when not root.
#   build:       g++ cmake make pkg-config liballegro4-dev
#   unit tests:  libgtest-dev googletest
#   benchmarks:  libbenchmark-dev, valgrind and linux-perf (instruction counts
#                and processor-time profiles of the headless runner)
#   tools:       libcli11-dev, libssl-dev (SHA-256 digests), nlohmann-json3-dev
#                (run records and resume files), parallel (sweeps on one
#                machine or over ssh)
#   slurm test:  slurm-wlm (slurmctld, slurmd and the commands) and munge:
#                the sweep test's own one-machine Slurm cluster
#   pictures:    libpng-dev (PNG files), ffmpeg (videos, and ffprobe for
#                their tests), gnuplot-nox (plots)
#   e2e tests:   xvfb (virtual X server), xdotool (input), x11-utils
#                (xdpyinfo, xwininfo, and xmessage, which the library uses
#                for its message boxes), x11-apps, imagemagick (screenshots
#                and pixels), bc (timings), matchbox-window-manager and
#                wmctrl (a window manager to ask the window to close)
#   report tests: chromium (loads report.html headless: pictures, video,
#                console, screenshot), tidy (checks the pages are valid HTML5)
#   analysis:    python3-pandas, python3-scipy (the summary of a sweep and its
#                tests, analysis/), python3-pytest (their tests),
#                python3-dendropy (reads tree.nwk as the field's tree tools do)
#   sanitizers:  clang libclang-rt-14-dev
set -euo pipefail

packages=(
  g++ cmake make pkg-config liballegro4-dev
  libgtest-dev googletest
  libbenchmark-dev valgrind linux-perf
  libcli11-dev libssl-dev nlohmann-json3-dev parallel
  slurm-wlm munge
  libpng-dev ffmpeg gnuplot-nox
  xvfb xdotool x11-utils x11-apps imagemagick bc matchbox-window-manager wmctrl
  chromium tidy
  python3-pandas python3-scipy python3-pytest python3-dendropy
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if [ "$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null)" != installed ]; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "all packages are installed"
  exit 0
fi

sudo=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "need root or sudo to install: ${missing[*]}" >&2; exit 1; }
  sudo=(sudo)
fi

echo "installing: ${missing[*]}"
"${sudo[@]}" apt-get update
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"
