#!/usr/bin/env bash
# Installs the Debian packages Trellin needs to build, test and demo.
# Idempotent: packages already present are left alone, and apt is only
# touched when something is missing.
set -euo pipefail

# --windows: also the MinGW-w64 cross compiler and Wine for the Windows build
# and its tests (make windows, make test-windows), and Debian's source lines,
# so that the build can fetch Highway's source package to compile for Windows.
windows=0
for arg in "$@"; do
  case "$arg" in
    --windows) windows=1 ;;
    *) echo "install-deps: unknown option $arg (known: --windows)" >&2; exit 2 ;;
  esac
done

packages=(
  build-essential cmake ninja-build pkg-config
  clang libclang-rt-14-dev clang-format
  libopenimageio-dev openimageio-tools fonts-dejavu-core
  libcli11-dev nlohmann-json3-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libhwy-dev
  libegl-dev libgl-dev libegl-mesa0 libglx-mesa0 libgl1-mesa-dri
  ffmpeg libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
  libglfw3-dev libimgui-dev libstb-dev fonts-dejavu-core xvfb xdotool x11-apps
  frei0r-plugins-dev gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-bad gstreamer1.0-libav melt
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev python3-gi gir1.2-gstreamer-1.0
  slurmctld slurmd slurm-client munge
  pybind11-dev python3-dev python3-numpy python3-pytest python3-openimageio libimath-dev
  gstreamer1.0-plugins-ugly
  dpkg-dev lintian help2man
  libobs-dev obs-studio
  kdenlive
)
if [ "$windows" -eq 1 ]; then
  packages+=(g++-mingw-w64-x86-64-posix wine64 wine)
fi

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive

# Source lines beside Debian's binary ones, for apt-get source highway. Added
# once, copied from the machine's own lines (deb822 or one-line form).
src_list=/etc/apt/sources.list.d/trellin-deb-src.sources
src_lines=/etc/apt/sources.list.d/trellin-deb-src.list
if [ "$windows" -eq 1 ] && [ ! -e "$src_list" ] && [ ! -e "$src_lines" ] &&
  ! apt-get indextargets --format '$(CREATED_BY)' 2>/dev/null | grep -q '^Sources$'; then
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    echo "install-deps: adding Debian's source lines ($src_list)"
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources | $sudo tee "$src_list" >/dev/null
  else
    echo "install-deps: adding Debian's source lines ($src_lines)"
    grep -h '^deb .*debian' /etc/apt/sources.list | sed 's/^deb /deb-src /' | $sudo tee "$src_lines" >/dev/null
  fi
  $sudo apt-get update -qq
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#packages[@]} packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "install-deps: done"
